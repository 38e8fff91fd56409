#!/usr/bin/env bash
# Fault soak: rounds of 48 simulated units with injected faults, updated through
# the real window by one updater process, checked after every round; one round
# (the last, unless told otherwise) under an SSDP flood. Not part of ./test.sh.
#
#   tools/soak.sh ROUNDS [--seed S] [--first-round R] [--flood-round R|0]
#                        [--flood-rate N] [--reply-timeout-ms MS]
#
# Builds kvx-soak and kvx-devsim if needed (build dir: $KVX_BUILD_DIR or
# build/), then runs the soak in the network lab (tools/netlab/netlab, root
# needed) inside a fresh network namespace, so nothing reaches this machine's
# network. Exit status 0 when every round passed its checks. Every round prints
# the command that replays it alone.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: tools/soak.sh ROUNDS [--seed S] [kvx-soak options, see --help]" >&2
    exit 2
}
[ $# -ge 1 ] || usage
rounds=$1
shift
[[ $rounds =~ ^[0-9]+$ ]] && ((rounds >= 1)) || usage
if [ "$(id -u)" -ne 0 ]; then
    echo "tools/soak.sh: the network lab needs root" >&2
    exit 77
fi

build=${KVX_BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! log=$(cmake --build "$build" -j2 --target kvx-soak kvx-devsim 2>&1); then
    echo "$log" >&2
    exit 1
fi
build=$(cd "$build" && pwd)

export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
export KVX_DEVSIM=$build/tools/devsim/kvx-devsim
# 240 device addresses: five blocks of 48, one block per round in turn.
exec unshare --net tools/netlab/netlab --units 240 -- "$build/tools/soak/kvx-soak" --rounds "$rounds" "$@"
