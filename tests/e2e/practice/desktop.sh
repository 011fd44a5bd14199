# Sourced by the tests that run the practice on a desktop (scripts/practice without --headless)
# and read the console window as a screen reader reads it (window_text.py, AT-SPI); brings the
# practice tests' checks along.

desktop_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=checks.sh
. "$desktop_here/checks.sh"

# Runs the calling test again on a session bus of its own, on which the accessibility bus starts;
# call it first, with the test's own path and arguments. The bus and the services it starts get a
# runtime folder of their own: without one the accessibility bus's socket is ~/.cache/at-spi/bus,
# which every other session replaces or removes.
desktop_session_bus() {
  if [ -z "${KESTRAVA_TEST_SESSION_BUS:-}" ]; then
    local runtime
    runtime=$(mktemp -d /tmp/kestrava-e2e-runtime.XXXXXX)
    chmod 700 "$runtime"
    exec env KESTRAVA_TEST_SESSION_BUS="$runtime" XDG_RUNTIME_DIR="$runtime" dbus-run-session -- "$@" \
      2> >(grep -v "^dbus-daemon\|SpiRegistry" >&2)
  fi
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# A scratch folder $work, the session's runtime folder (so a console or page shell running
# elsewhere is not this run's), the display the tests share or one of its own, and the
# accessibility bus. At exit, scripts/practice ($practice_pid) ends and all of it goes.
desktop_start() {
  work=$(mktemp -d /tmp/kestrava-e2e.XXXXXX)
  practice_pid=""
  own_display=""
  trap desktop_cleanup EXIT
  export XDG_RUNTIME_DIR=$KESTRAVA_TEST_SESSION_BUS
  if [ -z "${DISPLAY:-}" ]; then
    # shellcheck source=../../../scripts/xvfb-env
    . "$desktop_here/../../../scripts/xvfb-env"
    xvfb_start 1920x1080x24 || { echo "FAIL  no X server"; exit 1; }
    own_display=1
  fi
  /usr/bin/python3 "$desktop_here/window_text.py" bus || { echo "FAIL  no accessibility bus"; exit 1; }
}

desktop_cleanup() {
  [ -n "$practice_pid" ] && kill "$practice_pid" 2>/dev/null && wait "$practice_pid" 2>/dev/null
  [ -n "$own_display" ] && xvfb_stop
  rm -rf "$work"
  # The bus's own runtime folder goes when dbus-run-session ends the bus; what is left of it here.
  case "$KESTRAVA_TEST_SESSION_BUS" in /tmp/kestrava-e2e-runtime.*) rm -rf "$KESTRAVA_TEST_SESSION_BUS" ;; esac
}

# What the window of process $1 shows, one text a line after its role.
text_of() { /usr/bin/python3 "$desktop_here/window_text.py" text "$1" 2>>"$work/window_text.err"; }

# The process of the console's window, once it is there (up to $1 seconds); empty otherwise.
console_process() {
  local i w
  for i in $(seq 1 $(($1 * 2))); do
    w=$(xdotool search --name "^Vonter沪牌抢拍助手\$" 2>/dev/null | head -1)
    [ -n "$w" ] && xdotool getwindowpid "$w" 2>/dev/null && return 0
    sleep 0.5
  done
  return 1
}

# Closes the console and waits for scripts/practice to end; its exit status.
close_practice() {
  local status
  "$1/kestrava-post" "Vonter沪牌抢拍助手" 0x10 >/dev/null 2>&1
  for _ in $(seq 1 100); do kill -0 "$practice_pid" 2>/dev/null || break; sleep 0.2; done
  wait "$practice_pid"
  status=$?
  practice_pid=""
  return "$status"
}
