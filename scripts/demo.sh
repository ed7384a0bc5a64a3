#!/usr/bin/env bash
# Try the tool without hardware: three simulated modules and the window, both
# inside a private network namespace so that nothing reaches a real network.
#   scripts/demo.sh [BUILD_DIR] [MODULE_COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-3}"

exec scripts/netns-run.sh bash -c '
    "$1/sim/kestrel-sim" --count "$2" &
    sim=$!
    trap "kill $sim 2>/dev/null; wait $sim 2>/dev/null" EXIT
    scripts/run-window.sh "$1/app/kestrel-configure"
' demo "$build" "$count"
