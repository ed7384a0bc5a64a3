#!/usr/bin/env bash
# Runs a command inside a private network namespace of its own, so that the
# tool's broadcasts on port 1500 reach only sockets in that namespace and never
# the machine's real network.
#
# Inside: loopback up and a veth pair kst0/kst1 (10.231.0.1/24, 10.231.0.2/24)
# with the default route through kst0, which is where a limited broadcast
# (255.255.255.255) leaves and is looped back to every socket bound in here.
#
#   scripts/netns-run.sh COMMAND [ARGS...]
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

if [ "${KESTREL_NETNS:-}" != "inside" ]; then
    if [ "$(id -u)" -eq 0 ]; then
        exec env KESTREL_NETNS=inside unshare --net -- "$0" "$@"
    elif unshare --user --map-root-user --net true 2>/dev/null; then
        exec env KESTREL_NETNS=inside unshare --user --map-root-user --net -- "$0" "$@"
    else
        echo "$0: cannot create a private network namespace (needs root, or user namespaces)" >&2
        exit 1
    fi
fi

# Refuse to touch the interfaces of a namespace that is not freshly our own.
if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net 2>/dev/null || true)" ]; then
    echo "$0: not inside a private network namespace; refusing to set up interfaces" >&2
    exit 1
fi

ip link set lo up
if ! ip link show kst0 >/dev/null 2>&1; then
    ip link add kst0 type veth peer name kst1
    ip addr add 10.231.0.1/24 dev kst0
    ip addr add 10.231.0.2/24 dev kst1
    ip link set kst0 up
    ip link set kst1 up
    ip route add default via 10.231.0.2 dev kst0
fi
exec "$@"
