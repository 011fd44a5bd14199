# Helpers of the practice end-to-end tests (sourced): named checks, text matching on the logs,
# and times of their stamps.

# shellcheck source=../../checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../checks.sh"
count() { grep -a -c -- "$2" <<<"$1"; }
# The lines of $1 from the first matching $2 up to the first after it matching $3.
between() { awk -v a="$2" -v b="$3" 'on && $0 ~ b { exit } $0 ~ a { on = 1 } on' <<<"$1"; }
# The lines of $1 from the first matching $2 to the end.
from_first() { awk -v a="$2" '$0 ~ a { on = 1 } on' <<<"$1"; }
# Milliseconds of a HH:MM:SS.mmm stamp.
ms() { awk -F'[:.]' '{ printf "%d\n", (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }' <<<"$1"; }
# The stamp HH:MM:SS.mmm of the first line of $1 matching $2.
stamp_of() { grep -a -m1 -- "$2" <<<"$1" | sed 's/^\[\([0-9:.]*\)\].*/\1/'; }

# The two day logs of a run in installation folder $1 as UTF-8 text: shell_text, console_text.
read_day_logs() {
  local bid=12345678 day
  day=$(date +%F)
  shell_log="$1/Log/${bid}_${day}_ie.log"
  console_log="$1/Log/${bid}_${day}.log"
  shell_text=$(iconv -f GBK -t UTF-8 "$shell_log" 2>/dev/null)
  # The day log ends its lines with CR LF.
  console_text=$(iconv -f GBK -t UTF-8 "$console_log" 2>/dev/null | tr -d '\r')
}

# Seed 7's confirmation by the gap rule, from the day logs: the rule's own line (the practice
# strategy's fallback confirms too, 3 s before the end, with "软件强制提交 完毕"), the page's
# confirm pressed within gap_click_ms of the shell passing on the page's 89600 (the gap of 300 the
# rule waits for; measured 4-20 ms on an idle machine, 20-80 ms on a busy one), and the bid judged
# before 11:29:55, the moment a confirmation sent by the rule lands (11:29:54.83-.93; the fallback's
# lands after 11:29:57).
gap_click_ms=100
check_gap_rule_confirmed() {
  local rule rise click judged d
  rule=$(grep -a -m1 '软件点击"确定"按钮\|软件强制提交 完毕\|软件点击确定提交' <<<"$console_text")
  check "the gap rule confirmed (${rule:-no confirmation})" has "$rule" '软件点击"确定"按钮'
  rise=$(stamp_of "$shell_text" "report 0x46e 89600 ")
  click=$(stamp_of "$shell_text" "page: click codeok")
  d=$([ -n "$rise" ] && [ -n "$click" ] && echo $(( $(ms "$click") - $(ms "$rise") )))
  check "the page's confirm pressed within $gap_click_ms ms of 89600 (${d:-?} ms)" \
    test -n "$d" -a "${d:-0}" -ge 0 -a "${d:-0}" -le "$gap_click_ms"
  judged=$(grep -a -m1 "page: bid price=" <<<"$shell_text" | sed -n 's/.* at=\([0-9:.]*\) .*/\1/p')
  check "the bid judged before 11:29:55 (${judged:-never})" \
    test -n "$judged" -a "$(ms "${judged:-0:0:0.0}")" -lt "$(ms 11:29:55.000)"
}

# On failure: the logs' last lines and the count; the exit status of the test.
finish_checks() {
  if [ "$failures" -gt 0 ]; then
    echo "---- shell log"; tail -60 <<<"$shell_text"
    echo "---- console log"; grep -av "目前最低成交价\|秒最低成交价" <<<"$console_text" | tail -60
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
