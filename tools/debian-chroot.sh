#!/usr/bin/env bash
# Runs the README's two commands (make demo, make test) on Debian 12 or 13 inside a chroot made
# from Debian's own packages, with a fresh copy of this tree. The chroot is kept and reused.
# Usage: debian-chroot.sh 12|13. DEBIAN_ROOT: where the chroot lives (default build/debianN);
# DEBIAN_MIRROR, DEBIAN_SECURITY_MIRROR: the mirrors.
set -eu
case "${1:-}" in
    12) suite=bookworm ;;
    13) suite=trixie ;;
    *) echo "usage: debian-chroot.sh 12|13" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/.." && pwd)
root=$(realpath -m "${DEBIAN_ROOT:-$tree/build/debian$1}")
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
[ "$(id -u)" -eq 0 ] || { echo "debian-chroot.sh: needs root (debootstrap, mounts, chroot)" >&2; exit 1; }

release=$1
stamp() { echo "debian-chroot.sh $release: $(date -u +%T) $*"; }

if [ ! -x "$root/usr/bin/make" ]; then
    command -v debootstrap >/dev/null ||
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q debootstrap >/dev/null
    stamp "debootstrap $suite into $root"
    rm -rf "$root"
    # make and ca-certificates only: everything else comes from the README's own commands.
    debootstrap --variant=minbase --include=make,ca-certificates "$suite" "$root" "$mirror"
fi
# The sources of a standard installation, so that a fault of the updates or security suite's
# index meets the install here as it would on a fresh machine.
rm -f "$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $suite-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES

mounts=()
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
mnt() { # mnt <target> <mount args...>: mounts once and remembers it for the unmount on exit
    local target="$root$1"; shift
    mkdir -p "$target"
    mountpoint -q "$target" && return 0
    mount "$@" "$target"
    mounts+=("$target")
}
mnt /proc -t proc proc
mnt /sys --bind /sys
mnt /dev --bind /dev
mnt /dev/pts --bind /dev/pts
mnt /dev/shm --bind /dev/shm
# A private /tmp: the chroot's Xvfb sockets and Wine's server directories never meet the host's.
mnt /tmp -t tmpfs -o mode=1777 tmpfs
cp /etc/resolv.conf "$root/etc/resolv.conf"

stamp "copying the tree to /root/qxlaunch"
rm -rf "$root/root/qxlaunch"
mkdir -p "$root/root/qxlaunch"
(cd "$tree" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - -cf - 2>/dev/null) | tar -xf - -C "$root/root/qxlaunch"

# run [--net] <command>: in the chroot, in the tree's copy, with a clean environment.
run() {
    local isolate=()
    [ "$1" = "--net" ] && { isolate=(unshare --net); shift; }
    "${isolate[@]}" chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        TERM=dumb LANG=C.UTF-8 bash -c "cd /root/qxlaunch && $*" </dev/null
}
start=$SECONDS
stamp "tools/install-deps.sh"
run tools/install-deps.sh
stamp "tools/install-deps.sh: done after $((SECONDS - start)) s"
# The commands then run without a network: X displays listen on abstract sockets, which a
# chroot shares with the host unless it has a network namespace of its own.
status=0
start=$SECONDS
stamp "make demo"
run --net "make demo JOBS=${JOBS:-2}" || status=$?
stamp "make demo: exit $status after $((SECONDS - start)) s"
ls "$root/root/qxlaunch/out/demo/"*.png 2>/dev/null | sed 's|.*/|  screenshot |'
start=$SECONDS
test_status=0
stamp "make test"
run --net "make test JOBS=${JOBS:-2}" || test_status=$?
stamp "make test: exit $test_status after $((SECONDS - start)) s"
[ "$status" -eq 0 ] && status=$test_status
exit "$status"
