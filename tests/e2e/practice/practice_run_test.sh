#!/usr/bin/env bash
# A practice auction from start to result, driven by scripts/practice --headless in a copy of the
# installation: the console applies the scheduled revision (lowest + 700 at 48 s before the end),
# the bidder's code and Enter come from xdotool, the gap rule confirms, and the page judges.
#
# Seed 7 of the practice page: warning price 89000, lowest 89200 at 48 s before the end, steps to
# 89600 at 5.6 s before the end (gap 300: the moment to confirm) and 89700 at 4.4 s (final). So
# the bid is 89900, valid on arrival, and wins. The real-like timeline has the same last minute.
#
# usage: practice_run_test.sh <build folder> [sim|real|package]
#   sim      the simulation run: the console in practice mode, the page's 190-second timeline
#   real     the real-like run: the console in real mode, the page's timeline ending at 11:30:00,
#            both under libfaketime so that their clocks read 11:28:10 at the start; the page's
#            ten-digit time codes feed the console
#   package  the simulation run from the Debian package of the build (<build>/package, made by
#            e2e.package_test) unpacked into a scratch folder: `kestrava-practice --headless` with
#            a scratch home, so a file missing from the package fails here
set -uo pipefail
usage="usage: practice_run_test.sh <build folder> [sim|real|package]"
build=$(realpath "${1:?$usage}")
mode=${2:-sim}
case "$mode" in
  sim|package) options=() ;;
  real) options=(--real --at 11:28:10) ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
repo=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d /tmp/kestrava-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT

# shellcheck source=checks.sh
. "$(dirname "$0")/checks.sh"

start=$(date +%s.%3N)
if [ "$mode" = package ]; then
  deb=$(ls "$build"/package/kestrava_*_amd64.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || { echo "FAIL  no package in $build/package (e2e.package_test makes it)"; exit 1; }
  dpkg-deb -x "$deb" "$work/root" || { echo "FAIL  cannot unpack $deb"; exit 1; }
  mkdir -p "$work/home"
  out=$(env HOME="$work/home" XDG_DATA_HOME= "$work/root/usr/bin/kestrava-practice" --headless --seed 7 --code 4321 \
        --second 48 --plus 700 2>&1)
  status=$?
  echo "$out"
  check "kestrava-practice from the unpacked $(basename "$deb") completed (exit $status)" test "$status" -eq 0
  dir="$work/home/.local/share/kestrava-practice"
  check "the run's console was the package's" test "$(readlink "$dir/kestrava")" = "$work/root/usr/lib/kestrava/kestrava"
  check "the run's page shell was the package's" test "$(readlink "$dir/Sorrelpane")" = "$work/root/usr/lib/kestrava/Sorrelpane"
else
  out=$("$repo/scripts/practice" --headless --build "$build" --copy "$work/inst" --seed 7 --code 4321 \
        --second 48 --plus 700 "${options[@]}" 2>&1)
  status=$?
  echo "$out"
  check "scripts/practice completed (exit $status)" test "$status" -eq 0
  dir="$work/inst"
fi
read_day_logs "$dir"

# ---- the console applied the bid, with its messages
check "closing the console wrote $console_log" test -s "$console_log"
check "the day log is GBK (no UTF-8)" bash -c "! iconv -f UTF-8 -t UTF-8 '$console_log' >/dev/null 2>&1"
header=$(head -4 <<<"$console_text" | sed 's/^\[[^]]*\] //')
run_kind=模拟拍牌开始; [ "$mode" = real ] && run_kind=正式拍牌开始
expected=$'==============定制v8.2===============\n投标号：12345678\nDX\n'$run_kind
alt=${expected/$'\nDX\n'/$'\nFDX\n'}
header_ok() { [[ "$header" == "$expected" || "$header" == "$alt" ]]; }
check "the four header lines" header_ok
header_ok || printf 'header was:\n%s\n' "$header"
check "second application logged" has "$console_text" "第二次申请价格"
check "applied at lowest 89200 + 700" has "$console_text" "国拍最低价：89200，用户申请价格：89900"
check "the bidder's Enter armed the submission" has "$console_text" "客户按了回车，智能提交开启"
confirmed_by=$(grep -a -m1 '软件点击"确定"按钮\|软件强制提交 完毕' <<<"$console_text")
check_gap_rule_confirmed

# ---- the real-like run: the page's ten-digit time codes reached the console
if [ "$mode" = real ]; then
  ten=$(grep -a -c "report 0x46e [0-9]* 11[23][0-9]\{7\} after [0-9]* ms$" <<<"$shell_text")
  check "ten-digit time codes posted to the console ($ten reports)" test "$ten" -gt 60
  check "every report reached the console" lacks "$shell_text" "report 0x46e .*(no console)"
  # Real mode takes no six-digit code of 11 o'clock: the feed went fresh on a ten-digit one.
  check "the console took the page feed (ZBQD)" has "$console_text" "ZBQD"
fi

# ---- the console calibrated on the page's login report, before its own next occasion (the
# revision start of a simulation, the bid application of a real run)
next_occasion="page: phase 2"; [ "$mode" = real ] && next_occasion="page: click addbtn"
check "the console calibrated on the page's login" has "$(between "$shell_text" "page logged in 0x465" "$next_occasion")" "console calibrated"

# ---- the page: code, confirmation in the window, verdict, result
check "the shell typed the plus amount and pressed 加价, 出价" has "$shell_text" "page: click addbtn trusted=1 amount=700 bidprice=89900"
check "the code dialog opened for 89900" has "$shell_text" "page: dialog code open price=89900"
check "the page took the typed code" has "$shell_text" "page: click codeok trusted=1 code=4321"
arrival=$(grep -a -m1 "page: bid price=" <<<"$shell_text")
check "the bid arrived and was valid" has "$arrival" "page: bid price=89900 at=[0-9:.]* lowest=89[67]00 valid=1"
check "the page said 出价有效" has "$shell_text" 'dialog info "信息提示（出价有效）"'
check "the page's result: won" has "$shell_text" "page: result final=89700 .* won=1"
# scripts/practice posts the page shell its close (0x10) once the result is in, and says whether
# the shell's process ended on it.
after_result=$(sed -n '/page: result /,$p' <<<"$shell_text")
check "after the result the shell took the close request (0x10)" has "$after_result" "WM_CLOSE"
check "... and its process ended on it" has "$out" "practice: the page shell ended on its close request"

# ---- measurements
echo "---- measured"
echo "the console's confirmation: ${confirmed_by:-none}"
awk '/report 0x46e/ { for (i = 1; i <= NF; i++) if ($i == "after") print $(i + 1) }' <<<"$shell_text" | sort -n |
  awk '{ a[NR] = $1 } END { if (NR) printf "page report -> console: %d reports, median %d ms, 90th %d ms, max %d ms\n", NR, a[int((NR + 1) / 2)], a[int(NR * 0.9 + 0.5)], a[NR] }'
stamp() { stamp_of "$shell_text" "$1"; }
rise=$(stamp "report 0x46e 89600 ")
click=$(stamp "page: click codeok")
landed=$(stamp "page: bid price=")
if [ -n "$rise" ] && [ -n "$click" ] && [ -n "$landed" ]; then
  echo "gap 300 reached (page shows 89600) -> confirm pressed at the page: $(( $(ms "$click") - $(ms "$rise") )) ms"
  echo "gap 300 reached -> confirmation judged by the page: $(( $(ms "$landed") - $(ms "$rise") )) ms (server delay and queue included)"
fi
page_at=$(sed -n 's/.* at=\([0-9:.]*\) .*/\1/p' <<<"$arrival")
[ -n "$page_at" ] && echo "confirmation judged at page clock $page_at: $(( $(ms 11:30:00.000) - $(ms "$page_at") )) ms before the end"
login=$(stamp "page logged in 0x465")
started=$(stamp "practice auction started 0x49d")
calibrated=$(awk -v t="$login" '/console calibrated/ { s = substr($1, 2, 12); if (s > t) { print s; exit } }' <<<"$shell_text")
first=$(head -1 <<<"$shell_text" | sed 's/^\[\([0-9:.]*\)\].*/\1/')
# The logs of the real-like run are stamped on the run's shifted clock.
offset=$(sed -n 's/.*(offset \(-\{0,1\}[0-9]*\) s).*/\1/p' <<<"$out" | head -1)
t0=$(date -d "@$(( ${start%.*} + ${offset:-0} ))" +%H:%M:%S).${start#*.}
[ -n "$first" ] && echo "start -> first page shell up: $(( $(ms "$first") - $(ms "$t0") )) ms"
[ -n "$started" ] && echo "start -> practice run started (0x49d): $(( $(ms "$started") - $(ms "$t0") )) ms"
[ -n "$login" ] && echo "start -> practice page logged in (0x465): $(( $(ms "$login") - $(ms "$t0") )) ms"
if [ -n "$calibrated" ]; then
  echo "start -> console calibrated on the practice page: $(( $(ms "$calibrated") - $(ms "$t0") )) ms"
else
  echo "no calibration noted after the practice page's login"
fi
echo "run time: $(awk -v a="$start" -v b="$(date +%s.%3N)" 'BEGIN { printf "%.0f", b - a }') s"

finish_checks
