#!/usr/bin/env bash
# A flood of noise at the window and at kestrelctl, inside a private network namespace: distinct random 64-byte
# datagrams from port 1500 of another host, as fast as one process sends them (kestrel-bench --flood), bounded
# in time and count. Prints what each program's memory and time did.
#   scripts/measure-flood.sh [BUILD_DIR] [SECONDS]
# BUILD_DIR must hold kestrel-bench (make bench builds it in build-bench). The window is left idle under the flood:
# its resident memory before, at its peak and after, and how long it still worked once the flood stopped. Then
# `kestrelctl search --timeout 2 --json` runs one second into a second flood: its time, peak memory, exit status
# and modules listed.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-bench}"
seconds="${2:-60}"
for program in bench/kestrel-bench app/kestrel-configure cli/kestrelctl; do
    [ -x "$build/$program" ] || { echo "measure-flood: no $build/$program; build it first (make bench)" >&2; exit 1; }
done

# The whole measurement is one command run by netns-run.sh, so no part of it can run outside the namespace.
exec scripts/netns-run.sh bash -c '
set -euo pipefail
build=$1 seconds=$2
work=$(mktemp -d)
kib() { awk -v key="$2:" '\''$1 == key { print $2 }'\'' "/proc/$1/status"; }
cpu_ticks() { awk '\''{ print $14 + $15 }'\'' "/proc/$1/stat"; }
now() { date +%s.%N; }
minus() { awk -v a="$1" -v b="$2" '\''BEGIN { printf "%.1f", a - b }'\''; }
flood() { nice -n 5 "$build/bench/kestrel-bench" --flood "$1" --flood-count 100000000; }

QT_QPA_PLATFORM=offscreen "$build/app/kestrel-configure" 2>/dev/null &
window=$!
trap "kill $window 2>/dev/null || true; rm -rf $work" EXIT
sleep 3
idle=$(kib $window VmRSS)
flood "$seconds" > "$work/window-flood.txt"
stopped=$(now)
# The window works on until its queue is empty: wait until its CPU time stands still for a second.
last=$(cpu_ticks $window)
while sleep 1; do
    ticks=$(cpu_ticks $window)
    [ "$ticks" = "$last" ] && break
    last=$ticks
done
settled=$(now)
sleep 2
after=$(kib $window VmRSS)
peak=$(kib $window VmHWM)
kill $window; wait $window 2>/dev/null || true
trap "rm -rf $work" EXIT
echo "window: $(cat "$work/window-flood.txt"); resident memory idle $((idle / 1024)) MiB, peak $((peak / 1024)) MiB, after $((after / 1024)) MiB; idle again (no CPU time for a second) $(minus "$settled" "$stopped") s after the flood"

flood "$seconds" > "$work/cli-flood.txt" &
sender=$!
sleep 1
started=$(now)
set +e
"$build/cli/kestrelctl" search --timeout 2 --json > "$work/search.json" 2> "$work/search.err" &
search=$!
cli_peak=0
while kill -0 $search 2>/dev/null; do
    hwm=$(kib $search VmHWM 2>/dev/null || true)
    [ -n "$hwm" ] && cli_peak=$hwm
    sleep 0.1
done
wait $search
status=$?
set -e
ended=$(now)
wait $sender
modules=$(grep -c "\"mac\"" "$work/search.json" || true)
echo "kestrelctl search --timeout 2 --json: $(cat "$work/cli-flood.txt"); took $(minus "$ended" "$started") s, exit status $status, peak resident memory $((cli_peak / 1024)) MiB, $modules modules listed; stderr: $(tr "\n" " " < "$work/search.err")"
' measure-flood "$build" "$seconds"
