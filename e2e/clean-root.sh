#!/usr/bin/env bash
# The Debian package as a user gets it, on a Debian 12 system that has never seen it (run as root):
#   clean-root.sh <velmora_<version>_<arch>.deb> <velmora_modemshim.so>
# A minimal Debian 12 root (mmdebstrap, minbase, from the machine's own apt sources; the root is cached in
# $VELMORA_CI_CACHE, default /var/cache/velmora-ci, keyed by those sources and its package list, the downloaded
# packages beside it) is unpacked afresh and entered in a mount namespace of its own: /proc, a /dev holding only
# null, zero, random, urandom, tty, the fd links, a private pts and shm (no ttyS node). There, first the package
# and only what it declares is installed with apt-get and every program and library it installs is checked with
# ldd; only then come the test's own tools. An ordinary user's port mapping leads every port to the simulated
# amplifier before the installed panel is started through its menu entry's launcher under the modem shim;
# velmoractl reads and switches it. Removed and purged, the package leaves no registry entry and the user's
# nastr.dat and comm.conf as they were.
# Status 77: not root, or (outside CI) no mmdebstrap.
set -euo pipefail
readonly SUITE=bookworm BASE_PACKAGES="" TOOLS="xvfb xdotool dbus man-db" USER_NAME=ann
readonly MAIN='Усилитель "Вельмора"  - Version 1.1' REGISTRY=/var/lib/velmora/registry
readonly DEFAULTS=' 0 \r\n 0 \r\n 0 \r\n 0 \r\n'

# In the root, as the user: the installed panel on a private desktop, driven by its menu entry and velmoractl.
as_user()
{
    . /tmp/e2e/desktop.sh
    E2E=$(mktemp -d /tmp/velmora-e2e.XXXXXX)
    trap e2e_cleanup EXIT
    mkdir -m 700 "$E2E/run" && mkdir "$E2E/work"
    export XDG_RUNTIME_DIR=$E2E/run DBUS_SESSION_BUS_ADDRESS=unix:path=$E2E/no-bus QT_QPA_PLATFORM=xcb
    local config=$HOME/.config/velmora
    mkdir -p "$config"
    { for n in $(seq 1 16); do echo "COM$n = sim:amp"; done; echo "trace = $E2E/lines.vcd"; } >"$config/comm.conf"
    e2e_bg "$E2E/xvfb.err" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$E2E/display"
    e2e_wait 15 test -s "$E2E/display" || e2e_fail "Xvfb reports its display"
    export DISPLAY=:$(tr -dc 0-9 <"$E2E/display")
    e2e_bus

    # The menu entry starts the panel in the user's configuration folder, wherever it is started from.
    read -r -a launch < <(sed -n 's/^Exec=//p' /usr/share/applications/velmora.desktop)
    [ -x "${launch[0]:-}" ] || e2e_fail "the menu entry's Exec= names an installed launcher (${launch[*]:-})"
    cd "$E2E/work" && e2e_bg "$E2E/panel.err" "${launch[@]}" && cd "$E2E"
    local panel=${E2E_PIDS[-1]}
    e2e_window "$MAIN" 30 || e2e_fail "the installed panel's main window"
    printf "$DEFAULTS" | cmp -s - "$config/nastr.dat" || e2e_fail "nastr.dat with the defaults in $config"
    [ ! -e work/nastr.dat ] || e2e_fail "no nastr.dat where the launcher was started"
    ! grep -q 'is not available' "$E2E/panel.err" || e2e_fail "every control found in the system registry"

    e2e_wait 10 eval "velmoractl status | grep -q '^Powered: no'" ||
        e2e_fail "velmoractl status: $(velmoractl status 2>&1)"
    velmoractl on || e2e_fail "velmoractl on"
    e2e_wait 12 eval '[ "$(e2e_carrier)" = 01 ]' || e2e_fail "velmoractl on reaching the amplifier: $(e2e_carrier)"
    e2e_wait 5 eval "velmoractl status | grep -q '^Powered: yes  State: warming up'" ||
        e2e_fail "velmoractl status once on: $(velmoractl status 2>&1)"
    ! grep -q 'refused to open' "$E2E/panel.err" || e2e_fail "no serial port of the machine tried"
    kill "$panel" && e2e_wait 10 eval '! e2e_running "$panel"' || e2e_fail "the panel ending"
    e2e_wait 10 eval 'velmoractl status >/dev/null 2>&1; [ $? = 3 ]' ||
        e2e_fail "velmoractl: not running once the panel ended"
    MANWIDTH=80 man velmora 2>&1 | grep -q 'remote-control panel for the Velmora valve amplifier' ||
        e2e_fail "man velmora"
}

# In the mount namespace, as root: the root's file systems, the package, the checks, the user's run, the purge.
in_namespace()
{
    local root=$1 deb=$2 shim=$3 archives=$4
    fail() { echo "FAIL: $*" >&2; exit 1; }
    mount -t proc proc "$root/proc"
    mount -t tmpfs -o mode=755,nosuid dev "$root/dev"
    mknod -m 666 "$root/dev/null" c 1 3 && mknod -m 666 "$root/dev/zero" c 1 5
    mknod -m 666 "$root/dev/random" c 1 8 && mknod -m 666 "$root/dev/urandom" c 1 9
    mknod -m 666 "$root/dev/tty" c 5 0 && mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=666,mode=620 devpts "$root/dev/pts"
    ln -s pts/ptmx "$root/dev/ptmx" && ln -s /proc/self/fd "$root/dev/fd"
    ln -s fd/0 "$root/dev/stdin" && ln -s fd/1 "$root/dev/stdout" && ln -s fd/2 "$root/dev/stderr"
    mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
    ! ls "$root"/dev | grep -q ttyS || fail "no ttyS node in the root's /dev"
    mkdir -p "$archives/partial" && mount --bind "$archives" "$root/var/cache/apt/archives"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    mkdir -m 1777 "$root/tmp/.X11-unix"   # made by root, as at boot: the X server runs as the user
    # No service starts in the root.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" && chmod 755 "$root/usr/sbin/policy-rc.d"

    local log=$root/var/log/velmora-apt.log
    in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "$@"; }
    apt()
    {
        in_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" >>"$log" 2>&1 || { tail -n 20 "$log" >&2; false; }
    }
    cp "$deb" "$root/tmp/" && apt update
    SECONDS=0
    apt install "/tmp/$(basename "$deb")" || fail "apt-get installs the package and what it declares"
    echo "the package and what it declares installed in ${SECONDS} s"

    # Every program and library of the package finds every library it needs.
    local elfs
    elfs=$(in_root sh -c 'ls -d /usr/bin/velmora* /usr/lib/*/velmora/*')
    [ "$(wc -w <<<"$elfs")" -ge 8 ] || fail "the package's programs and libraries: $elfs"
    for f in $elfs; do
        out=$(in_root ldd "$f" 2>&1) || fail "ldd $f: $out"
        ! grep -q 'not found' <<<"$out" || fail "ldd $f: $(grep 'not found' <<<"$out")"
    done
    for lib in libvelmora_comm.so liblumora.so libpellago.so; do
        grep -qx "Library=/usr/lib/.*/velmora/$lib" "$root$REGISTRY"/*.class || fail "$lib registered in $REGISTRY"
    done

    apt install --no-install-recommends $TOOLS || fail "the test's tools installed"
    mkdir -p "$root/tmp/e2e" && cp "$here/desktop.sh" "$here/clean-root.sh" "$root/tmp/e2e/"
    cp "$shim" "$root/usr/local/lib/velmora_modemshim.so"
    in_root useradd -m -s /bin/bash "$USER_NAME"
    local home=$root/home/$USER_NAME
    chroot --userspec="$USER_NAME:$USER_NAME" "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME="/home/$USER_NAME" \
        USER="$USER_NAME" LC_ALL=C.UTF-8 LD_PRELOAD=/usr/local/lib/velmora_modemshim.so CI=1 \
        bash /tmp/e2e/clean-root.sh --user || fail "the installed panel for an ordinary user"

    # Removed, the classes are unregistered; purged, the registry is gone; the user's files stay as they were.
    local before
    before=$(cd "$home/.config/velmora" && sha256sum nastr.dat comm.conf)
    apt remove velmora || fail "apt-get removes velmora"
    [ -z "$(ls -A "$root$REGISTRY" 2>/dev/null)" ] ||
        fail "no registry entry left after removal: $(ls "$root$REGISTRY")"
    apt purge velmora || fail "apt-get purges velmora"
    [ ! -e "$root/var/lib/velmora" ] || fail "/var/lib/velmora gone after purge"
    ! in_root dpkg-query -W velmora >/dev/null 2>&1 || fail "velmora unknown to dpkg after purge"
    [ "$(cd "$home/.config/velmora" && sha256sum nastr.dat comm.conf)" = "$before" ] ||
        fail "the user's nastr.dat and comm.conf untouched"
}

here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
case "${1:-}" in
    --user) as_user; exit 0 ;;
    --namespace) shift; in_namespace "$@"; exit 0 ;;
esac

deb=$(realpath "$1") shim=$(realpath "$2")
[ -f "$deb" ] || { echo "FAIL: no package at $1" >&2; exit 1; }
[ -f "$shim" ] || { echo "FAIL: no modem shim at $2" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "a clean Debian root needs root" >&2; exit 77; }
if ! command -v mmdebstrap >/dev/null; then
    echo "missing mmdebstrap (scripts/install-deps)" >&2
    [ -n "${CI:-}" ] && exit 1
    exit 77
fi

# The root as mmdebstrap makes it from the machine's apt sources, once per sources and package list.
cache=${VELMORA_CI_CACHE:-/var/cache/velmora-ci}
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -s "$f" ] && sources+=("$f")
done
key=$({ echo "$SUITE minbase $BASE_PACKAGES"; cat "${sources[@]}"; } | sha256sum | cut -c 1-16)
tarball=$cache/root-$SUITE-$key.tar
mkdir -p "$cache"
SECONDS=0
if [ ! -f "$tarball" ]; then
    include=()
    [ -z "$BASE_PACKAGES" ] || include=(--include="${BASE_PACKAGES// /,}")
    mmdebstrap --quiet --variant=minbase --mode=root --format=tar "${include[@]}" \
        "$SUITE" "$tarball.part" "${sources[@]}" ||
        { echo "FAIL: mmdebstrap makes a $SUITE root" >&2; exit 1; }
    mv "$tarball.part" "$tarball"
    echo "root made in ${SECONDS} s: $tarball"
fi

root=$(mktemp -d /var/tmp/velmora-root.XXXXXX)
trap 'rm -rf --one-file-system "$root"' EXIT
tar -C "$root" -xf "$tarball"
unshare --mount --propagation private -- \
    bash "$here/clean-root.sh" --namespace "$root" "$deb" "$shim" "$cache/archives"
echo "PASS in ${SECONDS} s"
