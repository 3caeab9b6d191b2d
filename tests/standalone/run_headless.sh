#!/usr/bin/env bash
# Starts the standalone program on a virtual display with no sound card, lets it run a few
# seconds, asks it to quit with a signal (INT as a terminal's Ctrl-C, TERM as a logout or
# shutdown, HUP as a closed terminal) and expects a clean exit that saved the session, as
# closing the window does.
set -u
program="$1"
signal="${2:-INT}"
home=$(mktemp -d)
log="$home/log"
trap 'rm -rf "$home"' EXIT

HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$program" >"$log" 2>&1 &
runner=$!

pid=""
for _ in $(seq 1 100); do
    pid=$(pgrep -P "$runner" -f -x "$program" || true)
    [ -n "$pid" ] && break
    sleep 0.1
done
if [ -z "$pid" ]; then
    echo "the standalone program is not running after 10 s"; cat "$log"; wait "$runner"; exit 1
fi
sleep 4

kill "-$signal" "$pid"
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the standalone program did not quit within 10 s of SIG$signal"; kill -KILL "$pid"; wait "$runner"; exit 1
fi

wait "$runner"
status=$?
cat "$log"
if [ "$status" -ne 0 ]; then
    echo "the standalone program exited with status $status after SIG$signal"; exit 1
fi

settings="$home/.config/Quillon/Quillon.settings"
if ! grep -q 'name="filterState"' "$settings" 2>/dev/null; then
    echo "SIG$signal quit without saving the session (no filterState in $settings)"; exit 1
fi
if ! grep -q 'name="windowX"' "$settings" 2>/dev/null; then
    echo "SIG$signal quit without saving the window position"; exit 1
fi
echo "standalone program quit cleanly on SIG$signal and saved its session"
