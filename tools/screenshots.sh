#!/usr/bin/env bash
# Renders the window offscreen with a few units in different states and the
# progress overlay, into docs/images/ (the pictures the README shows). Needs no
# network: the units are played by the stand-in core.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KVX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kvx-screenshot
QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software "$build/tools/screenshot/kvx-screenshot" docs/images
