#!/usr/bin/env bash
# Checks scripts/netns-run.sh and scripts/netns-segments.sh from the outside:
# every call makes a new network namespace (no environment variable skips it),
# the inner stage refuses a namespace that is not freshly made and then changes
# nothing, the layouts hold the promised interfaces, and the namespace and /run
# they were called from stay as they were.
#
# The whole test runs in a throwaway network and mount namespace of its own,
# proven fresh before anything else, with a throwaway /run, so even a broken
# script can change nothing on the machine.
set -euo pipefail

scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)

if [ "${1:-}" != --in-sandbox ]; then
    if [ "$(id -u)" -eq 0 ]; then
        exec unshare --net --mount --propagation private -- bash "${BASH_SOURCE[0]}" --in-sandbox
    fi
    exec unshare --user --map-root-user --net --mount --propagation private -- bash "${BASH_SOURCE[0]}" --in-sandbox
fi

# Whatever the first argument said, go on only where a mistake cannot reach the
# machine: a network namespace with nothing but a down loopback.
links=$(ip -o link show)
if [[ $links == *$'\n'* || $links != "1: lo: <LOOPBACK> "* ]]; then
    echo "FAIL: not inside a fresh sandbox namespace; refusing to run" >&2
    exit 1
fi

# The scripts write only below /run; here that is a tmpfs of the sandbox, so a
# broken script cannot leave anything in the machine's /run either.
mount -n -t tmpfs sandbox-run /run

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

pass() { echo "PASS: $1"; }
fail() {
    echo "FAIL: $1" >&2
    failures=$((failures + 1))
}
expect_equal() { # NAME ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        pass "$1"
    else
        fail "$1"$'\n'"  actual:   ${2//$'\n'/$'\n'            }"$'\n'"  expected: ${3//$'\n'/$'\n'            }"
    fi
}

# Everything a namespace holds that the scripts could change.
net_state() {
    ip -o link show | sed 's/ link\/.*//'
    ip -o address show
    ip -4 route show table all
    ip -6 route show table all
}

# A fresh namespace nested in the sandbox, prepared by PREPARE; there the inner
# stage of netns-run.sh is called directly, as if unshare had just run.
# Leaves rc, stderr, before, after and (if the command ran) ran in DIR.
run_inner_stage() { # SCRIPTS PREPARE DIR
    eval "$2"
    net_state >"$3/before"
    local rc=0
    bash -c '. "$0"; enter_fresh_namespace single_segment_layout touch "$1"' \
        "$1/netns-run.sh" "$3/ran" 2>"$3/stderr" || rc=$?
    echo "$rc" >"$3/rc"
    net_state >"$3/after"
}

# Interfaces with their flags and state, IPv4 addresses and routes, without
# what varies from run to run (peer indexes, MAC addresses, lifetimes).
describe_namespace() {
    ip -o link show | sed 's/@[^:]*:/:/; s/ mtu .* state \([A-Z]*\) .*/ \1/'
    ip -o -4 address show | sed 's/\\ *valid_lft.*//'
    ip -4 route show
}

sandbox_state=$(net_state)
sandbox_netns=$(readlink /proc/self/ns/net)

# --- The inner stage refuses a namespace it cannot prove fresh ----------------
refusal_cases=(
    "loopback up|ip link set lo up"
    "a second interface|ip link add probe0 type veth peer name probe1"
    "an address on the down loopback|ip address add 192.0.2.1/32 dev lo"
    "an address without its route|ip address add 192.0.2.1/32 dev lo && ip route del local 192.0.2.1 table local"
    "an IPv4 route|ip route add unreachable 198.51.100.0/24"
    "an IPv6 route|ip -6 route add unreachable 2001:db8::/32"
)
for entry in "${refusal_cases[@]}"; do
    name=${entry%%|*}
    prepare=${entry#*|}
    dir=$work/refusal-${name// /-}
    mkdir "$dir"
    unshare --net -- bash -c "$(declare -f net_state run_inner_stage); run_inner_stage \"\$@\"" \
        case "$scripts" "$prepare" "$dir"
    expect_equal "inner stage refuses a namespace with $name: exit status" "$(cat "$dir/rc")" 1
    if grep -q "refusing to set up interfaces" "$dir/stderr"; then
        pass "inner stage refuses a namespace with $name: says why"
    else
        fail "inner stage refuses a namespace with $name: no refusal message in: $(cat "$dir/stderr")"
    fi
    [ ! -e "$dir/ran" ] && pass "inner stage refuses a namespace with $name: command not run" ||
        fail "inner stage refuses a namespace with $name: the command ran"
    expect_equal "inner stage refuses a namespace with $name: namespace unchanged" \
        "$(cat "$dir/after")" "$(cat "$dir/before")"
done

# The same stage goes ahead in a namespace that is fresh, so the refusals above
# come from what was prepared.
dir=$work/fresh
mkdir "$dir"
unshare --net -- bash -c "$(declare -f net_state run_inner_stage); run_inner_stage \"\$@\"" \
    case "$scripts" "" "$dir"
expect_equal "inner stage sets up a fresh namespace: exit status" "$(cat "$dir/rc")" 0
[ -e "$dir/ran" ] && pass "inner stage sets up a fresh namespace: command ran" ||
    fail "inner stage sets up a fresh namespace: the command did not run: $(cat "$dir/stderr")"

# A named namespace is checked the same way before a layout uses it.
named=$(unshare --net --mount --propagation private -- bash -c '
    mount -n -t tmpfs probe /run && mkdir /run/netns && ip netns add used && ip -n used link set lo up &&
    . "$0" && if require_fresh_namespace used 2>/dev/null; then echo accepted; else echo refused; fi
' "$scripts/netns-run.sh")
expect_equal "a named namespace with loopback up is refused" "$named" refused

# --- No environment variable skips unshare ------------------------------------
for script in netns-run.sh netns-segments.sh; do
    seen=$(KESTREL_NETNS=inside KESTREL_SEGMENTS=2 "$scripts/$script" bash -c \
        'readlink /proc/self/ns/net; echo "$KESTREL_NETNS"') || seen+=$'\n'"exit status $?"
    if [ "$(head -n1 <<<"$seen")" != "$sandbox_netns" ]; then
        pass "$script with KESTREL_NETNS=inside still runs the command in a new namespace"
    else
        fail "$script with KESTREL_NETNS=inside ran the command in the caller's namespace"
    fi
    expect_equal "$script exports KESTREL_NETNS=inside" "$(tail -n1 <<<"$seen")" inside
    expect_equal "$script leaves the caller's namespace as it was" "$(net_state)" "$sandbox_state"
done

# --- The one-segment layout ---------------------------------------------------
seen=$("$scripts/netns-run.sh" bash -c "$(declare -f describe_namespace); describe_namespace; ip netns list") ||
    seen+=$'\n'"exit status $?"
expect_equal "netns-run.sh layout" "$seen" "1: lo: <LOOPBACK,UP,LOWER_UP> UNKNOWN
2: kst0: <BROADCAST,MULTICAST,UP,LOWER_UP> UP
1: lo    inet 127.0.0.1/8 scope host lo
1: lo    inet 10.231.0.2/32 scope global lo
2: kst0    inet 10.231.0.1/24 brd 10.231.0.255 scope global kst0
default dev kst0 scope link 
10.231.0.0/24 dev kst0 proto kernel scope link src 10.231.0.1 
kst-peer (id: 0)"

# --- The segments layout ------------------------------------------------------
seen=$("$scripts/netns-segments.sh" --segments 3 bash -c '
    eval "$1"
    echo "segments $KESTREL_SEGMENTS"
    describe_namespace
    for k in 1 2 3; do
        "$0/segment-exec.sh" "$k" bash -c "$1; echo segment \$KESTREL_SEGMENT; describe_namespace"
    done' "$scripts" "$(declare -f describe_namespace)") || seen+=$'\n'"exit status $?"
expected="segments 3
1: lo: <LOOPBACK,UP,LOWER_UP> UNKNOWN
2: kseg1: <BROADCAST,MULTICAST,UP,LOWER_UP> UP
3: kseg2: <BROADCAST,MULTICAST,UP,LOWER_UP> UP
4: kseg3: <BROADCAST,MULTICAST,UP,LOWER_UP> UP
1: lo    inet 127.0.0.1/8 scope host lo
2: kseg1    inet 10.231.1.1/24 brd 10.231.1.255 scope global kseg1
3: kseg2    inet 10.231.2.1/24 brd 10.231.2.255 scope global kseg2
4: kseg3    inet 10.231.3.1/24 brd 10.231.3.255 scope global kseg3
default via 10.231.1.2 dev kseg1 
10.231.1.0/24 dev kseg1 proto kernel scope link src 10.231.1.1 
10.231.2.0/24 dev kseg2 proto kernel scope link src 10.231.2.1 
10.231.3.0/24 dev kseg3 proto kernel scope link src 10.231.3.1 "
for k in 1 2 3; do
    expected+="
segment $k
1: lo: <LOOPBACK,UP,LOWER_UP> UNKNOWN
2: kpeer$k: <BROADCAST,MULTICAST,UP,LOWER_UP> UP
1: lo    inet 127.0.0.1/8 scope host lo
2: kpeer$k    inet 10.231.$k.2/24 brd 10.231.$k.255 scope global kpeer$k
default via 10.231.$k.1 dev kpeer$k 
10.231.$k.0/24 dev kpeer$k proto kernel scope link src 10.231.$k.2 "
done
expect_equal "netns-segments.sh --segments 3 layout" "$seen" "$expected"

seen=$("$scripts/netns-segments.sh" --no-default-route bash -c \
    'echo "$KESTREL_SEGMENTS"; ip -4 route show default; ip -o link show kseg2 >/dev/null && echo kseg2') || seen+=$'\n'"exit status $?"
expect_equal "netns-segments.sh --no-default-route: two segments, no default route" "$seen" "2
kseg2"

for segment in 0 3 x; do
    rc=0
    "$scripts/netns-segments.sh" "$scripts/segment-exec.sh" "$segment" true 2>/dev/null || rc=$?
    expect_equal "segment-exec.sh refuses segment '$segment' of two" "$rc" 2
done
rc=0
"$scripts/segment-exec.sh" 1 true 2>/dev/null || rc=$?
expect_equal "segment-exec.sh refuses to run outside netns-segments.sh" "$rc" 1

for count in 0 255 x ""; do
    rc=0
    "$scripts/netns-segments.sh" --segments $count touch "$work/ran" 2>/dev/null || rc=$?
    expect_equal "netns-segments.sh refuses --segments '$count'" "$rc" 2
done
[ ! -e "$work/ran" ] && pass "a refused --segments runs nothing" || fail "a refused --segments ran the command"

# --- /run/netns stays private, whether or not the machine has one --------------
# The sandbox gets its own /run (an entry to keep visible, a netns directory or
# none) and must look the same afterwards.
for machine in "without /run/netns" "with /run/netns"; do
    seen=$(unshare --mount --propagation private -- bash -c '
        mount -n -t tmpfs probe /run
        mkdir /run/kept && echo visible >/run/kept/file && ln -s kept /run/link
        if [ "$1" = "with /run/netns" ]; then mkdir /run/netns && : >/run/netns/foreign; fi
        before=$(ls -AlR --time-style=+ /run)
        "$0/netns-segments.sh" bash -c "cat /run/kept/file /run/link/file; ls -A /run/netns | tr \"\\n\" \" \"; echo"
        "$0/netns-run.sh" bash -c "ls -A /run/netns"
        [ "$(ls -AlR --time-style=+ /run)" = "$before" ] && echo unchanged || echo changed
    ' "$scripts" "$machine") || seen+=$'\n'"exit status $?"
    expect_equal "$machine: the command sees /run and only its own namespaces, /run is left as it was" \
        "$seen" "visible
visible
seg1 seg2 
kst-peer
unchanged"
done

expect_equal "the sandbox namespace is as it was" "$(net_state)" "$sandbox_state"
if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
