#!/usr/bin/env bash
# scripts/serve with the settings of a folder: the configuration host answers from them, the sync
# node joins the Redis that serve started, and Ctrl-C (SIGINT) stops all three, Redis included.
#
# usage: serve_test.sh <build folder>
set -uo pipefail
build=$(realpath "${1:?usage: serve_test.sh <build folder>}")
repo=$(cd "$(dirname "$0")/../../.." && pwd)
work=$(mktemp -d /tmp/kestrava-serve.XXXXXX)
serve_pid=""
trap '[ -n "$serve_pid" ] && kill -TERM -- -"$serve_pid" 2>/dev/null; rm -rf "$work"' EXIT

# shellcheck source=../../checks.sh
. "$(dirname "$0")/../../checks.sh"

mkdir -p "$work/settings"
printf '[answers]\ndwbase=91300\nserverip=127.0.0.1\n' >"$work/settings/config-server.ini"
printf 'jam_quorum = 2\n' >"$work/settings/sync-server.conf"
# A loopback address and a port of this test's own: port 9002 is the sync node's whatever runs.
bind=127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
port=$((20000 + RANDOM % 12000))

[ -x "$build/kestrava-sync-server" ] && [ -x "$build/kestrava-config-server" ] ||
  { echo "FAIL  the server programs are not built"; exit 1; }
# A job of its own, as in a terminal: a background job of a script would ignore SIGINT.
set -m
"$repo/scripts/serve" --bind "$bind" --config-port "$port" --settings "$work/settings" >"$work/out" 2>&1 &
serve_pid=$!
for _ in $(seq 1 100); do
  grep -q "joined" "$work/out" && grep -q "kestrava-config-server: listening" "$work/out" && break
  sleep 0.1
done
cat "$work/out"
redis_port=$(sed -n 's/.*Redis 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/out" | head -1)
check "serve names its Redis" test -n "$redis_port"
check "Redis answers" bash -c "redis-cli -p '$redis_port' ping | grep -qx PONG"
check "Redis keeps nothing on disk" bash -c "redis-cli -p '$redis_port' config get save | tail -1 | grep -qx ''"
check "the sync node listens on $bind:9002 and joined that Redis" \
  grep -q "sync: .*redis 127.0.0.1:$redis_port joined" "$work/out"
check "the configuration host answers from the given settings" \
  test "$(curl -s "http://$bind:$port/?dwbase")" = 91300
check "… and refuses what it does not serve" \
  test "$(curl -s -o /dev/null -w '%{http_code}' "http://$bind:$port/?hpbase")" = 404

kill -INT "$serve_pid"
for _ in $(seq 1 50); do kill -0 "$serve_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$serve_pid" 2>/dev/null; then
  status="still running 5 s after Ctrl-C"
else
  wait "$serve_pid" 2>/dev/null
  status=$?
  serve_pid=""
fi
check "Ctrl-C ends serve (exit $status)" test "$status" = 0
sleep 0.5
check "… and Redis with it" bash -c "! redis-cli -p '$redis_port' ping >/dev/null 2>&1"
check "… and the configuration host" bash -c "! curl -s -m 2 'http://$bind:$port/?dwbase' >/dev/null"
check "… and the sync node" bash -c "! ss -Hltn 'src $bind:9002' | grep -q ."

checks_end
