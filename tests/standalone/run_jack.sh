#!/usr/bin/env bash
# Plays the standalone program through JACK on a machine with no sound card: a private JACK server
# with its dummy driver, the program on its own virtual display with JACK chosen in its settings,
# its two outputs recorded by a capture client for a few seconds while it keeps running. Then, with
# the server gone, the same settings must still let the program start. Everything it starts is
# stopped by process id, within bounded time, and its files are removed.
set -u
program="$1"
seconds=3
rate=48000

for tool in jackd jack_lsp jack_rec jack_wait Xvfb python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool (packages jackd2, xvfb, python3)"; exit 1; }
done

work=$(mktemp -d)
server="quillon-test-$$"
jackd_pid="" xvfb_pid="" program_pid="" rec_pid=""

stop() { # pid, seconds to wait after SIGTERM before SIGKILL
    local pid=$1 limit=$2
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 1 $((limit * 10))); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

cleanup() {
    stop "$rec_pid" 2
    stop "$program_pid" 2
    stop "$jackd_pid" 5
    stop "$xvfb_pid" 2
    # jackd2 keeps its sockets and semaphores under /dev/shm, named after the server.
    rm -rf "$work" /dev/shm/jack*"$server"* 2>/dev/null
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*"
    for log in jackd program program2 rec; do
        [ -s "$work/$log.log" ] && { echo "--- $log"; tail -n 30 "$work/$log.log"; }
    done
    exit 1
}

# Nothing outside the temporary folder is read or written, and no other JACK server is touched.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
export JACK_DEFAULT_SERVER="$server" JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Quillon"
cat >"$XDG_CONFIG_HOME/Quillon/Quillon.settings" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="audioSetup">
    <DEVICESETUP deviceType="JACK" audioOutputDeviceName="system" audioInputDeviceName="system"/>
  </VALUE>
</PROPERTIES>
EOF

# A display of our own, well away from :0, which X clients (tests among them) take when DISPLAY
# is unset: they must never find this short-lived server.
display=""
for n in $(seq $((200 + $$ % 500)) $((219 + $$ % 500))); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && { display=":$n"; break; }
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$display" ] && break
    stop "$xvfb_pid" 2; xvfb_pid=""
done
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY="$display"
echo "display $display"

# -r: no real-time scheduling, so neither root nor real-time limits are needed.
jackd -r -n "$server" -d dummy -r "$rate" -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
timeout 10 jack_wait -w >/dev/null 2>&1 || fail "the JACK server did not start"
echo "JACK server $server started"

"$program" >"$work/program.log" 2>&1 &
program_pid=$!

ports=""
deadline=$((SECONDS + 20))
while [ "$SECONDS" -lt "$deadline" ]; do
    ports=$(timeout 2 jack_lsp 2>/dev/null)
    grep -qx "Quillon:out_1" <<<"$ports" && grep -qx "Quillon:out_2" <<<"$ports" && break
    kill -0 "$program_pid" 2>/dev/null || fail "the program quit before opening JACK"
    sleep 0.1
done
grep -qx "Quillon:out_1" <<<"$ports" && grep -qx "Quillon:out_2" <<<"$ports" \
    || fail "no ports Quillon:out_1 and Quillon:out_2 after 20 s; JACK has: $(tr '\n' ' ' <<<"$ports")"
echo "JACK ports of the program: $(grep '^Quillon:' <<<"$ports" | tr '\n' ' ')"

# The capture client connects itself to the two outputs and records for a few seconds.
timeout $((seconds + 15)) jack_rec -f "$work/take.wav" -d "$seconds" -b 16 Quillon:out_1 Quillon:out_2 >"$work/rec.log" 2>&1 &
rec_pid=$!
connections=""
deadline=$((SECONDS + 5))
while [ "$SECONDS" -lt "$deadline" ]; do
    connections=$(timeout 2 jack_lsp -c Quillon:out_ 2>/dev/null)
    [ "$(grep -Ec '^ +jack_?rec' <<<"$connections")" -ge 2 ] && break
    sleep 0.1
done
[ "$(grep -Ec '^ +jack_?rec' <<<"$connections")" -ge 2 ] \
    || fail "the outputs are not connected to the capture client: $(tr '\n' ' ' <<<"$connections")"
echo "connected: $(tr -s ' \n' ' ' <<<"$connections")"
timeout $((seconds + 10)) tail --pid="$rec_pid" -f /dev/null || fail "the capture client did not finish"
wait "$rec_pid"; rec_status=$?; rec_pid=""
[ "$rec_status" -eq 0 ] || fail "the capture client failed with status $rec_status"
kill -0 "$program_pid" 2>/dev/null || fail "the program stopped while it played through JACK"

python3 - "$work/take.wav" "$rate" "$seconds" <<'EOF' || fail "the recording is not what the program played"
import sys, wave
path, rate, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
with wave.open(path) as take:
    frames, channels, got_rate = take.getnframes(), take.getnchannels(), take.getframerate()
print(f"recorded {frames} frames, {channels} channels at {got_rate} Hz")
# Blocks of 256 frames kept arriving for (nearly) the whole take.
ok = channels == 2 and got_rate == rate and frames >= 0.8 * rate * seconds
sys.exit(0 if ok else 1)
EOF

kill -INT "$program_pid"
for _ in $(seq 1 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not quit within 10 s of SIGINT"
wait "$program_pid"; status=$?; program_pid=""
[ "$status" -eq 0 ] || fail "the program exited with status $status"
grep -q "Quillon:" <<<"$(timeout 2 jack_lsp 2>/dev/null)" && fail "the program's ports outlived it"

stop "$jackd_pid" 5; jackd_pid=""

# JACK chosen but no server, and no sound card for ALSA: the program still starts and quits.
"$program" >"$work/program2.log" 2>&1 &
program_pid=$!
sleep 4
kill -0 "$program_pid" 2>/dev/null || fail "without a JACK server the program did not start"
kill -INT "$program_pid"
for _ in $(seq 1 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program_pid" 2>/dev/null && fail "without a JACK server the program did not quit within 10 s of SIGINT"
wait "$program_pid"; status=$?; program_pid=""
[ "$status" -eq 0 ] || fail "without a JACK server the program exited with status $status"

echo "the standalone program played through JACK and started without it"
