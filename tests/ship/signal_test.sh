#!/usr/bin/env bash
# The game ends at Ctrl+C (SIGINT) and at SIGTERM as any Qt program does: the SDL subsystems it
# starts (game controllers, sound) must not catch these signals for a quit event nobody reads.
#   signal_test.sh <game> <data-folder>
# Needs a display (DISPLAY); without one it is skipped (exit 77).
set -euo pipefail
game=$1
data=$2
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 77; }

tmp=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$tmp/console.txt"; exit 1; }
export XDG_CONFIG_HOME="$tmp/config"  # the personal best of the test's own
export XDG_DATA_HOME="$tmp/share"      # and its best run

# With job control, a script's background job keeps SIGINT; without, it would start ignoring it.
set -m
for sig in INT TERM; do
    (cd "$data" && SKALDORA_TRACE=1 exec "$game") >"$tmp/console.txt" 2>&1 &
    pid=$!
    # SDL starts once the first frame is presented: by the second frame it has.
    for _ in $(seq 1 300); do
        grep -q '^skaldora-trace frame 2 ' "$tmp/console.txt" && break
        kill -0 "$pid" 2>/dev/null || fail "the game ended before SIG$sig"
        sleep 0.2
    done
    kill -s "$sig" "$pid"
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "SIG$sig did not end the game within 10 s"
    status=0
    wait "$pid" || status=$?
    pid=
    expected=$((128 + $(kill -l "$sig")))
    [ "$status" -eq "$expected" ] || fail "SIG$sig: exit status $status, not $expected"
    echo "SIG$sig ends the game (exit status $status)"
done
