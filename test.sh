#!/usr/bin/env bash
# Installs what is missing, checks the style, builds with warnings as errors,
# and runs every test, three ways:
#   0. formatting and spelling (tools/check-style.sh);
#   1. the suite, in build/;
#   2. the suite again, built with clang's AddressSanitizer, LeakSanitizer and
#      UndefinedBehaviorSanitizer, in build-asan/; any report fails the run;
#   3. each libFuzzer harness for 30 seconds from its seed corpus (fuzz/run.sh).
# The suites run inside a fresh network namespace that has only loopback, so the
# SSDP searches the updater starts never reach this machine's network; the lab
# tests build their own namespaces from there. Arguments go to both ctest runs
# (e.g. -R tst_ssdp). KVX_SANITIZER_RUN=0 or KVX_FUZZ_SECONDS=0 skip a stage
# while iterating; CI runs all three.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
tools/check-style.sh

if [ "$(id -u)" -eq 0 ]; then
    isolate=(unshare --net)
else
    # Without root the lab tests report "skipped".
    isolate=(unshare --net --map-root-user)
fi

build=${KVX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVX_WERROR=ON >/dev/null
cmake --build "$build"

"${isolate[@]}" bash -c '
    set -e
    ip link set lo up
    ctest --test-dir "$1" --output-on-failure -j2 "${@:2}"
' _ "$build" "$@"

if [ "${KVX_SANITIZER_RUN:-1}" != 0 ]; then
    asan=${KVX_ASAN_BUILD_DIR:-build-asan}
    cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DKVX_SANITIZE=address,undefined \
        -DKVX_BUILD_BENCH=OFF -DKVX_WERROR=ON >/dev/null
    cmake --build "$asan"

    # Every report also lands in a file of its own, so that reports of child
    # processes count even where the parent ignores their exit code.
    logs=$asan/sanitizer-reports
    rm -rf "$logs"
    status=0
    "${isolate[@]}" bash -c '
        set -e
        ip link set lo up
        . tools/sanitizers/env.sh "$2"
        ctest --test-dir "$1" --output-on-failure -j2 "${@:3}"
    ' _ "$asan" "$logs" "$@" || status=$?
    reports=$(find "$logs" -type f 2>/dev/null | wc -l)
    echo "Sanitizer run: $reports report(s)"
    for f in $(find "$logs" -type f 2>/dev/null | sort); do
        echo "---- $f"
        cat "$f"
    done
    if [ "$status" -ne 0 ] || [ "$reports" -ne 0 ]; then
        exit 1
    fi
fi

if [ "${KVX_FUZZ_SECONDS:-30}" != 0 ]; then
    KVX_WERROR=ON fuzz/run.sh "${KVX_FUZZ_SECONDS:-30}"
fi
