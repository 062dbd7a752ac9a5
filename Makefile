# Set-up, build and test on Debian 12. `make demo` and `make test` install
# whatever Debian packages are missing, then configure and build with CMake.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# What the terminal program needs; the tests and the desktop front end add the rest.
DEMO_PACKAGES = cmake g++ make liblapack-dev libopenblas-dev libopenblas-serial-dev \
  libcli11-dev nlohmann-json3-dev libreadline-dev libcsv-dev libreadstat-dev libcairo2-dev libpng-dev \
  pkgconf fonts-dejavu-core libxml2-dev
# The Python module and its tests: pybind11, Python's headers, NumPy, pandas;
# the R package and its tests: Rcpp, jsonlite, testthat.
PACKAGES = $(DEMO_PACKAGES) libgtest-dev libgmock-dev qt6-base-dev fonts-liberation2 man-db \
  pybind11-dev python3-dev python3-numpy python3-pandas r-base-dev r-cran-rcpp r-cran-jsonlite \
  r-cran-testthat
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)
# Both configurations share $(BUILD) and name every option, so that switching
# between them rebuilds only the program's main file, not the libraries.
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
CONFIGURE_ALL = $(CONFIGURE) -DTALVEX_TESTS=ON -DTALVEX_QT=ON
CONFIGURE_DEMO = $(CONFIGURE) -DTALVEX_TESTS=OFF -DTALVEX_QT=OFF

.PHONY: all deps build test test-asan demo program install package bench fuzz screenshots clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

build: deps
	$(CONFIGURE_ALL)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTALVEX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp$${LSAN_OPTIONS:+:$$LSAN_OPTIONS} \
	  ctest --output-on-failure -j $(JOBS)

# Only the terminal program: no tests, no desktop front end.
demo:
	@$(MAKE) --no-print-directory deps PACKAGES="$(DEMO_PACKAGES)"
	$(CONFIGURE_DEMO)
	cmake --build $(BUILD) -j $(JOBS) --target talvex
	@if [ -f examples/demo.session ]; then \
	  $(BUILD)/talvex --console < examples/demo.session && \
	  echo "The report of the bundled example is $(CURDIR)/demo-output.txt"; \
	else \
	  $(BUILD)/talvex --version; \
	fi

# The program with the desktop front end, its manual page, the shared
# library and the Python module.
program: deps
	$(CONFIGURE_ALL)
	cmake --build $(BUILD) -j $(JOBS) --target talvex talvex_man talvex_bindings

# The program, its manual page, the bundled example, the shared library
# (lib/libtalvex.so, include/talvex/, lib/pkgconfig/talvex.pc) and the
# Python module under $(PREFIX)
# (make install PREFIX=$$HOME/.local needs no root). Under sudo the build
# runs as the calling user, so that $(BUILD) gets no files owned by root.
install:
	$(if $(SUDO_USER),sudo -u $(SUDO_USER)) $(MAKE) --no-print-directory program
	cmake --install $(BUILD) --prefix $(PREFIX)

# $(BUILD)/talvex_VERSION_ARCH.deb; dpkg-shlibdeps (dpkg-dev) finds its Depends.
# CPack installs from a complete build, tests included.
package: build
	@$(MAKE) --no-print-directory deps PACKAGES="dpkg-dev"
	cd $(BUILD) && cpack

# The long fuzz campaign on the sanitizer build. Failing cases are saved
# under $(ASAN_BUILD)/fuzz-failures/ with a replay script.
FUZZ_CASES ?= 10000
FUZZ_SEED ?= 1
FUZZ_FIRST ?= 0
FUZZ_TIMEOUT ?= 20
FUZZ_MEMORY_MB ?= 3072
fuzz: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTALVEX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target talvex talvex_fuzz
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp$${LSAN_OPTIONS:+:$$LSAN_OPTIONS} \
	$(ASAN_BUILD)/tests/fuzz/talvex_fuzz --talvex $(ASAN_BUILD)/talvex --seed $(FUZZ_SEED) \
	  --cases $(FUZZ_CASES) --first $(FUZZ_FIRST) --jobs $(JOBS) --timeout $(FUZZ_TIMEOUT) \
	  --memory $(FUZZ_MEMORY_MB) --failures $(ASAN_BUILD)/fuzz-failures --work $(ASAN_BUILD)/fuzz-work

bench: deps
	$(MAKE) deps PACKAGES="libbenchmark-dev python3 time bc r-base-core r-cran-psych chromium"
	bash bench/run.sh

# The desktop front end's screenshots under docs/, taken under Xvfb.
screenshots: build
	$(MAKE) deps PACKAGES="xvfb xauth"
	cmake --build $(BUILD) -j $(JOBS) --target qt_screenshots
	xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/qt_screenshots $(CURDIR) $(CURDIR)/docs

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
