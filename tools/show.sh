#!/usr/bin/env bash
# show.sh PROGRAM [BOOK]: starts a Leafwise build.
# With a display it simply runs there. Without one it runs under a virtual X
# display (xvfb-run), saves a screenshot of the device window once it is up and
# prints where; LEAFWISE_SCREENSHOT names the file (default: beside PROGRAM).
set -euo pipefail

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PROGRAM [BOOK]" >&2
    exit 2
fi
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" "$@"
fi

shot=${LEAFWISE_SCREENSHOT:-$(dirname "$program")/leafwise-screenshot.png}
echo "No display here: starting Leafwise on a virtual display and taking a screenshot."
for tool in xvfb-run import; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing (packages xvfb and imagemagick); ./make.sh installs them." >&2
        exit 1
    fi
done

# The inner script runs inside the virtual display: start the program, wait until
# its device window can be grabbed, let it paint, grab it. The device window is
# titled as the active window: "Leafwise", or with a book the book's file name.
inner='
program=$1; shot=$2; shift 2
name=Leafwise
[ $# -gt 0 ] && name=$(basename "$1")
QT_QPA_PLATFORM=xcb "$program" "$@" &
pid=$!
for _ in $(seq 1 20); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"; echo "Leafwise ended (exit code $?) before its window showed." >&2; exit 1
    fi
    # import waits for ever when no window has the name yet: bound each look.
    if timeout 2 import -window "$name" "$shot" 2>/dev/null; then
        sleep 1
        timeout 5 import -window "$name" "$shot"
        kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
        exit 0
    fi
    sleep 0.2
done
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
echo "The device window never showed." >&2
exit 1
'
if xvfb-run -a -s "-screen 0 480x640x24" bash -c "$inner" show "$program" "$shot" "$@"; then
    echo "Screenshot of the device: $shot"
else
    exit 1
fi
