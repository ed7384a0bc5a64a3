#!/usr/bin/env bash
# Runs a command in a private network namespace (made and checked exactly as by
# netns-run.sh) that sits on several Ethernet segments, one per adapter, for
# tests of a tool that must reach modules on every adapter.
#
#   scripts/netns-segments.sh [--segments N] [--no-default-route] COMMAND [ARGS...]
#
# N defaults to 2 (1 to 254). For each segment k a veth pair joins:
#   the tool's namespace (COMMAND's):  kseg<k>   10.231.<k>.1/24 broadcast 10.231.<k>.255
#   the namespace seg<k>:              kpeer<k>  10.231.<k>.2/24, default route via 10.231.<k>.1
# The tool's namespace has lo (127.0.0.1) and a default route via 10.231.1.2 on
# kseg1, unless --no-default-route; seg<k> has lo up as well. A broadcast sent
# through kseg<k> reaches seg<k> once and no other segment.
# COMMAND gets KESTREL_NETNS=inside and KESTREL_SEGMENTS=N; it starts a program
# on segment k with scripts/segment-exec.sh K PROGRAM [ARGS...].
# The seg<k> names live on a private /run/netns that vanishes with the run.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/netns-run.sh"

segments_layout() {
    local count=$1 default_route=$2
    shift 2
    ip link set lo up
    local k
    for ((k = 1; k <= count; ++k)); do
        add_fresh_namespace "seg$k"
        ip -n "seg$k" link set lo up
        ip link add "kseg$k" type veth peer name "kpeer$k" netns "seg$k"
        ip address add "10.231.$k.1/24" broadcast + dev "kseg$k"
        ip link set "kseg$k" up
        ip -n "seg$k" address add "10.231.$k.2/24" broadcast + dev "kpeer$k"
        ip -n "seg$k" link set "kpeer$k" up
        ip -n "seg$k" route add default via "10.231.$k.1" dev "kpeer$k"
    done
    if [ "$default_route" = yes ]; then
        ip route add default via 10.231.1.2 dev kseg1
    fi
    for ((k = 1; k <= count; ++k)); do
        wait_until_running "kseg$k"
        wait_until_running -n "seg$k" "kpeer$k"
    done
    export KESTREL_NETNS=inside KESTREL_SEGMENTS=$count
    exec "$@"
}

if ! (return 0 2>/dev/null); then
    usage="usage: $0 [--segments N] [--no-default-route] COMMAND [ARGS...]"
    count=2
    default_route=yes
    while [ $# -gt 0 ]; do
        case "$1" in
        --segments)
            if [ $# -lt 2 ] || ! [[ $2 =~ ^[1-9][0-9]{0,2}$ ]] || [ "$2" -gt 254 ]; then
                echo "$0: --segments takes a number from 1 to 254" >&2
                exit 2
            fi
            count=$2
            shift 2
            ;;
        --no-default-route)
            default_route=no
            shift
            ;;
        --)
            shift
            break
            ;;
        -*)
            echo "$usage" >&2
            exit 2
            ;;
        *) break ;;
        esac
    done
    if [ $# -eq 0 ]; then
        echo "$usage" >&2
        exit 2
    fi
    run_in_new_network_namespace "${BASH_SOURCE[0]}" segments_layout "$count" "$default_route" "$@"
fi
