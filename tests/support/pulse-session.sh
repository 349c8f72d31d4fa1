#!/usr/bin/env bash
# Runs a command against a private, headless PulseAudio server with no sound hardware:
#   pulse-session.sh COMMAND [ARGS...]
# The server has a null sink "platterly_sink" (the default sink) and a source
# "platterly_rec" that remaps the sink's monitor (the default source), so what one side
# plays the other side records. Qt 6.4 does not list monitor sources as inputs, hence the
# remap. The command inherits XDG_RUNTIME_DIR, PULSE_SERVER and PLATTERLY_PULSE_START (starts
# the server again after a test killed it); its exit code is returned.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

command -v pulseaudio >/dev/null || { echo "pulse-session: pulseaudio is not installed" >&2; exit 77; }

runtime=$(mktemp -d /tmp/platterly-pulse.XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
export HOME="$runtime"          # keeps the server's cookie and state out of the user's home
export PULSE_SERVER="unix:$runtime/pulse/native"
unset DBUS_SESSION_BUS_ADDRESS

cleanup() {
  pactl exit >/dev/null 2>&1 || true
  rm -rf "$runtime"
}
trap cleanup EXIT

# The server's start is a script of its own, so a test can kill the server and start it
# again (PLATTERLY_PULSE_START); its process id is in $XDG_RUNTIME_DIR/pulse/pid.
start="$runtime/start-server.sh"
cat >"$start" <<'EOF'
#!/usr/bin/env bash
set -euo pipefail
# A killed server's pid file names a process that may not be reaped yet: wait it out.
pidfile="$XDG_RUNTIME_DIR/pulse/pid"
if [ -f "$pidfile" ]; then
  old=$(cat "$pidfile")
  for _ in $(seq 1 100); do
    grep -qs '^State:[[:space:]]*[^Z]' "/proc/$old/status" || break
    sleep 0.05
  done
  rm -f "$pidfile"
fi
# -n: no default.pa, so nothing probes for hardware or a session bus.
pulseaudio --daemonize=yes --system=false --exit-idle-time=-1 -n \
  --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=platterly_sink rate=44100 channels=2" \
  --log-target=file:"$XDG_RUNTIME_DIR/pulse.log" 2>/dev/null

# Wait on the server's state, not on a fixed delay.
for _ in $(seq 1 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.05
done
pactl info >/dev/null 2>&1 || { echo "pulse-session: server did not start" >&2; cat "$XDG_RUNTIME_DIR/pulse.log" >&2 || true; exit 1; }

pactl load-module module-remap-source master=platterly_sink.monitor source_name=platterly_rec >/dev/null
pactl set-default-sink platterly_sink
pactl set-default-source platterly_rec
EOF
chmod +x "$start"
export PLATTERLY_PULSE_START="$start"
"$start"

set +e
"$@"
rc=$?
set -e
exit $rc
