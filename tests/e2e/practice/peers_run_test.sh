#!/usr/bin/env bash
# A practice auction with simulated bidders: scripts/practice --headless --peers 3 in a copy of the
# installation starts a sync server of its own, points the copy's console at it, and the peers
# report the practice page's price steps ahead of the console's page and signal congestion 5 s
# before the end. The console's own log must show server reports that raised its price ("xyz"),
# the console must be on the server when the congestion signal goes to the room, and the
# installation's own settings must not change.
#
# usage: peers_run_test.sh <build folder>
set -uo pipefail
build=$(realpath "${1:?usage: peers_run_test.sh <build folder>}")
repo=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d /tmp/kestrava-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT

# shellcheck source=checks.sh
. "$(dirname "$0")/checks.sh"

# Other tests may change the installation's settings meanwhile; the sync host is this run's alone.
own_host=$(sed -n 's/^synchostip=//p' "$build/bin/userconf.ini" 2>/dev/null | tr -d '\r')
out=$("$repo/scripts/practice" --headless --build "$build" --copy "$work/inst" --seed 7 --code 4321 \
      --second 48 --plus 700 --peers 3 2>&1)
status=$?
echo "$out"
check "scripts/practice --peers 3 completed (exit $status)" test "$status" -eq 0
read_day_logs "$work/inst"

check "the auction reached its result" has "$out" "^won: "
host=$(sed -n 's|^peers: *3 simulated bidders on the sync server ws://\(127\.[0-9.]*\):9002$|\1|p' <<<"$out")
check "three peers on a sync server of the run's own, on a loopback address" test -n "$host"
check "the run's console was pointed at it" \
  test "$(sed -n 's/^synchostip=//p' "$work/inst/bin/userconf.ini" | tr -d '\r')" = "$host"
check "the installation's own sync host did not change" \
  test "$(sed -n 's/^synchostip=//p' "$build/bin/userconf.ini" 2>/dev/null | tr -d '\r')" = "$own_host"

server=$(grep -a "^server: " <<<"$out")
sent=$(sed -n 's/.*sent \([0-9]*\) reports and 3 6_0, 0 not sent.*/\1/p' <<<"$server")
check "every peer sent the page's steps and its 6_0 ($server)" test "${sent:-0}" -gt 0
check "the server relayed the peers' reports to each other and sent one 6_3 to each" \
  has "$server" "received [1-9][0-9]* relayed reports and 3 jam signals: 6_3$"
raised=$(sed -n 's/^reports: *\([0-9]*\) server reports raised.*/\1/p' <<<"$out")
check "server reports reached the console and raised its price first (${raised:-none})" test "${raised:-0}" -gt 0
check "… as its own log says (xyz)" has "$console_text" "xyz"
check "the congestion signal went out while the console was on the server" \
  has "$out" "^jam: *6_0 from the peers at page clock 11:29:5[0-9]; the server's 6_3 went to every client, the console among them"

finish_checks
