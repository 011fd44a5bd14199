#!/usr/bin/env bash
# The forced submission on the real-like timeline, with the third application left at its
# defaults: ThirdBidTime 0, box 1125 ticked again by the strategy import (box 1165 is off). The
# console applies the lowest price + 900 at 48 s before the end (seed 7: 89200, so 90100), the
# bidder types the code and presses Enter at about 11:29:13, and the price never comes within 300
# of the bid (final 89700), so only the forced submission (box 1061, mandatory_bid 100) may
# confirm: at 11:29:59.900. Nothing may cancel the code dialog or apply again after the Enter (the
# page clearing at ThirdBidTime + 2 and + 1 once pressed Escape at 11:29:58 and 11:29:59, and the
# third application started after the end).
#
# usage: forced_run_test.sh <build folder>
set -uo pipefail
build=$(realpath "${1:?usage: forced_run_test.sh <build folder>}")
repo=$(cd "$(dirname "$0")/../../.." && pwd)
# shellcheck source=checks.sh
. "$(dirname "$0")/checks.sh"
work=$(mktemp -d /tmp/kestrava-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The page shell is told the moment ahead; the page holds its input for the last moments before
# it, the shell sends the click ahead, and the page's handler runs at the moment: within
# page_late_ms after it (the goal is 5 ms), never more than page_early_ms before it (the page
# clock's rounding and the hold's end, one millisecond before the moment). The console's own
# "确定" is the one that clicks when the shell's did not: its submit tick (every 10 ms) decides it
# at the moment, never before it (but for the millisecond of its clock's conversion), and at most
# console_late_ms after it (a tick and the wake-up of a busy machine).
moment=11:29:59.900
console_early_ms=1
console_late_ms=30
page_early_ms=2
page_late_ms=10

out=$("$repo/scripts/practice" --headless --real --at 11:28:10 --build "$build" --copy "$work/inst" --seed 7 \
      --code 4321 --second 48 --plus 900 --forced 100 2>&1)
status=$?
echo "$out"
check "scripts/practice completed (exit $status)" test "$status" -eq 0
read_day_logs "$work/inst"

# ---- the console: the application, the arming, and after it only the forced submission
check "second application logged" has "$console_text" "第二次申请价格"
check "applied at lowest 89200 + 900" has "$console_text" "国拍最低价：89200，用户申请价格：90100"
armed_on=$(from_first "$console_text" "客户按了回车，智能提交开启")
check "the bidder's Enter armed the submission" test -n "$armed_on"
check "the countdown started ( QZ)" has "$armed_on" " QZ，目前国拍最低价："
check "the forced submission confirmed once" test "$(count "$armed_on" "软件强制提交 完毕")" -eq 1
check "no page clearing after the Enter" lacks "$armed_on" "检查是否有页面干扰申请价格"
check "no application after the Enter" lacks "$armed_on" "操作执行申请加价"
check "no third application at all" lacks "$console_text" "\] 第三次申请价格$"
check "nothing else confirmed" lacks "$console_text" '软件点击"确定"按钮\|软件点击确定提交\|延时达到\|功能点击确定\|58强制提交'

# ---- the page: one dialog, the Enter, one confirmation at the moment, no cancel
check "the code dialog opened for 90100" has "$shell_text" "page: dialog code open price=90100"
check "the code dialog opened once" test "$(count "$shell_text" "page: dialog code open")" -eq 1
after_enter=$(from_first "$shell_text" "page: enter in codeinput ignored")
check "the bidder's Enter reached the page's code box" test -n "$after_enter"
check "the page took the typed code once" test "$(count "$after_enter" "page: click codeok trusted=1 code=4321")" -eq 1
check "no cancel of the code dialog" lacks "$shell_text" "page: click codecancel"
check "no new application on the page after the Enter" lacks "$after_enter" "page: click addbtn\|page: click bidbtn"
# The moment, three times: the console pressed "确定" (its day log), the shell pressed the page's
# confirm button (the first click on the page after the Enter), the page's handler ran (its clock).
# All three clocks are the run's one shifted clock.
console_at=$(grep -a -m1 "软件强制提交 完毕" <<<"$console_text" | sed 's/^\[电脑\([0-9: ]*\.[0-9]*\).*/\1/; s/ /0/g')
shell_at=$(stamp_of "$after_enter" "^\[[0-9:.]*\] click ")
page_at=$(grep -a -m1 "page: click codeok" <<<"$shell_text" | sed -n 's/.* at=\([0-9:.]*\).*/\1/p')
off() { [ -n "$1" ] && echo $(( $(ms "$1") - $(ms "$moment") )); }
within() {  # within <stamp> <ms allowed before the moment> <ms allowed after it>
  local d; d=$(off "$1"); [ -n "$d" ] && [ "$d" -ge "-$2" ] && [ "$d" -le "$3" ]
}
check "the console pressed 确定 at $moment - $console_early_ms … + $console_late_ms ms (${console_at:-never})" \
  within "$console_at" "$console_early_ms" "$console_late_ms"
# The shell's click leaves while the page holds its input, before the moment: the page acts on it
# at the moment, not when it arrives.
hold_at=$(stamp_of "$after_enter" "the page holds its input for the last")
in_hold() {
  [ -n "$hold_at" ] && [ -n "$shell_at" ] && [ "$(ms "$hold_at")" -le "$(ms "$shell_at")" ] &&
    [ "$(ms "$shell_at")" -le "$(ms "$moment")" ]
}
check "the shell clicked (${shell_at:-never}) after the page's hold began (${hold_at:-never}), before $moment" in_hold
check "the page's handler took it at $moment - $page_early_ms … + $page_late_ms ms (${page_at:-never})" \
  within "$page_at" "$page_early_ms" "$page_late_ms"
# The console converts the moment from its tick count to the system clock, two clocks read in
# whole milliseconds: the moment the shell is told may differ from the rule's by that one
# millisecond.
told=$(grep -a -m1 "scheduled confirm token [0-9]* due " <<<"$shell_text" | sed -n 's/.* due \([0-9:.]*\).*/\1/p')
check "the page shell was told the moment ahead (${told:-never})" within "$told" 1 1
check "the page shell clicked for the moment, once" test "$(count "$shell_text" ": clicking, ")" -eq 1
check "the page held its input for the moment" has "$shell_text" "the page holds its input for the last"

echo "---- measured (pessimistic when the machine is busy)"
shown_off() { local d; d=$(off "$1"); echo "${d:-?}"; }
echo "console pressed 确定:          ${console_at:-none} ($(shown_off "$console_at") ms from $moment)"
echo "shell pressed the page's 确定: ${shell_at:-none} ($(shown_off "$shell_at") ms)"
echo "the page's handler ran:        ${page_at:-none} ($(shown_off "$page_at") ms)"
echo "arrival: $(grep -a -m1 "page: bid price=" <<<"$shell_text")"
finish_checks
