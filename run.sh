#!/usr/bin/env bash
# Installs what is missing, builds, and starts the updater.
#   ./run.sh          the updater on this machine's network
#   ./run.sh --demo   the updater against simulated units in a private lab
set -euo pipefail
cd "$(dirname "$0")"

# The demo needs root and a display; say so before installing and building.
if [ "${1:-}" = "--demo" ]; then
    tools/demo.sh --check
fi

tools/install-deps.sh
build=${KVX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

if [ "${1:-}" = "--demo" ]; then
    exec tools/demo.sh "$(cd "$build" && pwd)"
fi
exec "$build/app/kvx-updater" "$@"
