#!/usr/bin/env bash
# The shipped code's folders include only downwards, and the check would see a
# folder that includes upwards or sideways.
set -uo pipefail
check=$(dirname "$0")/check_layers.sh
root=${1:?usage: tst_layers.sh SOURCE_DIR}
failures=0

if ! out=$(bash "$check" "$root"); then
    echo "FAIL: the source tree includes against the layer order:"
    echo "$out"
    failures=$((failures + 1))
else
    echo "PASS: the source tree"
fi

# The same check on small trees with one deliberate fault each.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
expect_fault() {
    local name=$1 folder=$2 include=$3
    rm -rf "${scratch:?}"/*
    mkdir -p "$scratch/$folder" "$scratch/core"
    printf '#include "core/logging.h"\n#include "%s"\n' "$include" >"$scratch/$folder/x.cpp"
    if bash "$check" "$scratch" >/dev/null; then
        echo "FAIL: $name was not reported"
        failures=$((failures + 1))
    else
        echo "PASS: $name is reported"
    fi
}
expect_fault "protocol including discovery (upwards)" protocol discovery/udpmm.h
expect_fault "core including app (upwards)" core app/main.h
expect_fault "discovery including filelist (sideways)" discovery filelist/binfilelist.h
expect_fault "device including the tests' helpers" device common/fakedevice.h

# And a tree that only includes downwards passes.
rm -rf "${scratch:?}"/*
mkdir -p "$scratch/cli" "$scratch/device"
printf '#include "device/udpcb.h"\n#include "core/logging.h"\n' >"$scratch/cli/x.cpp"
printf '#include "protocol/communication.h"\n' >"$scratch/device/x.cpp"
if bash "$check" "$scratch" >/dev/null; then
    echo "PASS: downward includes pass"
else
    echo "FAIL: downward includes were reported"
    failures=$((failures + 1))
fi

exit $((failures > 0))
