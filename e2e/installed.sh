#!/usr/bin/env bash
# The Debian package as a user gets it, on a machine that does not have it (run as root):
#   installed.sh <velmora_<version>_<arch>.deb> <velmora_modemshim.so>
# Installs it with apt-get; its scripts register the control libraries in the system registry. Starts the INSTALLED
# panel on a private desktop (desktop.sh: Xvfb, private home, every port to the simulated amplifier, the modem shim
# that refuses the machine's serial ports), first through its menu entry's launcher, then from a folder of its own;
# removes the package and purges it, leaving no registry behind. Status 77: not root, or velmora already installed.
set -euo pipefail
deb=$(realpath "$1") shim=$(realpath "$2")
readonly MAIN='Усилитель "Вельмора"  - Version 1.1' REGISTRY=/var/lib/velmora/registry DEFAULTS=' 0 \r\n 0 \r\n 0 \r\n 0 \r\n'
[ -f "$shim" ] || { echo "FAIL: no modem shim at $shim" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "installing a package needs root" >&2; exit 77; }
! dpkg-query -W -f '${Status}' velmora 2>/dev/null | grep -q installed || { echo "velmora is installed here already" >&2; exit 77; }

aptlog=$(mktemp "${TMPDIR:-/tmp}/velmora-apt.XXXXXX")
apt() { env -u LD_PRELOAD DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" >>"$aptlog" 2>&1 || { tail -n 20 "$aptlog" >&2; false; }; }
purge() { { dpkg-query -W velmora >/dev/null 2>&1 && apt purge velmora; } || true; rm -f "$aptlog"; }
trap purge EXIT
apt install "$deb" || { echo "FAIL: apt-get installs $deb" >&2; exit 1; }

here=$(dirname "${BASH_SOURCE[0]}")
. "$here/desktop.sh"
libs=$(dirname "$(dpkg -L velmora | grep '/velmora/libvelmora_comm\.so$')")
e2e_setup /usr/bin/velmora /usr/bin/velmora-regsvr "$libs/libvelmora_comm.so" "$shim"
trap 'e2e_cleanup; purge' EXIT
e2e_bus   # velmoractl talks to the installed panel over it
unset VELMORA_REGISTRY   # the installed panel finds its controls in the system registry

# What the package holds and what its scripts registered.
for f in /usr/bin/velmora-regsvr /usr/bin/velmora-ctlhost /usr/bin/velmoractl /usr/share/icons/hicolor/{scalable/apps/velmora.svg,{16x16,32x32,48x48}/apps/velmora.png}; do
    [ -f "$f" ] || e2e_fail "the package installs $f"
done
! dpkg -L velmora | grep -qE '^/usr/bin/(regsvr|ctlhost)$' || e2e_fail "no generic tool name in /usr/bin"
for lib in libvelmora_comm.so liblumora.so libpellago.so; do
    grep -qx "Library=$libs/$lib" "$REGISTRY"/*.class 2>/dev/null || e2e_fail "$lib registered in $REGISTRY"
done

# The menu entry starts the panel in the user's configuration folder (~/.config/velmora, XDG_CONFIG_HOME unset),
# wherever it is started from.
read -r -a launch < <(sed -n 's/^Exec=//p' /usr/share/applications/velmora.desktop)
[ -x "${launch[0]:-}" ] || e2e_fail "the menu entry's Exec= names an installed launcher (${launch[*]:-})"
config=$HOME/.config/velmora
cd "$E2E/work" && e2e_bg "$E2E/panel.err" env -u XDG_CONFIG_HOME "${launch[@]}" && cd "$E2E"
panel=${E2E_PIDS[-1]}
e2e_window "$MAIN" 15 || e2e_fail "the installed panel's main window"
main=$E2E_WIN
printf "$DEFAULTS" | cmp -s - "$config/nastr.dat" && [ ! -e work/nastr.dat ] || e2e_fail "nastr.dat in $config, not where the launcher started"
e2e_wait 10 eval 'import -window "$main" png:- | convert - -format %c histogram:info:- | grep -q "#FF0000"' || e2e_fail "'ВЫКЛЮЧЕН' in red"
xdotool windowfocus --sync "$main" key space
e2e_wait 12 eval '[ "$(e2e_carrier)" = 01 ]' || e2e_fail "the power key reaching the amplifier: $(e2e_carrier)"
! grep -q 'is not available' "$E2E/panel.err" || e2e_fail "every control found in the system registry"
e2e_wait 5 eval "velmoractl status | grep -q '^Powered: yes  State: warming up'" || e2e_fail "velmoractl status: $(velmoractl status 2>&1)"
kill "$panel" && e2e_wait 10 eval '! e2e_running "$panel"' || e2e_fail "the panel ending"

# The program itself, started anywhere: nastr.dat where it is started.
mkdir "$E2E/elsewhere" && cd "$E2E/elsewhere" && e2e_bg "$E2E/panel2.err" velmora && cd "$E2E"
e2e_window "$MAIN" 15 || e2e_fail "the main window of velmora started from $E2E/elsewhere"
e2e_wait 5 test -e elsewhere/nastr.dat || e2e_fail "nastr.dat in the folder velmora was started in"
kill "${E2E_PIDS[-1]}"
e2e_wait 10 eval 'velmoractl status >/dev/null 2>&1; [ $? = 3 ]' || e2e_fail "velmoractl: not running once the panel ended"

# Removed, the classes are unregistered; purged, the registry is gone.
apt remove velmora || e2e_fail "apt-get removes velmora"
[ -z "$(ls -A "$REGISTRY" 2>/dev/null)" ] || e2e_fail "no registry entry left after removal: $(ls "$REGISTRY")"
apt purge velmora || e2e_fail "apt-get purges velmora"
[ ! -e /var/lib/velmora ] || e2e_fail "/var/lib/velmora gone after purge"
echo PASS
