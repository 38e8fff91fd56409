#!/usr/bin/env bash
# Installs what is missing, builds, and starts the updater.
#   ./run.sh          the updater on this machine's network
#   ./run.sh --demo   the updater against simulated units in a private lab
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
build=${KVX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

if [ "${1:-}" = "--demo" ]; then
    exec tools/demo.sh "$(cd "$build" && pwd)"
fi
exec "$build/app/kvx-updater" "$@"
