#!/usr/bin/env bash
# Makes the .deb of a build with CPack, as scripts/package does, and checks what a fresh Debian 12
# desktop gets from `apt install ./kestrava_<version>_amd64.deb`: the launchers on PATH, the menu
# entries and their icon, the programs and resources the launchers link into each person's
# folder, and a Depends field that names the package of every library the programs load and of
# every file and command the installation uses at run time.
#
# usage: package_test.sh <cpack> <build folder>
set -uo pipefail
cpack=${1:?usage: package_test.sh <cpack> <build folder>}
build=$(realpath "${2:?usage: package_test.sh <cpack> <build folder>}")

# shellcheck source=../../checks.sh
. "$(dirname "$0")/../../checks.sh"

rm -f "$build"/package/kestrava_*.deb "$build"/package/kestrava-server_*.deb
(cd "$build" && "$cpack" --config CPackConfig.cmake -B "$build/package") >"$build/package.log" 2>&1 ||
  { cat "$build/package.log"; echo "FAIL  cpack"; exit 1; }
deb=$(ls "$build"/package/kestrava_*_amd64.deb 2>/dev/null | head -1)
check "cpack made kestrava_<version>_amd64.deb" test -f "$deb"
[ -f "$deb" ] || exit 1
echo "package: $deb ($(du -h "$deb" | cut -f1))"

work=$(mktemp -d /tmp/kestrava-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
root=$work/root
files=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')
listed() { grep -qx -- "$1" <<<"$files"; }

# ---- files
for f in /usr/bin/kestrava /usr/bin/kestrava-practice \
         /usr/share/applications/kestrava.desktop /usr/share/applications/kestrava-practice.desktop \
         /usr/share/icons/hicolor/scalable/apps/kestrava.svg \
         /usr/share/kestrava/practice/index.html /usr/share/kestrava/practice/elements.ini \
         /usr/share/kestrava/bin/coordinatebaseline.ini /usr/share/kestrava/Update.ini \
         /usr/share/kestrava/ScreenShot/logo.png /usr/share/kestrava/scripts/practice /usr/share/kestrava/scripts/xvfb-env; do
  check "the package has $f" listed "$f"
done
# The programs and generated resources of this build, whichever there are.
for p in kestrava Sorrelpane kestrava-post kestrava-replay kestrava-read-price kestrava-settings; do
  [ -x "$build/$p" ] && check "the package has the program $p" test -x "$root/usr/lib/kestrava/$p"
done
for f in "$build"/res/sounds/*.wav "$build"/ScreenShot/*.bmp; do
  rel=${f#"$build"/}
  [ -f "$f" ] && check "the package has $rel" cmp -s "$f" "$root/usr/share/kestrava/$rel"
done
check "the launchers answer from the unpacked package" \
  bash -c "env -i PATH=/usr/bin:/bin '$root/usr/bin/kestrava' --version | grep -qx 'kestrava [0-9.]*'"

# ---- menu entries
for entry in "$root"/usr/share/applications/*.desktop; do
  name=$(basename "$entry")
  exec_line=$(sed -n 's/^Exec=//p' "$entry")
  check "$name: Exec= names a launcher of the package" test -x "$root/usr/bin/${exec_line%% *}"
  check "$name: English and Chinese names" bash -c "grep -q '^Name=.' '$entry' && grep -q '^Name\[zh_CN\]=.' '$entry'"
  check "$name: its icon is in the package" test -f "$root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg"
  if command -v desktop-file-validate >/dev/null; then
    check "$name: desktop-file-validate" desktop-file-validate "$entry"
  fi
done
check "the icon is an SVG drawing" grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/kestrava.svg"

# ---- dependencies
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
echo "Depends: $(tr '\n' ' ' <<<"$depends")"
# The package of an installed file ($1), as dpkg knows it (through the /usr merge).
owner() {
  local path
  path=$(readlink -f "$1")
  dpkg -S "$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null
}
needs() {  # needs <what> <file>: the package holding <file> is in Depends
  local pkg
  pkg=$(owner "$2" | head -1 | cut -d: -f1)
  if [ -z "$pkg" ]; then echo "FAIL  $1: $2 belongs to no package"; failures=$((failures + 1)); return; fi
  check "$1: $pkg in Depends" covered "$pkg"
}
# A package named in Depends, or pulled in directly by one (imagemagick brings imagemagick-6.q16).
covered() {
  grep -qx -- "$1" <<<"$depends" && return 0
  local d
  for d in $depends; do
    dpkg-query -W -f='${Depends}\n' "$d" 2>/dev/null | tr ',|' '\n\n' | sed 's/^ *//; s/[ :].*//' | grep -qx -- "$1" && return 0
  done
  return 1
}
libs=$(for p in "$root"/usr/lib/kestrava/*; do objdump -p "$p" 2>/dev/null | awk '$1 == "NEEDED" { print $2 }'; done | sort -u)
for lib in $libs; do
  path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64/ { print $NF; exit }')
  needs "the programs load $lib" "${path:-/nonexistent/$lib}"
done
needs "the page shell's web engine process" "$(ls /usr/lib/qt6/libexec/QtWebEngineProcess 2>/dev/null || echo /usr/lib/qt6/libexec/QtWebEngineProcess)"
needs "the English text recognition data" "$(ls /usr/share/tesseract-ocr/*/tessdata/eng.traineddata 2>/dev/null | head -1)"
needs "the Chinese font" "$(fc-match -f '%{file}' 'WenQuanYi Micro Hei' 2>/dev/null)"
needs "the voice prompts (aplay)" "$(command -v aplay)"
needs "documents and addresses (xdg-open)" "$(command -v xdg-open)"
for cmd in xdotool xwininfo xprop import Xvfb openbox; do
  needs "the practice run ($cmd)" "$(command -v "$cmd")"
done
needs "the real-like practice run (libfaketime)" "$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -1)"

# ---- the server package: what a club installs beside Redis
server_deb=$(ls "$build"/package/kestrava-server_*_amd64.deb 2>/dev/null | head -1)
check "cpack made kestrava-server_<version>_amd64.deb too" test -f "$server_deb"
if [ -f "$server_deb" ]; then
  dpkg-deb -x "$server_deb" "$work/server"
  server_files=$(dpkg-deb -c "$server_deb" | awk '{ print $6 }' | sed 's|^\./|/|')
  for f in /usr/lib/systemd/system/kestrava-sync.service /usr/lib/systemd/system/kestrava-config.service \
           /etc/kestrava/sync-server.conf /etc/kestrava/config-server.ini /var/lib/kestrava/updates/kestrava/; do
    check "kestrava-server has $f" grep -qx -- "$f" <<<"$server_files"
  done
  for unit in "$work"/server/usr/lib/systemd/system/*.service; do
    program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
    check "$(basename "$unit") starts a program of the package ($program)" test -x "$work/server$program"
    settings=$(sed -n 's/^ExecStart=.*--settings \([^ ]*\).*/\1/p' "$unit")
    check "$(basename "$unit") reads settings the package installs ($settings)" test -f "$work/server$settings"
  done
  check "the example settings are the administrator's (conffiles)" \
    bash -c "dpkg-deb --ctrl-tarfile '$server_deb' | tar -xO ./conffiles | grep -qx /etc/kestrava/config-server.ini"
  check "the example configuration host settings start the server" \
    bash -c "'$work/server/usr/lib/kestrava/kestrava-config-server' --settings '$work/server/etc/kestrava/config-server.ini' --port 1 --listen 256.0.0.1 2>&1 | grep -q 'cannot listen'"
  server_depends=$(dpkg-deb -f "$server_deb" Depends)
  check "kestrava-server depends on redis-server ($server_depends)" has "$server_depends" "redis-server"
  check "the console's package holds no server program" bash -c "! ls '$root'/usr/lib/kestrava/kestrava-*-server >/dev/null 2>&1"
fi

checks_end
