#!/usr/bin/env bash
# Runs a command inside a private network namespace of its own, so that the
# tool's broadcasts on port 1500 reach only sockets in that namespace and never
# the machine's real network.
#
#   scripts/netns-run.sh COMMAND [ARGS...]
#
# What COMMAND sees (with KESTREL_NETNS=inside in its environment):
#   lo    up: 127.0.0.1/8, and 10.231.0.2/32, a second address of this
#         namespace for tests that play another host (what is sent from it
#         leaves through lo)
#   kst0  10.231.0.1/24 broadcast 10.231.0.255, the default route; the one
#         broadcast-capable interface. Its veth peer kst1 has no address and
#         sits in the namespace kst-peer, so a broadcast to 255.255.255.255
#         leaves kst0 once and every socket in here gets exactly one copy (the
#         kernel loops it back), the sender's own socket included.
#
# Every call unshares a new network namespace (as root directly, otherwise
# inside a user namespace); no argument or environment variable skips that.
# Before touching anything the new namespace must prove it is fresh: its only
# interface is a down loopback without addresses, and it has no routes.
# Named namespaces live on a private /run/netns in a mount namespace made for
# this run, so nothing is left behind on the machine.
#
# scripts/netns-segments.sh sources this file for the functions below.
set -euo pipefail

# Execs "LAYOUT ARGS..." (a function of SCRIPT) in a network namespace made now.
run_in_new_network_namespace() {
    local script=$1
    shift
    local stage='. "$0"; enter_fresh_namespace "$@"'
    if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
        exec unshare --net -- bash -c "$stage" "$script" "$@"
    elif unshare --user --map-root-user --net true 2>/dev/null; then
        exec unshare --user --map-root-user --net -- bash -c "$stage" "$script" "$@"
    fi
    echo "$(basename "$script"): cannot create a private network namespace (needs root, or user namespaces)" >&2
    exit 1
}

# The inner stage, running as the first thing in the new network namespace:
# refuses unless the namespace is fresh, then makes a mount namespace for the
# private /run/netns right here, so no way into the layout skips either.
# $0 is the script that defines LAYOUT.
#   enter_fresh_namespace LAYOUT ARGS...
enter_fresh_namespace() {
    require_fresh_namespace || exit 1
    exec unshare --mount --propagation private -- \
        bash -c '. "$0"; mount_private_netns_dir; "$@"' "$0" "$@"
}

# A network namespace the kernel has just made holds one interface, loopback,
# down, and no addresses or routes. Anything else was not made for us.
#   require_fresh_namespace [NAME]   (NAME: a namespace under /run/netns)
require_fresh_namespace() {
    local where=() what="this network namespace"
    if [ $# -gt 0 ]; then
        where=(-n "$1")
        what="network namespace $1"
    fi
    local families=(-4) links addresses routes
    if [ -e /proc/net/if_inet6 ]; then # the kernel may have been started without IPv6
        families+=(-6)
    fi
    if ! links=$(ip "${where[@]}" -o link show) ||
        ! addresses=$(ip "${where[@]}" -o address show) ||
        ! routes=$(for family in "${families[@]}"; do ip "${where[@]}" "$family" route show table all || exit; done); then
        echo "$0: refusing to set up interfaces: cannot inspect $what" >&2
        return 1
    fi
    local why=""
    if [[ $links == *$'\n'* || ! $links =~ ^1:\ lo:\ \<LOOPBACK\>\  ]]; then
        why="its interfaces are not just a down loopback:"$'\n'"$links"
    elif [ -n "$addresses" ]; then
        why="it has addresses:"$'\n'"$addresses"
    elif [ -n "$routes" ]; then
        why="it has routes:"$'\n'"$routes"
    fi
    if [ -n "$why" ]; then
        echo "$0: refusing to set up interfaces: $what is not freshly made, $why" >&2
        return 1
    fi
}

# Gives `ip netns` an empty /run/netns of this mount namespace only. When the
# machine has no /run/netns, creating one there would leave a trace, so /run
# itself is replaced by a tmpfs that shows the machine's entries again (bound
# from the hidden directory, still reachable as the working directory).
mount_private_netns_dir() {
    if [ -d /run/netns ]; then
        mount -n -t tmpfs -o mode=0755 kestrel-netns /run/netns
    else
        (
            cd /run
            mount -n -t tmpfs -o mode=0755 kestrel-run /run
            for entry in * .[!.]*; do
                if [ -L "$entry" ]; then
                    cp -P "$entry" "/run/$entry"
                elif [ -d "$entry" ]; then
                    mkdir -p "/run/$entry"
                    mount -n --no-canonicalize --rbind "$entry" "/run/$entry"
                elif [ -e "$entry" ]; then
                    : >"/run/$entry"
                    mount -n --no-canonicalize --bind "$entry" "/run/$entry"
                fi
            done
            mkdir /run/netns
        )
    fi
    if [ -n "$(ls -A /run/netns)" ]; then
        echo "$0: refusing to continue: the private /run/netns is not empty" >&2
        exit 1
    fi
}

# A named namespace made here and now, proven fresh before it is used.
add_fresh_namespace() {
    ip netns add "$1"
    require_fresh_namespace "$1" || exit 1
}

# A veth end starts running a moment after both ends are up (the kernel settles
# the link state asynchronously), and programs that pick their adapters at start
# must find it running.
#   wait_until_running [-n NAME] INTERFACE
wait_until_running() {
    local interface=${!#} tries
    for ((tries = 0; tries < 500; ++tries)); do
        if ip "${@:1:$#-1}" -o link show | grep -q "^[0-9]*: $interface[@:].* state UP "; then
            return 0
        fi
        sleep 0.01
    done
    echo "$0: interface $interface did not start running" >&2
    exit 1
}

single_segment_layout() {
    add_fresh_namespace kst-peer
    ip link set lo up
    ip address add 10.231.0.2/32 dev lo
    ip link add kst0 type veth peer name kst1 netns kst-peer
    ip -n kst-peer link set kst1 up
    ip address add 10.231.0.1/24 broadcast + dev kst0
    ip link set kst0 up
    ip route add default dev kst0
    wait_until_running kst0
    export KESTREL_NETNS=inside
    exec "$@"
}

# Run as a program (not sourced by netns-segments.sh).
if ! (return 0 2>/dev/null); then
    if [ $# -eq 0 ]; then
        echo "usage: $0 COMMAND [ARGS...]" >&2
        exit 2
    fi
    run_in_new_network_namespace "${BASH_SOURCE[0]}" single_segment_layout "$@"
fi
