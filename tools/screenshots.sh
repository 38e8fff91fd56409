#!/usr/bin/env bash
# Renders the window offscreen with a few units in different states, the
# progress overlay and the empty list, and the list once more at 200 % (on
# Xvfb), into docs/images/ (the pictures the README shows). Needs no network:
# the units are played by the stand-in core.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KVX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kvx-screenshot
QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software "$build/tools/screenshot/kvx-screenshot" docs/images
# 200 % on a virtual X display: the offscreen platform's screen is too small
# for the window at twice its size.
QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software xvfb-run -a -s "-screen 0 1400x1800x24" \
    "$build/tools/screenshot/kvx-screenshot" --scale2 docs/images
