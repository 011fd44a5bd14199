#!/usr/bin/env bash
# The first practice on a desktop, played as a person plays it: scripts/practice on the display
# (not --headless), in a copy of the installation, with no setting written by this test. The
# script sets the practice up itself (the page's login, the practice strategy 20: lowest + 700 at
# 48 s before the end, the gap rule confirms). The test waits for the code dialog, types the code
# the dialog shows and presses Enter, as the bidder does, and then reads the console window as a
# screen reader reads it: the guidance at each step, and at the end the outcome (confirmed by the
# gap rule, the page's verdict valid, won), which the terminal shows too. Then it presses the
# console's "开始模拟" with the pointer: a second auction starts on the page and in the console.
#
# Seed 7 of the practice page (as in practice_run_test.sh): lowest 89200 at 48 s before the end,
# 89600 (gap 300) at 5.6 s, final 89700 at 4.4 s; the bid 89900 is valid and wins. The code is the
# fixed 4321 (--code), the one the dialog's picture shows.
#
# usage: desktop_run_test.sh <build folder> [screenshot folder]
#   With a screenshot folder, the screen (page and console side by side) is saved there as
#   first_practice_code.png (the code dialog open, the guidance beside it) and
#   first_practice_outcome.png (the outcome).
set -uo pipefail
usage="usage: desktop_run_test.sh <build folder> [screenshot folder]"
build=$(realpath "${1:?$usage}")
shots=${2:+$(realpath -m "$2")}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)

# shellcheck source=desktop.sh
. "$here/desktop.sh"
desktop_session_bus "$0" "$@"
desktop_start

start=$(date +%s)
"$repo/scripts/practice" --build "$build" --copy "$work/inst" --seed 7 --code 4321 >"$work/terminal.out" 2>&1 &
practice_pid=$!
dir=$work/inst
shell_log=$dir/Log/12345678_$(date +%F)_ie.log
shell_lines() { iconv -f GBK -t UTF-8 "$shell_log" 2>/dev/null; }
# Waits up to $2 seconds for a line of the shell's log matching $1 (after line $3, default 0).
wait_shell() {
  local i
  for i in $(seq 1 $(($2 * 5))); do
    shell_lines | tail -n +"$((${3:-0} + 1))" | grep -a -q -- "$1" && return 0
    kill -0 "$practice_pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}
# Waits up to $2 seconds for the console window to show a text matching $1; the texts stay in
# $shown.
wait_shown() {
  local i
  for i in $(seq 1 $(($2 * 2))); do
    shown=$(text_of "$console_pid")
    grep -q -- "$1" <<<"$shown" && return 0
    sleep 0.5
  done
  return 1
}
shot() {
  [ -n "$shots" ] || return 0
  mkdir -p "$shots"
  import -window root "$shots/$1" 2>/dev/null && echo "screenshot: $shots/$1"
}

# ---- the start: the script sets the practice up, the page logs in by itself
wait_shell "page: bidding seed=7" 90
check "the practice page logged in by itself and started its auction" test $? -eq 0
console_pid=$(console_process 10)
page=$(xdotool search --name "^客车额度拍卖InternetExplorer\$" 2>/dev/null | head -1)
check "the console and the page window are up" test -n "$console_pid" -a -n "$page"
wait_shown "练习：首次出价时段" 20
check "the info bar says to wait for the revision phase" test $? -eq 0
check "the practice strategy is selected in the combo" has "$shown" "^combo box: 策略20$"
check "its second application at 48 s before the end (11:29:12)" has "$shown" "^label: 11:29:12$"
check "… at the lowest price + 700" has "$(grep -A1 "^check box: 最低成交价 +$" <<<"$shown" | head -2)" "^text: 700$"

# ---- the code dialog opens by itself; the bidder types the code it shows and presses Enter
wait_shell "page: dialog code open price=89900" 200
check "the code dialog opened by itself for 89900" test $? -eq 0
wait_shown "验证码框已打开" 10
check "the info bar says: type the four digits and press Enter" test $? -eq 0
shot first_practice_code.png
xdotool windowactivate --sync "$page" 2>/dev/null
xdotool type --delay 60 4321
sleep 0.2
xdotool key Return
wait_shown "价格进入300以内时软件自动确认" 10
check "the info bar says: confirming when the price comes within 300" test $? -eq 0

# ---- the outcome, in the console window and in the terminal
wait_shell "page: result " 60
check "the page gave its result" test $? -eq 0
wait_shown "练习结果：" 10
outcome=$(grep -m1 "练习结果：" <<<"$shown")
echo "the console window shows: ${outcome:-nothing}"
check "the console confirmed through the gap rule" has "$outcome" "由差额规则确认"
check "the page saw the click (how late, at which moment)" has "$outcome" "页面于11:29:5[0-9]\.[0-9]*（离结束[0-9.]*秒）收到点击，比软件确认晚-\{0,1\}[0-9]*毫秒"
check "the page judged the bid valid" has "$outcome" "出价89900有效"
check "won" has "$outcome" "已成交（最低成交价89700）"
check "the page's own log agrees: valid" has "$(shell_lines)" "page: bid price=89900 at=11:29:5[0-9.]* lowest=89[67]00 valid=1"
sleep 1
check "the terminal shows the outcome" has "$(cat "$work/terminal.out")" "^practice: 练习结果：由差额规则确认.*出价89900有效.*已成交"
shot first_practice_outcome.png

# ---- Enter again, twice, after the confirmation: nothing is waiting, nothing is clicked
xdotool windowactivate --sync "$page" 2>/dev/null
xdotool key Return
sleep 0.3
xdotool key Return
sleep 1.5
check "… and the page saw one confirmation of the bid, not more" \
  test "$(shell_lines | grep -a -c "page: bid price=89900")" -eq 1
check "… and its confirm button was clicked once" \
  test "$(shell_lines | grep -a -c "page saw its confirm click")" -eq 1

# The second auction's page closes its code dialog by itself 2 s after it opens (an expired code,
# as the real page does), with no code typed. The shell reads the practice settings afresh when it
# opens the practice page again.
sed -i 's/^practiceparams=.*/&\&codetimeout=2/' "$dir/bin/sorrelpane.ini"

# ---- "开始模拟" pressed with the pointer: a second auction on the page and in the console
starts=$(shell_lines | grep -a -c "page: bidding seed=")
mark=$(shell_lines | wc -l)
point=$(/usr/bin/python3 "$here/window_text.py" button "$console_pid" 开始模拟)
check "开始模拟 is shown on the console (${point:-not found})" test -n "$point"
# shellcheck disable=SC2086
[ -n "$point" ] && xdotool mousemove $point click 1
wait_shell "page: bidding seed=7" 30 "$mark"
check "the page started a second auction" test $? -eq 0
check "… the page's second timeline, not the first's" test "$(shell_lines | grep -a -c "page: bidding seed=")" -eq $((starts + 1))
wait_shell "practice auction started 0x49d" 15 "$mark"
check "the console was told of the new auction's start" test $? -eq 0
wait_shown "练习：首次出价时段" 15
again=$?
check "the console's run started again: the guidance is back at its first step" test "$again" -eq 0
[ "$again" = 0 ] || grep "练习" <<<"$shown"
check "… and the last outcome is gone" lacks "$shown" "练习结果："

# ---- the page closes the code dialog by itself: the console sees the bid withdrawn
wait_shell "page: dialog code open price=89900" 200 "$mark"
check "the second auction's code dialog opened for 89900" test $? -eq 0
wait_shell "page: dialog code expired after 2 s" 10 "$mark"
check "… and the page closed it by itself" test $? -eq 0
wait_shown "页面关闭了验证码框" 10
check "the console saw the page close it and says to bid again" test $? -eq 0
xdotool windowactivate --sync "$page" 2>/dev/null
xdotool key Return
wait_shown "没有等待提交的出价" 10
check "Enter then finds no bid waiting" test $? -eq 0

# ---- closing the console ends the practice
close_practice "$build"
status=$?
check "scripts/practice ended with the console (exit $status)" test "$status" -eq 0
read_day_logs "$dir"
check "the bidder's Enter armed the submission" has "$console_text" "客户按了回车，智能提交开启"
check "the console's day log names the gap rule's confirmation" has "$console_text" '软件点击"确定"按钮'
check "the Enters after the confirmation and after the page's closing found no bid waiting" \
  test "$(grep -a -c "没有等待提交的出价" <<<"$console_text")" -ge 2
check "the console's day log has the page's closing of the second dialog" has "$console_text" "页面关闭了验证码框，申请价格89900不再等待提交"
check "the withdrawn bid was never confirmed: one confirmation in the day" \
  test "$(grep -a -c '软件点击"确定"按钮' <<<"$console_text")" -eq 1
echo "---- terminal"
cat "$work/terminal.out"
echo "run time: $(( $(date +%s) - start )) s"
if [ "$failures" -gt 0 ] && [ -s "$work/window_text.err" ]; then
  echo "---- reading the window"; tail -20 "$work/window_text.err"
fi
finish_checks
