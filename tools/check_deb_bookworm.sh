#!/bin/sh
# Installs the Debian package in a fresh Debian 12 (bookworm) chroot, with
# apt resolving its Depends, and runs the bundled example through
# `talvex analyse` and through a session piped into `talvex --console`.
# A manual check before a release, not part of CI: it needs root,
# debootstrap and the Debian mirror, and takes several minutes.
#
# usage: tools/check_deb_bookworm.sh [PACKAGE.deb]   (default: build/talvex_*.deb)
set -eu
deb=${1:-$(ls build/talvex_*_amd64.deb | tail -n 1)}
[ -f "$deb" ] || { echo "no package $deb: run make package first"; exit 2; }
[ "$(id -u)" = 0 ] || { echo "debootstrap and chroot need root"; exit 2; }
command -v debootstrap > /dev/null || { echo "install debootstrap first"; exit 2; }

root=$(mktemp -d /tmp/talvex-bookworm.XXXXXX)
chmod 755 "$root"  # apt downloads as _apt, which must reach the chroot
cleanup() {
    umount "$root/proc" 2> /dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT INT TERM

debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian > "$root.log" 2>&1 ||
    { tail -n 20 "$root.log"; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$deb")" > /dev/null
echo "== installed"
in_root dpkg -s talvex | grep -E '^(Version|Depends):'
in_root talvex --version
in_root sh -c 'ldd /usr/bin/talvex | grep -E "openblas|not found"'
in_root sh -c 'ldd /usr/lib/talvex/talvex-desktop.so | grep -E "libQt6Widgets|not found"'

# The bundled example, copied where the sessions expect it.
in_root sh -ec '
    mkdir /tmp/run && cd /tmp/run
    cp -R /usr/share/doc/talvex/examples examples
    echo "== talvex analyse"
    status=0
    talvex analyse examples/items.dat --labels examples/labels.txt --factors 3 \
        --report analyse.txt --json analyse.json || status=$?
    echo "exit status $status"
    [ "$status" = 0 ]
    grep -c . analyse.txt analyse.json
    echo "== talvex --console < examples/demo.session"
    status=0
    talvex --console < examples/demo.session > transcript.txt 2> progress.txt || status=$?
    echo "exit status $status"
    [ "$status" = 0 ]
    tail -n 3 transcript.txt
    grep -c . demo-output.txt
'
echo "== the package installs and runs on Debian 12"
