#!/usr/bin/env bash
# The network lab script: what it builds, what it passes through, and that it
# leaves nothing behind after success, failure, an error and a signal.
#   tst_netlab.sh NETLAB DEVSIM
set -uo pipefail

netlab=$1
devsim=$2
skip=77

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the network lab needs root"
    exit $skip
fi

# Our own prefix, so that lab runs of other tests running at the same time are
# neither counted nor disturbed.
export KVX_LAB_PREFIX=kvxt$$
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
checks=0

section() {
    current=$1
    echo "== $current"
}
fail() {
    echo "FAIL: $current: $*"
    failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
    checks=$((checks + 1))
    "${@:2}" || fail "$1"
}
leftovers() {
    ip netns list | awk '{print $1}' | grep "^$KVX_LAB_PREFIX-" || true
}
nothing_left() {
    local left
    left=$(leftovers)
    [ -z "$left" ] || { echo "  left behind: $left"; return 1; }
}
links_before=$(ip -o link show | awk -F': ' '{print $2}' | sort)
links_unchanged() {
    [ "$(ip -o link show | awk -F': ' '{print $2}' | sort)" = "$links_before" ]
}
dead() { # dead PIDFILE: gone, or a zombie that only waits for its reaper
    local pid state
    pid=$(cat "$1" 2>/dev/null) || return 1
    [ -n "$pid" ] || return 1
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 0
    [ -z "$state" ] || [ "$state" = Z ]
}
wait_for_namespaces() {
    for _ in $(seq 100); do
        [ "$(leftovers | wc -l)" -eq 2 ] && return 0
        sleep 0.05
    done
    return 1
}

section "probe"
"$netlab" --units 1 -- true 2>"$work/probe.err"
status=$?
if [ $status -eq $skip ]; then
    echo "SKIP: $(cat "$work/probe.err")"
    exit $skip
fi
check "a trivial run succeeds (status $status)" test $status -eq 0

section "success"
"$netlab" --units 3 --device "echo \$\$ > $work/device.pid; exec sleep 300" -- bash -c '
    set -e
    for i in $(seq 100); do [ -s '"$work"'/device.pid ] && break; sleep 0.05; done
    echo "$KVX_LAB_NS_UPD $KVX_LAB_NS_DEV" > '"$work"'/names
    echo "$KVX_LAB_UPDATER_ADDR|$KVX_LAB_DEVICE_ADDRS|$KVX_LAB_UPD_IFACE|$KVX_LAB_DEV_IFACE" > '"$work"'/env
    ip -4 -o addr show > '"$work"'/upd.addr
    ip route show > '"$work"'/upd.route
    ip netns exec "$KVX_LAB_NS_DEV" ip -4 -o addr show > '"$work"'/dev.addr
    # Processes the command starts on the device side are ended with the lab.
    ip netns exec "$KVX_LAB_NS_DEV" sleep 300 &
    echo $! > '"$work"'/started.pid
    # A unit at the last address answers over the veth pair.
    ip netns exec "$KVX_LAB_NS_DEV" '"$devsim"' --unit 10.77.0.12 > '"$work"'/devsim.out &
    for i in $(seq 100); do grep -q ready '"$work"'/devsim.out && break; sleep 0.05; done
    exec 3<>/dev/tcp/10.77.0.12/54726
    printf "\r\n" >&3
    read -r -t 5 -n 15 -u 3 prompt
    echo "$prompt" > '"$work"'/prompt
'
status=$?
check "exit status 0 (got $status)" test $status -eq 0
check "names are set and distinct" grep -Eq "^$KVX_LAB_PREFIX-[0-9]+-[0-9]+-upd $KVX_LAB_PREFIX-[0-9]+-[0-9]+-dev$" "$work/names"
check "exported addresses and interfaces" grep -qx "10.77.0.1|10.77.0.10 10.77.0.11 10.77.0.12|kvxlab-upd|kvxlab-dev" "$work/env"
check "updater address with broadcast" grep -q "kvxlab-upd *inet 10.77.0.1/24 brd 10.77.0.255" "$work/upd.addr"
check "updater side has loopback and the veth only" test "$(wc -l < "$work/upd.addr")" -eq 2
check "multicast leaves by the veth" grep -q "^224.0.0.0/4 dev kvxlab-upd" "$work/upd.route"
check "three device addresses" test "$(grep -c 'kvxlab-dev *inet 10.77.0.1[0-2]/24' "$work/dev.addr")" -eq 3
check "unit reachable over the veth" grep -qx "Enter Password:" "$work/prompt"
check "device command ended" dead "$work/device.pid"
check "processes started on the device side ended" dead "$work/started.pid"
check "namespaces removed" nothing_left
check "no link appeared here" links_unchanged

section "default units"
"$netlab" -- bash -c 'set -- $KVX_LAB_DEVICE_ADDRS; echo "$# $1 ${!#}"; ip netns exec "$KVX_LAB_NS_DEV" ip -4 -o addr show | grep -c "kvxlab-dev"' > "$work/default"
check "50 addresses from 10.77.0.10 to 10.77.0.59" test "$(tr '\n' ' ' < "$work/default")" = "50 10.77.0.10 10.77.0.59 50 "
check "namespaces removed" nothing_left

section "failure"
"$netlab" --units 2 --device "echo \$\$ > $work/device2.pid; exec sleep 300" -- \
    bash -c "for i in \$(seq 100); do [ -s $work/device2.pid ] && break; sleep 0.05; done; exit 7"
status=$?
check "exit status passes through (got $status)" test $status -eq 7
check "device command ended" dead "$work/device2.pid"
check "namespaces removed" nothing_left
"$netlab" --units 1 -- /nonexistent/program 2>/dev/null
status=$?
check "a command that cannot start fails (got $status)" test $status -ne 0
check "namespaces removed" nothing_left

section "error during set-up"
KVX_NETLAB_INJECT_FAILURE=1 "$netlab" --units 2 -- true 2>"$work/inject.err"
status=$?
check "exit status 1 (got $status)" test $status -eq 1
check "the error is reported" grep -q "failure injected" "$work/inject.err"
check "namespaces removed" nothing_left

section "usage"
"$netlab" --units 0 -- true 2>/dev/null
check "--units 0 is refused" test $? -eq 2
"$netlab" --units 3 2>/dev/null
check "a missing command is refused" test $? -eq 2
check "namespaces removed" nothing_left

for signal in TERM INT; do
    section "SIG$signal"
    set -m # its own process group, so that the background run does not ignore SIGINT
    "$netlab" --units 2 --device "echo \$\$ > $work/sig-device.pid; exec sleep 300" -- \
        bash -c "echo \$\$ > $work/sig-main.pid; ip netns exec \"\$KVX_LAB_NS_DEV\" sleep 300 & echo \$! > $work/sig-started.pid; exec sleep 300" &
    lab=$!
    set +m
    check "namespaces made" wait_for_namespaces
    for _ in $(seq 100); do [ -s "$work/sig-started.pid" ] && [ -s "$work/sig-device.pid" ] && break; sleep 0.05; done
    kill -"$signal" $lab
    wait $lab
    status=$?
    expected=$((128 + $(kill -l "$signal")))
    check "exit status $expected (got $status)" test $status -eq $expected
    check "main command ended" dead "$work/sig-main.pid"
    check "device command ended" dead "$work/sig-device.pid"
    check "processes started on the device side ended" dead "$work/sig-started.pid"
    check "namespaces removed" nothing_left
    check "no link appeared here" links_unchanged
    rm -f "$work"/sig-*.pid
done

section "runs at once"
for i in 1 2 3; do
    "$netlab" --units 4 -- bash -c "echo \$KVX_LAB_NS_UPD > $work/par$i; sleep 0.5" &
    pids[i]=$!
done
for i in 1 2 3; do
    wait ${pids[i]}
    check "run $i succeeds" test $? -eq 0
done
check "three distinct names" test "$(cat "$work"/par1 "$work"/par2 "$work"/par3 | sort -u | wc -l)" -eq 3
check "namespaces removed" nothing_left

section "stale names"
stale_pid=$(( $(cat /proc/sys/kernel/pid_max) - 1 ))
if [ ! -d /proc/$stale_pid ]; then
    ip netns add "$KVX_LAB_PREFIX-$stale_pid-1-upd"
    ip netns add "$KVX_LAB_PREFIX-$stale_pid-1-dev"
    ip netns add "$KVX_LAB_PREFIX-$$-2-upd" # its creator (this script) lives: kept
    "$netlab" --units 1 -- true
    check "names of a killed run are removed" test -z "$(leftovers | grep -- "-$stale_pid-")"
    check "names of a live run are kept" test -n "$(leftovers | grep -- "-$$-2-upd")"
    ip netns delete "$KVX_LAB_PREFIX-$$-2-upd"
    check "namespaces removed" nothing_left
fi

section "without root"
if command -v setpriv >/dev/null && su nobody -s /bin/sh -c "test -x '$netlab'" 2>/dev/null; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$netlab" -- true 2>"$work/user.err"
    status=$?
    check "a plain user is skipped (got $status)" test $status -eq $skip
    check "and told why" grep -q "needs root" "$work/user.err"
fi
unshare --user --map-root-user "$netlab" -- true 2>"$work/userns.err"
status=$?
check "root without privileges is skipped (got $status)" test $status -eq $skip
check "and told why" grep -q "cannot create a network namespace" "$work/userns.err"
check "namespaces removed" nothing_left

echo "$checks checks, $failures failed"
[ $failures -eq 0 ]
