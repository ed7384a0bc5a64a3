#!/usr/bin/env bash
# Try the tool without hardware: simulated modules and the window, both inside
# a private network namespace so that nothing reaches a real network.
#   scripts/demo.sh [BUILD_DIR] [MODULE_COUNT]
# On a desktop the window stays open for you to use. Without a display the
# demo runs by itself on a virtual one: it searches, selects a module, writes
# a screenshot to BUILD_DIR/demo.png and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-3}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display, so the demo runs on a virtual one (Xvfb): search, select a module, screenshot"
    scripts/screenshots.sh --count "$count" --chinese "$build/demo.png" "$build"
    echo "demo: the window as it was: $build/demo.png (on a desktop, make demo leaves it open for you)"
    exit 0
fi

exec scripts/netns-run.sh bash -c '
    "$1/sim/kestrel-sim" --count "$2" &
    sim=$!
    trap "kill $sim 2>/dev/null; wait $sim 2>/dev/null" EXIT
    scripts/run-window.sh "$1/app/kestrel-configure"
' demo "$build" "$count"
