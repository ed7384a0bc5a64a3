#!/usr/bin/env bash
# Starts the configure window. Without a display Qt would abort with a cryptic
# message, so say what is wrong and how to run it under Xvfb instead.
set -euo pipefail
program="$1"
shift || true

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<MSG
No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open.
Run it on a desktop session, or under a virtual display:
    xvfb-run -a -s "-screen 0 1024x768x24" $program
To see it at work without a display, \`make demo\` searches three simulated
modules on a virtual display and writes a screenshot.
MSG
    exit 1
fi
exec "$program" "$@"
