#!/usr/bin/env bash
# Runs a program built for Windows under wine, with the Qt and MinGW runtime DLLs on its search path, in a wine
# prefix of the build's own (made on first use). CTest runs each Windows test through it
# (CMAKE_CROSSCOMPILING_EMULATOR); scripts/test-windows.sh runs the programs through it, always inside a private
# network namespace (scripts/netns-run.sh).
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
# Environment: WINEPREFIX (default: $KESTREL_WINE_BUILD/wineprefix, KESTREL_WINE_BUILD defaulting to build-win64
# beside this script's tree), KESTREL_QT_WIN_PREFIX (the Qt for Windows).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_WINE_BUILD:-$root/build-win64}
qt=${KESTREL_QT_WIN_PREFIX:-/var/cache/kestrel/qt-5.15.8-win64}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64

# Wine's "Z:" drive is the machine's root: the DLLs are found where they are installed.
to_windows() { printf 'Z:%s' "${1//\//\\}"; }
mingw_runtime=(/usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
paths=("$(to_windows "$qt/bin")")
for dir in "${mingw_runtime[@]}"; do
    paths+=("$(to_windows "$dir")")
done
WINEPATH=$(IFS=';'; echo "${paths[*]}")
export WINEPATH
export QT_PLUGIN_PATH=$(to_windows "$qt/plugins")

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    # Wine has none of Windows' dialog fonts, and what it falls back on draws lines twice as tall as Windows does,
    # which pushes the window's bottom row under its status bar. The CJK font the Linux pictures use stands in.
    for font in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "SimSun" "Microsoft YaHei" "Segoe UI"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "$font" \
            /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
    done
    wineserver --wait
fi

exec wine "$@"
