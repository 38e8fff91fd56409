#!/usr/bin/env bash
# Takes the README's two pictures of the demo (docs/images/demo.png and
# demo-after-run.png) from a real run: the updater, offscreen, against the
# demo's eight units (tools/demo-units.json) in the network lab, driven
# through its window. Needs root for the lab, no display, about a minute.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KVX_BUILD_DIR:-build}
cmake --build "$build" --target kvx-demo-pictures kvx-devsim
tools/netlab/netlab --units 8 -- \
    "$build/tools/screenshot/kvx-demo-pictures" "$PWD/tools/demo-units.json" "$PWD/docs/images"
