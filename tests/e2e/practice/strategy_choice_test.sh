#!/usr/bin/env bash
# `scripts/practice --strategy N` on a desktop keeps the person's own strategy: the console starts
# with strategy N selected in its combo (read as a screen reader reads the window) and the
# practice strategy's file (slot 20, bin/policyt.ini) is left as it was, while the page's login is
# still set up. Without the option the practice strategy 20 is selected (the desktop run test
# plays that one through).
#
# usage: strategy_choice_test.sh <build folder>
set -uo pipefail
build=$(realpath "${1:?usage: strategy_choice_test.sh <build folder>}")
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
# shellcheck source=desktop.sh
. "$here/desktop.sh"
desktop_session_bus "$0" "$@"
desktop_start

# An installation whose slot 20 holds the person's own strategy, which the practice must not
# replace: the build's programs, a copy of its files.
mkdir -p "$work/own"
for p in kestrava Sorrelpane kestrava-post; do ln -s "$build/$p" "$work/own/$p"; done
for d in bin practice res ScreenShot; do [ -d "$build/$d" ] && cp -r "$build/$d" "$work/own/"; done
[ -f "$build/Update.ini" ] && cp "$build/Update.ini" "$work/own/"
printf '[RevEvudar]\nSecondBidTime=40\nSecondPlus=500\n' >"$work/own/bin/policyt.ini"
"$repo/scripts/practice" --build "$work/own" --copy "$work/inst" --strategy 3 >"$work/terminal.out" 2>&1 &
practice_pid=$!

console_pid=$(console_process 30)
check "the console is up" test -n "$console_pid"
shown=""
for _ in $(seq 1 20); do
  shown=$(text_of "$console_pid")
  grep -q "^combo box: 策略" <<<"$shown" && break
  sleep 0.5
done
check "the combo shows the person's strategy 3" has "$shown" "^combo box: 策略03$"
for _ in $(seq 1 20); do grep -q "the console runs your strategy" "$work/terminal.out" && break; sleep 0.5; done
check "the script said so" has "$(cat "$work/terminal.out")" "the console runs your strategy 3"
check "slot 20 is the person's, untouched" cmp -s "$work/own/bin/policyt.ini" "$work/inst/bin/policyt.ini"
check "the selection stored is strategy 3" grep -q "^SelPolicy=2$" "$work/inst/bin/userconf.ini"
check "the page's login is still set up" grep -q "^idcard=310101199001011234$" "$work/inst/bin/userconf.ini"
close_practice "$build"
status=$?
check "scripts/practice ended with the console (exit $status)" test "$status" -eq 0
checks_end
