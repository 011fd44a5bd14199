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
