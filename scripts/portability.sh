#!/usr/bin/env bash
# `make portability`: the README's `make test` inside a fresh Debian 13 (trixie) root, which has
# newer Qt, libplist and GCC than Debian 12. The root is made once with debootstrap (about
# 300 MB, under LANTHORN_TRIXIE_ROOT) and reused; the source is copied in anew on every run.
# Needs root on Debian or Ubuntu. SUITE picks another Debian suite.
set -euo pipefail
cd "$(dirname "$0")/.."
suite=${SUITE:-trixie}
root=${LANTHORN_TRIXIE_ROOT:-/var/tmp/lanthorn-$suite}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ "$(uname -s)" != "Linux" ]; then
    echo "make portability: Linux only (a Debian root made with debootstrap)."
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "make portability needs root (it makes a chroot)." >&2
    exit 1
fi
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null
fi
if [ ! -e "$root/.lanthorn-ready" ]; then
    rm -rf "$root"
    echo "Making a $suite root in $root (once)..."
    debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.log" 2>&1 ||
        { tail -n 20 "$root.log" >&2; exit 1; }
    touch "$root/.lanthorn-ready"
fi

mounts=()
cleanup() {
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
for m in proc sys dev dev/pts; do
    if ! mountpoint -q "$root/$m"; then
        case $m in
        proc) mount -t proc proc "$root/proc" ;;
        sys) mount -t sysfs sysfs "$root/sys" ;;
        *) mount --bind "/$m" "$root/$m" ;;
        esac
        mounts+=("$root/$m")
    fi
done
cp /etc/resolv.conf "$root/etc/resolv.conf"

# The tree as committed plus local changes, and the shared samples the tests read when present.
# The build folder stays between runs, and times are kept, so a second run builds only what changed.
mkdir -p "$root/src/main"
find "$root/src/main" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
git ls-files -z --cached --others --exclude-standard | xargs -0 cp -p --parents -t "$root/src/main"
if [ -d ../shared/samples ]; then
    rm -rf "$root/src/shared" && mkdir -p "$root/src/shared" && cp -r ../shared/samples "$root/src/shared/"
fi

chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb \
    LANG=C.UTF-8 JOBS="${JOBS:-$(nproc)}" bash -c '
    set -e
    apt-get update -q >/dev/null
    command -v make >/dev/null || apt-get install -y -q --no-install-recommends make >/dev/null
    cd /src/main
    . /etc/os-release
    echo "In $PRETTY_NAME:"
    make test JOBS="$JOBS"
    echo "libplist $(pkg-config --modversion libplist-2.0), Qt $(pkg-config --modversion Qt6Core 2>/dev/null || qmake6 -query QT_VERSION), $(g++ --version | head -n 1)"
'
