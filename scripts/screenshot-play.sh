#!/usr/bin/env bash
# Screenshot of the main window while a track of the demo disc plays: starts the built program
# on a virtual X display with a private PulseAudio server, selects track 2 and presses Play
# through the accessibility tree, opens the Actions menu and saves the screen.
# usage: scripts/screenshot-play.sh [output.png] [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/screenshot-play.png}")"
build="$(realpath "${2:-build}")"

if [ -z "${PULSE_SERVER:-}" ]; then
  exec tests/support/pulse-session.sh "$0" "$out" "$build"
fi

display=":$((90 + RANDOM % 9))"
work=$(mktemp -d)
Xvfb "$display" -screen 0 800x560x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
eval "$(dbus-launch --sh-syntax)"
cleanup() {
  kill ${prog:-} ${bus:-} $xvfb "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
bus=$!
sleep 1
# A throw-away program folder keeps the build's settings untouched.
cp -r "$build/bin/." "$work/"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$work/platterly" >/dev/null 2>&1 &
prog=$!

/usr/bin/python3 - <<'EOF'
import sys, time
import pyatspi

def find(acc, pred, depth=0):
    if acc is None or depth > 25:
        return None
    try:
        if pred(acc):
            return acc
        count = acc.childCount
    except Exception:
        return None
    for i in range(count):
        found = find(acc.getChildAtIndex(i), pred, depth + 1)
        if found is not None:
            return found
    return None

def caption(acc):
    return (acc.name or '').replace('&', '')

app = None
for _ in range(100):
    desk = pyatspi.Registry.getDesktop(0)
    app = find(desk, lambda a: a.getRoleName() == 'application' and 'platterly' in (a.name or '').lower(), 23)
    if app is not None and find(app, lambda a: a.getRoleName() == 'table cell' and a.name == 'Track02'):
        break
    time.sleep(0.1)
else:
    sys.exit("the program did not show its track list")

table = find(app, lambda a: a.getRoleName() in ('tree', 'table'))
table.queryTable().addRowSelection(1)
time.sleep(0.3)
play = find(app, lambda a: a.getRoleName() == 'menu item' and caption(a) == 'Play')
play.queryAction().doAction(0)
status = find(app, lambda a: a.getRoleName() == 'label' and a.name.startswith('Play'))
if status is None:
    sys.exit("nothing plays")
time.sleep(0.8)
bar = find(app, lambda a: a.getRoleName() == 'menu bar')
find(bar, lambda a: a.getRoleName() == 'menu item' and caption(a) == 'Actions').queryAction().doAction(0)
EOF
sleep 1
/usr/bin/import -window root -crop 600x420+0+0 +repage "$out"
echo "wrote $out"
