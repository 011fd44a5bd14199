#!/usr/bin/env bash
# The launchers `kestrava` and `kestrava-practice` against throwaway home folders.
#
# A scratch installation of this build (components launcher and data: the launchers, the settings
# tool, the resources) gets stand-ins for the console and the practice script that print where
# and with what they were started. The read-only and full home folders are tmpfs mounts in a
# private mount namespace (unshare); where they cannot run, the test fails: a case that cannot
# run has not passed.
#
# usage: launcher_test.sh <cmake> <build folder>
set -uo pipefail
cmake=${1:?usage: launcher_test.sh <cmake> <build folder>}
build=$(realpath "${2:?usage: launcher_test.sh <cmake> <build folder>}")

# shellcheck source=../../checks.sh
. "$(dirname "$0")/../../checks.sh"
same() { cmp -s "$1" "$2"; }
# The last launch ended with status $1 and said something matching $2.
ended() { [ "$status" = "$1" ] && has "$out" "$2"; }
mode_is() { [ "$(stat -c %a "$1" 2>/dev/null)" = "$2" ]; }
links_to() { [ "$(readlink "$1")" = "$2" ]; }
missing() { [ ! -e "$1" ] && [ ! -L "$1" ]; }
# Every file under $1 with its checksum and mode: what "nothing of the person's changed" compares.
fingerprint() { (cd "$1" && find . -type f -printf '%p %m ' -exec md5sum {} \; | sort); }

# Runs a launcher with a clean environment: launch <home> <launcher> [args…], then $out and
# $status. Extra environment in the array `extra`.
extra=()
launch() {
  local home=$1 launcher=$2; shift 2
  out=$(env -i PATH="$PATH" ${home:+HOME="$home"} DISPLAY=:0 "${extra[@]}" "$root/usr/bin/$launcher" "$@" 2>&1)
  status=$?
}

# ---- the mount cases, run again by the script itself inside a private mount namespace ----------
mount_cases() {
  local h=$work/ro dir
  dir=$h/.local/share/kestrava
  mkdir -p "$h"
  mount -t tmpfs -o ro,size=1m tmpfs "$h" || { echo "cannot mount a tmpfs"; return 1; }
  launch "$h" kestrava
  check "read-only home: the first start fails (exit $status)" test "$status" -eq 1
  check "... saying what and how to mend it" has "$out" "cannot make $h/.local/share.*Read-only file system.*XDG_DATA_HOME"
  mount -o remount,rw "$h"
  launch "$h" kestrava
  check "... and succeeds once the home is writable (exit $status)" test "$status" -eq 0
  check "... running the console in the new folder" has "$out" "console cwd=$dir "
  mount -o remount,ro "$h"
  launch "$h" kestrava
  check "a complete folder on a read-only home still starts (exit $status)" test "$status" -eq 0
  umount "$h"

  h=$work/full
  dir=$h/.local/share/kestrava
  mkdir -p "$h"
  mount -t tmpfs -o size=1m tmpfs "$h" || { echo "cannot mount a tmpfs"; return 1; }
  mkdir -p "$h/.local/share"
  fill() { head -c "$(($(df -B1 --output=avail "$h" | tail -1) - 12288))" /dev/zero >"$h/filler" 2>/dev/null; }
  fill
  launch "$h" kestrava
  check "full home: the first start fails (exit $status)" test "$status" -eq 1
  check "... saying so" has "$out" "No space left on device.*nothing was left behind: free some space"
  check "... and leaves no folder, half made or otherwise" test -z "$(ls -A "$h/.local/share")"
  rm -f "$h/filler"
  launch "$h" kestrava
  check "... and succeeds once there is space (exit $status)" test "$status" -eq 0
  # A newer package brings a large new picture and a new key while the disk is full.
  kestrava-settings set "$dir/bin/coordinatebaseline.ini" Position lvwf_x 31 >/dev/null
  local before
  before=$(fingerprint "$dir" | grep -v coordinatebaseline)
  head -c 65536 /dev/urandom >"$share/ScreenShot/big_new.bmp"
  printf '[Later]\nkey=1\n' >>"$share/bin/coordinatebaseline.ini"
  fill
  launch "$h" kestrava
  check "full home, newer package: the start fails (exit $status)" test "$status" -eq 1
  check "... saying the person's files are as they were" has "$out" "No space left on device.*your files are as they were"
  check "... and they are, with no partial picture beside them" test "$(fingerprint "$dir" | grep -v coordinatebaseline)" = "$before"
  check "... the person's value too" grep -q '^lvwf_x=31$' "$dir/bin/coordinatebaseline.ini"
  rm -f "$h/filler"
  launch "$h" kestrava
  check "... then, with space, the new picture and key arrive (exit $status)" \
    bash -c "cmp -s '$share/ScreenShot/big_new.bmp' '$dir/ScreenShot/big_new.bmp' && grep -q '^key=1' '$dir/bin/coordinatebaseline.ini'"
  check "... and the person's value stays" grep -q '^lvwf_x=31$' "$dir/bin/coordinatebaseline.ini"
  umount "$h"
  rm -f "$share/ScreenShot/big_new.bmp"
  return 0
}

if [ "${3:-}" = --in-namespace ]; then
  work=$4; root=$5; share=$root/usr/share/kestrava
  PATH=$root/usr/lib/kestrava:$PATH
  mount_cases || check "the read-only and full home cases ran to their end" false
  [ "$failures" -eq 0 ]
  exit
fi

work=$(mktemp -d /tmp/kestrava-launcher.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
for component in launcher data; do
  "$cmake" --install "$build" --prefix "$root/usr" --component "$component" >/dev/null ||
    { echo "cannot install the $component component of $build"; exit 1; }
done
share=$root/usr/share/kestrava
programs=$root/usr/lib/kestrava
PATH=$programs:$PATH
printf '#!/bin/sh\necho "console cwd=$(pwd) args=$*"\n' >"$programs/kestrava"
printf '#!/bin/sh\necho "practice cwd=$(pwd) args=$*"\n' >"$share/scripts/practice"
chmod +x "$programs/kestrava" "$share/scripts/practice"

# ---- answers without a display or a home --------------------------------------------------------
out=$(env -i PATH="$PATH" "$root/usr/bin/kestrava" --version 2>&1); status=$?
check "kestrava --version without display or home (exit $status)" ended 0 "^kestrava [0-9]*\.[0-9]*\.[0-9]*$"
out=$(env -i PATH="$PATH" "$root/usr/bin/kestrava-practice" --help 2>&1); status=$?
check "kestrava-practice --help names its folder (exit $status)" ended 0 "XDG_DATA_HOME/kestrava-practice"
check "... and the practice run's options" has "$out" "--headless"
launch "" kestrava
check "no HOME: a clear message (exit $status)" ended 1 "HOME is not set"

# ---- first start ---------------------------------------------------------------------------------
h=$work/h1
dir=$h/.local/share/kestrava
mkdir -p "$h"
launch "$h" kestrava --some-option x
check "first start with no ~/.local/share yet (exit $status)" test "$status" -eq 0
check "the console ran in the folder with the options" has "$out" "console cwd=$dir args=--some-option x"
check "the folder is the person's alone (0700)" mode_is "$dir" 700
check "... and so is the data home made for it" mode_is "$h/.local/share" 700
check "default settings copied" same "$share/bin/coordinatebaseline.ini" "$dir/bin/coordinatebaseline.ini"
check "userconf.ini is there, the person's alone (0600)" mode_is "$dir/bin/userconf.ini" 600
for f in "$share"/ScreenShot/*; do
  check "reference picture $(basename "$f") copied" same "$f" "$dir/ScreenShot/$(basename "$f")"
done
check "Log/ made" test -d "$dir/Log"
check "Update.ini copied" same "$share/Update.ini" "$dir/Update.ini"
check "the console program linked" links_to "$dir/kestrava" "$programs/kestrava"
check "the voice prompts linked" test -f "$dir/res/sounds/$(ls "$share/res/sounds" | head -1)"
check "the practice page linked" links_to "$dir/practice" "$share/practice"
check "nothing left beside the folder" test "$(ls -A "$h/.local/share")" = kestrava

launch "$h" kestrava-practice --headless
check "the practice launcher: a folder of its own, the run in it (exit $status)" \
  has "$out" "practice cwd=$h/.local/share/kestrava-practice args=--build $h/.local/share/kestrava-practice --headless"
check "... the same layout" same "$share/bin/coordinatebaseline.ini" "$h/.local/share/kestrava-practice/bin/coordinatebaseline.ini"

# ---- later starts keep the person's files ---------------------------------------------------------
kestrava-settings set "$dir/bin/coordinatebaseline.ini" Position lvwf_x 31
kestrava-settings set --owner-only "$dir/bin/userconf.ini" Configure bidnumber 87654321
kestrava-settings set "$dir/Update.ini" URL iniurl0 http://updates.example/kestrava/Updater.ini
echo learned >"$dir/ScreenShot/wifi_green.bmp"
echo "the day's log" >"$dir/Log/87654321_2026-12-10.log"
before=$(fingerprint "$dir")
launch "$h" kestrava
check "a later start (exit $status) changes nothing of the person's" test "$(fingerprint "$dir")" = "$before"

chmod 644 "$dir/bin/userconf.ini"
launch "$h" kestrava
check "a userconf.ini opened to others is made the person's alone again" mode_is "$dir/bin/userconf.ini" 600

# ---- a newer package ----------------------------------------------------------------------------
kestrava-settings set "$share/bin/coordinatebaseline.ini" Position lvwf_x 99
kestrava-settings set "$share/bin/coordinatebaseline.ini" Position new_key 5
kestrava-settings set "$share/bin/coordinatebaseline.ini" Extra k 1
printf '[Sorrelpane]\nwidth=1000\n' >"$share/bin/sorrelpane.ini"
kestrava-settings set "$share/Update.ini" MAINVER mainver 9.9
kestrava-settings set "$share/Update.ini" URL iniurl0 http://127.0.0.1/new/Updater.ini
cp "$share/ScreenShot/ok.bmp" "$share/ScreenShot/new_picture.bmp"
echo "learned by the person too" >"$share/ScreenShot/wifi_green.bmp"
printf '#!/bin/sh\n' >"$programs/kestrava-read-price" && chmod +x "$programs/kestrava-read-price"
launch "$h" kestrava
conf=$dir/bin/coordinatebaseline.ini
check "newer package: started (exit $status)" test "$status" -eq 0
check "... a new key added" grep -q '^new_key=5$' "$conf"
check "... a new section added" grep -q '^k=1$' "$conf"
check "... the person's value kept over the new default" bash -c "grep -q '^lvwf_x=31$' '$conf' && ! grep -q '^lvwf_x=99' '$conf'"
check "... a new settings file copied" same "$share/bin/sorrelpane.ini" "$dir/bin/sorrelpane.ini"
check "... userconf.ini kept" grep -q '^bidnumber=87654321$' "$dir/bin/userconf.ini"
check "... the installed version for the update check" grep -q '^mainver=9.9$' "$dir/Update.ini"
check "... the person's update server kept" grep -q '^iniurl0=http://updates.example/' "$dir/Update.ini"
check "... a new picture copied" same "$share/ScreenShot/new_picture.bmp" "$dir/ScreenShot/new_picture.bmp"
check "... a learned picture kept" grep -q '^learned$' "$dir/ScreenShot/wifi_green.bmp"
check "... the new program linked" links_to "$dir/kestrava-read-price" "$programs/kestrava-read-price"
check "... the log kept" grep -q "the day's log" "$dir/Log/87654321_2026-12-10.log"

# ---- an older or half-made folder -----------------------------------------------------------------
h=$work/h2
dir=$h/.local/share/kestrava
mkdir -p "$dir/bin"
printf '[Position]\r\nlvwf_x=40\r\n' >"$dir/bin/coordinatebaseline.ini"
launch "$h" kestrava
check "an older folder without links, Log/ or userconf.ini is completed (exit $status)" \
  bash -c "[ -d '$dir/Log' ] && [ -L '$dir/kestrava' ] && [ -L '$dir/res' ] && [ -f '$dir/ScreenShot/ok.bmp' ]"
check "... its keys completed in its own line ends, its value kept" \
  bash -c "grep -q \$'^lvwf_x=40\r\$' '$dir/bin/coordinatebaseline.ini' && grep -q \$'^lvwf_y=64\r\$' '$dir/bin/coordinatebaseline.ini'"
check "... userconf.ini made, 0600" mode_is "$dir/bin/userconf.ini" 600

h=$work/h3
mkdir -p "$h/.local/share/.kestrava.new.AbC123/bin" "$h/.local/share/.kestrava.new.Fresh1"
touch -d '1 hour ago' "$h/.local/share/.kestrava.new.AbC123"
launch "$h" kestrava
check "after an interrupted first start the next one completes (exit $status)" test -f "$h/.local/share/kestrava/ScreenShot/ok.bmp"
check "... the interrupted start's folder is removed" missing "$h/.local/share/.kestrava.new.AbC123"
check "... a first start still in progress elsewhere is left alone" test -d "$h/.local/share/.kestrava.new.Fresh1"

# Two first starts at once: one folder, both run.
h=$work/h4
mkdir -p "$h"
env -i PATH="$PATH" HOME="$h" DISPLAY=:0 "$root/usr/bin/kestrava" >"$work/a.out" 2>&1 &
env -i PATH="$PATH" HOME="$h" DISPLAY=:0 "$root/usr/bin/kestrava" >"$work/b.out" 2>&1
wait $!
check "two first starts at once both run the console" bash -c "grep -q 'console cwd=' '$work/a.out' && grep -q 'console cwd=' '$work/b.out'"
check "... in one complete folder, nothing left beside it" \
  bash -c "[ \"\$(ls -A '$h/.local/share')\" = kestrava ] && [ -f '$h/.local/share/kestrava/ScreenShot/ok.bmp' ]"

# ---- the XDG data home ----------------------------------------------------------------------------
h=$work/h5
mkdir -p "$h"
extra=(XDG_DATA_HOME="$work/xdg/not/yet")
launch "$h" kestrava
check "a missing XDG_DATA_HOME is made and used (exit $status)" has "$out" "console cwd=$work/xdg/not/yet/kestrava "
extra=(XDG_DATA_HOME=relative/data)
launch "$h" kestrava
check "a relative XDG_DATA_HOME is ignored (exit $status)" has "$out" "console cwd=$h/.local/share/kestrava "
extra=()

# ---- things in the way ----------------------------------------------------------------------------
h=$work/h6
mkdir -p "$h/.local/share"
echo "not ours" >"$h/.local/share/kestrava"
launch "$h" kestrava
check "a file where the folder belongs: a clear message (exit $status)" ended 1 "is there but is not a folder"
check "... and the file is left as it was" grep -q "not ours" "$h/.local/share/kestrava"
rm "$h/.local/share/kestrava"
ln -s "$work/gone" "$h/.local/share/kestrava"
launch "$h" kestrava
check "a link to a missing folder: a clear message (exit $status)" ended 1 "link to a folder that is not there"
h=$work/h7
mkdir -p "$h/.local/share/kestrava/res"
echo mine >"$h/.local/share/kestrava/res/notes.txt"
launch "$h" kestrava
check "a folder of the person's where a link belongs: a notice (exit $status)" ended 0 "res is not a link to .*left as it is"
check "... and the folder is left as it was" grep -q mine "$h/.local/share/kestrava/res/notes.txt"
out=$(env -i PATH="$PATH" HOME="$h" "$root/usr/bin/kestrava" 2>&1); status=$?
check "no display: a clear message naming the headless practice (exit $status)" ended 1 "no display.*kestrava-practice --headless"

# ---- read-only and full home folders --------------------------------------------------------------
check "a private mount namespace for the read-only and full home folders (unshare -rm)" unshare -rm true
check "the read-only and full home folders" unshare -rm "$0" "$cmake" "$build" --in-namespace "$work" "$root"

checks_end
