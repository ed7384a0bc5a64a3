#!/usr/bin/env bash
# The Windows build under wine, beside Linux kestrel-sim, all inside one private network namespace
# (scripts/netns-run.sh): `make test-windows`.
#   1. the protocol and kestrelctl tests built for Windows (CTest, each through scripts/wine-run.sh);
#   2. kestrelctl.exe search, set with read-back, export and apply against simulated modules, and the frame it
#      sends byte for byte as Linux kestrelctl sends it (the simulator's state after each is the same file);
#   3. the installer: silent install, the programs run from where it put them, silent uninstall leaves nothing;
#   4. the window on a virtual display (Xvfb): a search lists the simulated modules, a Configure reaches the
#      module (the simulator's log), Chinese and English drawn; the Chinese picture becomes
#      docs/window-windows.png.
#
#   scripts/test-windows.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/window-driving.sh
. "$root/scripts/window-driving.sh"

fail() {
    echo "test-windows: FAILED: $*" >&2
    exit 1
}
step() { echo "test-windows: $*"; }

inside() {
    local win=$1 linux=$2
    work=$(mktemp -d)
    sim=""
    window=""
    trap stopAll EXIT
    export KESTREL_WINE_BUILD=$win
    export WINEPREFIX=$win/wineprefix
    unset KESTREL_FRAME_KEY
    local wine=("$root/scripts/wine-run.sh")
    local mac=02:00:4B:53:00:01

    # A fresh prefix per run: what the installer leaves behind is then this run's.
    rm -rf "$WINEPREFIX"
    step "wine prefix"
    "${wine[@]}" cmd /c exit 0 || fail "wine does not start"

    step "1. the tests built for Windows"
    (cd "$win" && ctest --output-on-failure) || fail "the Windows unit tests"

    step "2. kestrelctl.exe against kestrel-sim"
    startSim "$work/state-win.json"
    local listed
    listed=$("${wine[@]}" "$win/cli/kestrelctl.exe" search --json --expect 3) || fail "kestrelctl.exe search"
    for n in 1 2 3; do
        grep -q "\"02004B53000$n\"" <<<"$listed" || fail "search did not list module $n: $listed"
    done
    # A Chinese name (the module's own is UTF-8, so it goes as UTF-8; GB18030 names: tst_devicename) and a serial setting, with read-back (set searches until the module reports them).
    "${wine[@]}" "$win/cli/kestrelctl.exe" set "$mac" "name=泵站一" baud=57600 parity=even ||
        fail "kestrelctl.exe set"
    "${wine[@]}" "$win/cli/kestrelctl.exe" export "$mac" -o "$(winPath "$work/exported.json")" ||
        fail "kestrelctl.exe export"
    grep -q '"name": "泵站一"' "$work/exported.json" || fail "export: $(cat "$work/exported.json")"
    sed 's/"baud": 57600/"baud": 9600/' "$work/exported.json" > "$work/apply.json"
    "${wine[@]}" "$win/cli/kestrelctl.exe" apply "$(winPath "$work/apply.json")" "$mac" || fail "kestrelctl.exe apply"
    "$linux/cli/kestrelctl" show "$mac" | grep -qE '^baud +9600$' || fail "apply did not reach the module"
    stopSim

    # The same changes from Linux kestrelctl to a fresh simulator: the same state, byte for byte.
    startSim "$work/state-linux.json"
    "$linux/cli/kestrelctl" set "$mac" "name=泵站一" baud=57600 parity=even >/dev/null
    "$linux/cli/kestrelctl" apply "$work/apply.json" "$mac" >/dev/null
    stopSim
    cmp "$work/state-win.json" "$work/state-linux.json" ||
        fail "the modules hold different parameters after the same changes from Windows and from Linux"

    step "3. the installer, silent"
    local setup
    setup=$(ls "$win"/kestrel-configure-*-win64-setup.exe)
    local installed=$WINEPREFIX/drive_c/KestrelTest
    "${wine[@]}" "$setup" /S '/D=C:\KestrelTest' || fail "silent install"
    wineserver --wait
    for program in kestrel-configure.exe kestrelctl.exe kestrel-sim.exe platforms/qwindows.dll uninstall.exe; do
        [ -f "$installed/$program" ] || fail "the installer did not install $program"
    done
    "${wine[@]}" 'C:\KestrelTest\kestrelctl.exe' --version | grep -q kestrelctl || fail "installed kestrelctl.exe"
    "${wine[@]}" 'C:\KestrelTest\uninstall.exe' /S '_?=C:\KestrelTest' || fail "silent uninstall"
    wineserver --wait
    rm -f "$installed/uninstall.exe" # with _?= the uninstaller cannot remove itself
    [ -z "$(ls -A "$installed" 2>/dev/null)" ] || fail "the uninstaller left: $(cd "$installed" && find .)"

    step "4. the window on a virtual display"
    startSim "$work/state-window.json"
    "$root/scripts/wine-run.sh" "$win/app/kestrel-configure.exe" >"$work/window.log" 2>&1 &
    window=$!
    local id
    id=$(timeout 120 xdotool search --sync --onlyvisible --name '^Kestrel_ConfigureTool' | head -n 1) ||
        fail "the window did not appear: $(cat "$work/window.log")"
    sleep 2
    click "$id" "${searchButton[@]}"
    waitFor 'grep -qF "search from 10.231.0.1" "$work/sim.log"' || fail "the simulator saw no search from the window"
    sleep 2
    # The second module: rows are 30 pixels high in the font wine-run.sh sets.
    click "$id" $((tableLeft + 60)) $((tableTop + 66))
    sleep 1
    photograph "$id" "$work/window-zh.png"
    click "$id" "${languageButton[@]}"
    sleep 1
    photograph "$id" "$work/window-en.png"
    cmp -s "$work/window-zh.png" "$work/window-en.png" && fail "the language button changed nothing"
    # Configure: sends the form as it is, the module's own values, which Linux kestrelctl reads back unchanged.
    "$linux/cli/kestrelctl" export 02004B530002 -o "$work/before.json" || fail "kestrelctl export before Configure"
    click "$id" "${configureButton[@]}"
    waitFor 'grep -q "configured 02004B530002 from 10.231.0.1" "$work/sim.log"' ||
        fail "Configure did not reach the module: $(cat "$work/sim.log")"
    "$linux/cli/kestrelctl" export 02004B530002 -o "$work/after.json" || fail "kestrelctl export after Configure"
    cmp "$work/before.json" "$work/after.json" ||
        fail "the window's Configure changed what the module holds: $(diff "$work/before.json" "$work/after.json")"
    cp "$work/window-zh.png" "$root/docs/window-windows.png"
    cp "$work/window-en.png" "$root/docs/window-windows-en.png"
    step "wrote docs/window-windows.png and docs/window-windows-en.png"
    echo "kestrel-sim's log:"
    sed 's/^/    /' "$work/sim.log"
    step "passed"
}


winPath() { printf 'Z:%s' "${1//\//\\}"; }

startSim() {
    "$linux/sim/kestrel-sim" --count 3 --state "$1" >"$work/sim.log" 2>&1 &
    sim=$!
    waitFor 'ss -H -u -l -n "sport = :1500" | grep -q .' || fail "kestrel-sim did not start: $(cat "$work/sim.log")"
}

stopSim() {
    kill "$sim" && wait "$sim" || true
    sim=""
}

stopAll() {
    local pid
    for pid in $window $sim; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}

if [ "${1:-}" = --inside ]; then
    shift
    linux=$2
    inside "$@"
    exit 0
fi

[ $# -eq 2 ] || { echo "usage: $0 WINDOWS_BUILD LINUX_BUILD" >&2; exit 2; }
win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
for tool in wine wineserver xvfb-run xdotool import convert makensis; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/install-deps.sh --windows installs it)"
done
exec "$root/scripts/netns-run.sh" xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/test-windows.sh" \
    --inside "$win" "$linux"
