#!/usr/bin/env bash
# cmake --install of the build tree into a staging folder (DESTDIR, so nothing is registered and nothing outside it
# is written): what lands where, the programs finding their libraries through their RUNPATH alone, the installed
# regsvr working on the installed control libraries, and the launcher's choice of folder.
#   staged_install.sh <build dir> <install prefix> <library folder under the prefix>
set -euo pipefail
build=$1 prefix=$2 libdir=$3
stage=$(mktemp -d "${TMPDIR:-/tmp}/velmora-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
DESTDIR=$stage/root cmake --install "$build" >"$stage/install.log" 2>&1 || { cat "$stage/install.log" >&2; fail "cmake --install"; }
root=$stage/root$prefix

for f in bin/velmora bin/velmora-regsvr bin/velmora-ctlhost libexec/velmora/velmora-launch \
         $libdir/{libvelmora_comm,liblumora,libpellago,libvelmora_comm_sim,libvelmora_automation,libvelmora_windowing,libvelmora_shell}.so \
         share/applications/velmora.desktop share/icons/hicolor/scalable/apps/velmora.svg; do
    [ -f "$root/$f" ] || fail "$f installed"
done
for size in 16 32 48; do
    file "$root/share/icons/hicolor/${size}x$size/apps/velmora.png" | grep -q "PNG image data, $size x $size," || fail "the $size-pixel icon"
done
[ ! -e "$root/bin/regsvr" ] && [ ! -e "$root/bin/ctlhost" ] || fail "no generic tool name in bin/"
grep -qx "Exec=$prefix/libexec/velmora/velmora-launch" "$root/share/applications/velmora.desktop" || fail "the menu entry runs the launcher"
grep -qx "Icon=velmora" "$root/share/applications/velmora.desktop" || fail "the menu entry's icon"

# Every library of ours that a program needs is found in the installed library folder, by the RUNPATH alone.
for p in velmora velmora-regsvr velmora-ctlhost; do
    found=$(env -u LD_LIBRARY_PATH ldd "$root/bin/$p" | awk '/libvelmora|not found/ { print $1, $3 }')
    [ -n "$found" ] && ! grep -qv " $root/bin/../$libdir/" <<<"$found" || fail "$p's libraries: $found"
done
out=$(VELMORA_REGISTRY=$stage/registry "$root/bin/velmora-regsvr" "$root/$libdir/liblumora.so") || fail "velmora-regsvr: $out"
grep -qx "Library=$(realpath "$root/$libdir/liblumora.so")" "$stage"/registry/*.class || fail "the installed lumora registered"

# The launcher (its last step, exec of the panel, replaced by printing the folder): XDG_CONFIG_HOME, or ~/.config
# when it is unset or not absolute; the folder made.
sed 's|^exec .*|pwd|' "$root/libexec/velmora/velmora-launch" >"$stage/launch"
cases=("$stage/cfg:$stage/cfg/velmora" ":$stage/home/.config/velmora" "relative:$stage/home/.config/velmora")
for c in "${cases[@]}"; do
    got=$(cd "$stage" && HOME=$stage/home XDG_CONFIG_HOME=${c%%:*} sh "$stage/launch") || fail "the launcher with XDG_CONFIG_HOME='${c%%:*}'"
    [ "$got" = "${c#*:}" ] || fail "the launcher with XDG_CONFIG_HOME='${c%%:*}' enters $got, not ${c#*:}"
done
echo PASS
