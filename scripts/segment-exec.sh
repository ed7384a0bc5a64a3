#!/usr/bin/env bash
# Starts a program on segment K of the namespace made by netns-segments.sh:
# it runs in the namespace seg<K> (interface kpeer<K>, 10.231.<K>.2/24) with
# KESTREL_SEGMENT=K added to its environment.
#
#   scripts/segment-exec.sh K PROGRAM [ARGS...]
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 K PROGRAM [ARGS...]" >&2
    exit 2
fi
segment=$1
shift
if [ "${KESTREL_NETNS:-}" != inside ] || ! [[ ${KESTREL_SEGMENTS:-} =~ ^[0-9]+$ ]]; then
    echo "$0: not inside scripts/netns-segments.sh" >&2
    exit 1
fi
if ! [[ $segment =~ ^[1-9][0-9]*$ ]] || [ "$segment" -gt "$KESTREL_SEGMENTS" ]; then
    echo "$0: there is no segment $segment (segments 1 to $KESTREL_SEGMENTS)" >&2
    exit 2
fi
export KESTREL_SEGMENT=$segment
exec ip netns exec "seg$segment" "$@"
