#!/usr/bin/env bash
# Packing without the tools that compute the package's library dependencies
# stops with an error that names the tool, and leaves no package:
#   shlibdeps-tools.sh <CPackConfig.cmake> <file|dpkg-shlibdeps>
# PATH holds only the two tools, less the one named.
set -euo pipefail
config=$1 hidden=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmora-pack.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin" "$tmp/out"
for tool in file dpkg-shlibdeps; do
    [ "$tool" = "$hidden" ] || ln -s "$(command -v "$tool")" "$tmp/bin/$tool"
done
status=0
env PATH="$tmp/bin" "$(command -v cpack)" --config "$config" -G DEB -B "$tmp/out" >"$tmp/log" 2>&1 || status=$?
cat "$tmp/log"
[ "$status" != 0 ] || { echo "FAIL: packed without $hidden" >&2; exit 1; }
grep -q "$hidden not found: the package's library" "$tmp/log" ||
    { echo "FAIL: the error names $hidden" >&2; exit 1; }
! ls "$tmp/out"/*.deb >/dev/null 2>&1 || { echo "FAIL: a package was left in $tmp/out" >&2; exit 1; }
echo PASS
