# Sourced by the shell tests: named checks that count their failures, text matches, and the end
# that reports them.
failures=0
check() {  # check <what> <command…>
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
has() { grep -a -q -- "$2" <<<"$1"; }
lacks() { ! has "$1" "$2"; }
# Ends the test: exit 1 when a check failed, else 0.
checks_end() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
