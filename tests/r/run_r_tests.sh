#!/bin/sh
# Installs the R package (a copy of bindings/r) into a temporary library,
# built against the build tree's shared library, and runs its testthat tests.
# Usage: run_r_tests.sh PACKAGE_DIR PKG_CONFIG_DIR
set -e
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$1" "$work/talvex"
mkdir "$work/lib"
if ! PKG_CONFIG_PATH="$2" R CMD INSTALL --library="$work/lib" "$work/talvex" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    exit 1
fi
cd "$work/talvex/tests"
R_LIBS="$work/lib" Rscript -e 'testthat::test_dir("testthat", package = "talvex", load_package = "installed", stop_on_failure = TRUE)'
