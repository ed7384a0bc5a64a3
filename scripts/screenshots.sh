#!/usr/bin/env bash
# Pictures of the real window beside simulated modules. kestrel-sim and the
# window run inside a private network namespace (scripts/netns-run.sh) on a
# virtual display of their own (Xvfb); xdotool presses "Search Device" and
# clicks the second module, and ImageMagick photographs the window in Chinese
# and, after the language button, in English; then, after "Configure" and the
# module's confirming answer, once more.
#
#   scripts/screenshots.sh [--count N] [--chinese FILE] [--english FILE] [--configured FILE] [BUILD_DIR]
#
# BUILD_DIR defaults to build. Without --chinese, --english and --configured it
# writes the README's pictures, docs/window-zh.png and docs/window-en.png, and
# docs/window-configured.png. The simulator's
# log is printed at the end. Same program, same fonts: same pictures, byte for
# byte, so regenerating them changes nothing that did not change.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/window-driving.sh
. "$root/scripts/window-driving.sh"

# Inside the table: a caption row, then one row per module, 18 and 31 pixels
# high here. These points stay inside the first and second module rows for
# other fonts too, as long as caption and rows stay between 23 and 34 pixels
# high (or the caption is lower, as here).
firstModuleRow=37
secondModuleRow=68
screen="1024x768x24"

usage="usage: $0 [--count N] [--chinese FILE] [--english FILE] [--configured FILE] [BUILD_DIR]"

fail() {
    echo "screenshots: $*" >&2
    exit 1
}

# Everything below this function runs inside the namespace, under Xvfb.
#   screenshots.sh --inside BUILD_DIR COUNT CHINESE_FILE ENGLISH_FILE CONFIGURED_FILE
inside() {
    local build=$1 count=$2 chinese=$3 english=$4 configured=$5
    # Global: the exit trap ends both programs whichever way this ends.
    work=$(mktemp -d)
    sim=""
    window=""
    trap stopAll EXIT

    # The pictures show the built-in key and Qt's own look, whatever this
    # user has configured.
    export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
    unset KESTREL_FRAME_KEY QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS \
        QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI

    "$build/sim/kestrel-sim" --count "$count" >"$work/sim.log" 2>&1 &
    sim=$!
    # Nothing else in this fresh namespace listens on port 1500.
    waitFor 'ss -H -u -l -n "sport = :1500" | grep -q .' || fail "kestrel-sim did not start: $(cat "$work/sim.log")"

    "$build/app/kestrel-configure" >"$work/window.log" 2>&1 &
    window=$!
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kestrel_ConfigureTool' | head -n 1) ||
        fail "the window did not appear: $(cat "$work/window.log")"
    settle "$id"
    local empty
    empty=$(windowChecksum "$id")

    click "$id" "${searchButton[@]}"
    # The simulator logs each search with the window's address (kst0 of the namespace), then answers at once.
    waitFor 'grep -qF 10.231.0.1 "$work/sim.log"' || fail "the simulator saw no search: $(cat "$work/sim.log")"
    settle "$id"
    local listed
    listed=$(windowChecksum "$id")
    [ "$listed" != "$empty" ] || fail "the window shows nothing new after the search"

    local row=$secondModuleRow
    [ "$count" -ge 2 ] || row=$firstModuleRow
    click "$id" $((tableLeft + 60)) $((tableTop + row))
    settle "$id"
    [ "$(windowChecksum "$id")" != "$listed" ] ||
        fail "clicking a module row changed nothing (the positions in scripts/window-driving.sh follow app/mainwindow.ui)"

    if [ -n "$chinese" ]; then
        photograph "$id" "$chinese"
        echo "screenshots: wrote $chinese"
    fi
    if [ -n "$english" ]; then
        click "$id" "${languageButton[@]}"
        settle "$id"
        photograph "$id" "$english"
        echo "screenshots: wrote $english"
    fi
    if [ -n "$configured" ]; then
        # The form as the module reported it, sent back; the simulator applies it and confirms the read-back.
        click "$id" "${configureButton[@]}"
        waitFor 'grep -qF "configured " "$work/sim.log"' || fail "the simulator took no configuration: $(cat "$work/sim.log")"
        sleep 1
        settle "$id"
        photograph "$id" "$configured"
        echo "screenshots: wrote $configured"
    fi

    echo "kestrel-sim's log:"
    sed 's/^/    /' "$work/sim.log"
}

stopAll() {
    local pid
    for pid in $window $sim; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}

if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
    exit 0
fi

count=3
chinese=""
english=""
configured=""
while [ $# -gt 0 ]; do
    case "$1" in
    --count)
        [ $# -ge 2 ] && [[ $2 =~ ^[1-9][0-9]*$ ]] || fail "--count takes a number of modules from 1"
        count=$2
        shift 2
        ;;
    --chinese | --english | --configured)
        [ $# -ge 2 ] && [ -n "$2" ] || fail "$1 takes a file name"
        declare "${1#--}=$(realpath -m -- "$2")"
        shift 2
        ;;
    -h | --help)
        echo "$usage"
        exit 0
        ;;
    -*)
        echo "$usage" >&2
        exit 2
        ;;
    *) break ;;
    esac
done
[ $# -le 1 ] || {
    echo "$usage" >&2
    exit 2
}
build=$(realpath -m -- "${1:-build}")
cd "$(dirname "$0")/.."
if [ -z "$chinese" ] && [ -z "$english" ] && [ -z "$configured" ]; then
    chinese=$PWD/docs/window-zh.png
    english=$PWD/docs/window-en.png
    configured=$PWD/docs/window-configured.png
fi

for program in "$build/sim/kestrel-sim" "$build/app/kestrel-configure"; do
    [ -x "$program" ] || fail "$program is not built (make build)"
done
for tool in xvfb-run xdotool import convert md5sum; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

exec scripts/netns-run.sh xvfb-run -a -s "-screen 0 $screen" "$PWD/scripts/screenshots.sh" \
    --inside "$build" "$count" "$chinese" "$english" "$configured"
