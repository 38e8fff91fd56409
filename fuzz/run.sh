#!/usr/bin/env bash
# Builds the libFuzzer harnesses and runs each one from its seed corpus.
#
#   fuzz/run.sh [seconds per harness] [harness ...]
#
# 30 seconds each by default (what ./test.sh runs); give 600 or more for a
# real search. The build goes to build-fuzz (KVX_FUZZ_BUILD_DIR). The committed
# seeds in fuzz/corpus/<harness>/ are only read: what the fuzzer finds goes to a
# scratch corpus in <build>/fuzz-work/<harness>/corpus, which later runs start
# from as well. Inputs that crash, leak, time out or run out of memory are kept
# in <build>/fuzz-work/<harness>/artifacts/ (emptied at the start of a run); to
# replay one: <build>/fuzz/<harness> <file>. Each run appends a line per harness
# to <build>/fuzz-work/history.tsv. The exit status is non-zero when any
# harness found anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
all=(fuzz_ssdpresponse fuzz_mixerprotocol fuzz_communication fuzz_clientfloor)
if (($#)); then
    harnesses=("$@")
else
    harnesses=("${all[@]}")
fi
build=${KVX_FUZZ_BUILD_DIR:-build-fuzz}

# Longest input per harness: a whole UDP datagram is up to 64 KB, but the
# parse's cost shows at a few KB already and short inputs run faster; the
# protocol harnesses encode long reads compactly (see their heads).
declare -A max_len=([fuzz_ssdpresponse]=16384 [fuzz_mixerprotocol]=4096 [fuzz_communication]=4096 [fuzz_clientfloor]=512)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DKVX_BUILD_FUZZ=ON -DKVX_SANITIZE=address,undefined -DKVX_WERROR="${KVX_WERROR:-OFF}" \
    -DKVX_BUILD_TESTS=OFF -DKVX_BUILD_TOOLS=OFF -DKVX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target kvx-fuzzers

# Like the test suite, the harnesses run in a network namespace of their own
# with only loopback.
if [ "$(id -u)" -eq 0 ]; then
    isolate=(unshare --net)
else
    isolate=(unshare --net --map-root-user)
fi

# The fast unwinder stays on: the slow one would cost most of the speed, and
# the harnesses start no GUI, whose leaks are what the suppressions need whole
# stacks for.
supp=$PWD/tools/sanitizers
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"

work=$build/fuzz-work
mkdir -p "$work"
history=$work/history.tsv
[ -f "$history" ] || printf 'date\tharness\tseconds\texecutions\tcrashes\tleaks\ttimeouts\tooms\tcorpus\tstatus\n' >"$history"

count() { find "$1" -maxdepth 1 -name "$2-*" | wc -l; }

failed=0
printf '%-22s %6s %14s %8s %6s %9s %5s %7s\n' harness seconds executions crashes leaks time-outs ooms corpus
for h in "${harnesses[@]}"; do
    dir=$work/$h
    mkdir -p "$dir/corpus"
    rm -rf "$dir/artifacts"
    mkdir -p "$dir/artifacts"
    status=0
    "${isolate[@]}" bash -c 'ip link set lo up; exec "$@"' _ \
        "$build/fuzz/$h" \
        -max_total_time="$seconds" -timeout="${KVX_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
        -max_len="${max_len[$h]:-4096}" -dict="fuzz/dict/$h.dict" \
        -artifact_prefix="$dir/artifacts/" -print_final_stats=1 \
        "$dir/corpus" "fuzz/corpus/$h" >"$dir/log.txt" 2>&1 || status=$?

    # The final statistics when the run ended by itself; otherwise the last
    # progress line.
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.txt" | tail -1)
    if [ -z "$execs" ]; then
        execs=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$dir/log.txt" | tail -1)
    fi
    execs=${execs:-0}
    crashes=$(count "$dir/artifacts" crash)
    leaks=$(count "$dir/artifacts" leak)
    timeouts=$(count "$dir/artifacts" timeout)
    ooms=$(count "$dir/artifacts" oom)
    corpus=$(find "$dir/corpus" -type f | wc -l)
    printf '%-22s %6s %14s %8s %6s %9s %5s %7s\n' "$h" "$seconds" "$execs" "$crashes" "$leaks" "$timeouts" "$ooms" "$corpus"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$h" "$seconds" "$execs" \
        "$crashes" "$leaks" "$timeouts" "$ooms" "$corpus" "$status" >>"$history"

    if [ "$status" -ne 0 ] || ((crashes + leaks + timeouts + ooms)); then
        failed=1
        echo "---- $h failed (exit $status); the end of $dir/log.txt:"
        tail -n 60 "$dir/log.txt"
        ls -l "$dir/artifacts"
        echo "----"
    fi
done
exit "$failed"
