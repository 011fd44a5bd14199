#!/usr/bin/env bash
# Learning a page the program has never seen, then a whole practice auction on it: the practice
# page's variant b (other places, names, classes, texts, icon and figure font). The shipped files
# fail the shell's check on it; scripts/practice --headless --variant learns it in its automatic
# mode (no corrections), and the auction run on the learned files ends with the page's "出价有效".
#
# Seed 7 as in practice_run_test.sh: the bid 89900 at 48 s before the end, confirmed by the gap
# rule, valid on arrival.
#
# usage: variant_run_test.sh <build folder>
set -uo pipefail
build=$(realpath "${1:?usage: variant_run_test.sh <build folder>}")
repo=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d /tmp/kestrava-e2e-variant.XXXXXX)
# shellcheck source=checks.sh
. "$(dirname "$0")/checks.sh"
# shellcheck source=../../../scripts/xvfb-env
. "$repo/scripts/xvfb-env"
# The folder stays for a look when a check failed.
trap 'xvfb_stop; if [ "${failures:-0}" = 0 ]; then rm -rf "$work"; else echo "kept $work"; fi' EXIT
export OMP_THREAD_LIMIT=1
start=$(date +%s)

# ---- the shipped files on the variant: the shell's check fails
mkdir -p "$work/shipped/bin"
ln -s "$build/practice" "$work/shipped/practice"
ln -s "$build/ScreenShot" "$work/shipped/ScreenShot"
cp "$build/bin/coordinatebaseline.ini" "$work/shipped/bin/"
printf '[Sorrelpane]\npracticeparams=variant=b\n' >"$work/shipped/bin/sorrelpane.ini"
xvfb_start 1920x1080x24 || { echo "FAIL  could not start Xvfb"; exit 1; }
shipped=$(cd "$work/shipped" && timeout 90 "$build/Sorrelpane" --check 2>/dev/null)
shipped_status=$?
xvfb_stop
echo "$shipped"
check "the shipped files fail the check on the variant (exit $shipped_status)" test "$shipped_status" -eq 1
check "the shipped icon picture is not found on it" has "$shipped" "check FAILED: anchor not found by the template search"
check "the shipped selectors name nothing on it" has "$shipped" "check FAILED: element bidbutton answered (0 elements match)"

# ---- learning, then the auction
out=$("$repo/scripts/practice" --headless --variant --build "$build" --copy "$work/inst" --seed 7 --code 4321 \
      --second 48 --plus 700 2>&1)
status=$?
echo "$out"
check "scripts/practice --headless --variant completed (exit $status)" test "$status" -eq 0
dir="$work/inst"
learning=$(cat "$dir/Log/practice-learning.out" 2>/dev/null)
check "every element was found" has "$learning" "11 found, 0 corrected, 0 missing"
check "the learned files passed every check" has "$learning" "CHECK DONE: every check passed"
check "the price region was read by the console's reader" has "$learning" "check passed: price region read 89[0-9]00"
check "learned selectors in bin/practiceelements.ini" has "$(cat "$dir/bin/practiceelements.ini")" "bidbutton=#offersubmit"
check "the page shell was pointed at them" has "$(cat "$dir/bin/sorrelpane.ini")" "practiceelements=bin/practiceelements.ini"
check "the learned anchor is the variant's icon" has "$(cat "$dir/bin/coordinatebaseline.ini")" "lvwf_x=900"
backups=$(ls "$dir"/bin/coordinatebaseline.ini.*.bak "$dir"/ScreenShot/wifi_green.bmp.*.bak 2>/dev/null | wc -l)
check "the previous geometry and picture were kept as dated backups ($backups)" test "$backups" -eq 2
check "the fault icon's picture was taken from the variant's own" has "$learning" "wifi_red.bmp) taken from #sig-bad"
check "the 28-pixel icon's picture at display scale 2.5 is 70 pixels" \
  test "$(identify -format '%wx%h' "$dir/ScreenShot/wifi_green7.bmp" 2>/dev/null)" = 70x70

read_day_logs "$dir"
check "the console calibrated on the variant page" has "$shell_text" "console calibrated"
# Found by the learned picture, the icon anchors the learned offsets: the console clicks the
# variant's add button at its centre (301,301 96x36 on the page).
check "the console clicked the add button at its learned point" has "$shell_text" "click point 349,319"
# The learned price region is read on the screen (no hint balloon over it) throughout the run.
check "the console never refused the learned price region" lacks "$console_text" "screen price refused"
check "the shell typed the plus amount and pressed the add button" has "$shell_text" "page: click addbtn trusted=1 amount=700 bidprice=89900"
check "the code dialog opened for 89900" has "$shell_text" "page: dialog code open price=89900"
check "the page took the typed code" has "$shell_text" "page: click codeok trusted=1 code=4321"
check "the bid arrived and was valid" has "$shell_text" "page: bid price=89900 at=[0-9:.]* lowest=89[67]00 valid=1"
check_gap_rule_confirmed
check "the page said 出价有效" has "$shell_text" 'dialog info "信息提示（出价有效）"'
echo "run time: $(( $(date +%s) - start )) s"
finish_checks
