#!/usr/bin/env bash
# Starts the standalone program on a virtual display with no sound card, lets it run a few
# seconds, asks it to quit the way a terminal's Ctrl-C does, and expects a clean exit.
set -u
program="$1"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$program" >"$log" 2>&1 &
runner=$!

sleep 5
pid=$(pgrep -n -f -x "$program" || true)
if [ -z "$pid" ]; then
    echo "the standalone program is not running after 5 s"; cat "$log"; wait "$runner"; exit 1
fi

kill -INT "$pid"
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the standalone program did not quit within 10 s of SIGINT"; kill -KILL "$pid"; wait "$runner"; exit 1
fi

wait "$runner"
status=$?
cat "$log"
if [ "$status" -ne 0 ]; then
    echo "the standalone program exited with status $status"; exit 1
fi
echo "standalone program started and quit cleanly"
