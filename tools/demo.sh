#!/usr/bin/env bash
# The updater against eight simulated units in a private network lab, for a
# newcomer without hardware: discovery, a full update, and two kinds of failure
# (one unit rejects the password, one drops the connection mid-transfer).
# Called by ./run.sh --demo (tools/demo.sh [BUILD_DIR] by hand, once built);
# the units' password is "admin".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# What the demo needs and cannot get by itself; ./run.sh --demo asks first
# (--check), before it installs or builds anything.
check() {
    local ok=0
    if [ "$(id -u)" -ne 0 ]; then
        echo "The demo builds private network namespaces and needs root: sudo ./run.sh --demo" >&2
        ok=1
    fi
    if [ -z "${DISPLAY:-}" ]; then
        echo "The demo opens the updater's window and needs a display (DISPLAY is not set):" >&2
        echo "run it on a desktop, or, with no screen at all, under a virtual one:" >&2
        echo "    xvfb-run -a -s '-screen 0 800x900x24' ./run.sh --demo" >&2
        ok=1
    fi
    return $ok
}

if [ "${1:-}" = "--check" ]; then
    check
    exit
fi
check || exit 1
build=${1:-build}
for program in "$build/app/kvx-updater" "$build/tools/devsim/kvx-devsim"; do
    [ -x "$program" ] || { echo "$program is missing: build first (./run.sh --demo does)" >&2; exit 1; }
done

# Under sudo the desktop's X authority is the invoking user's.
xauthority=${XAUTHORITY:-}
if [ -z "$xauthority" ] && [ -n "${SUDO_USER:-}" ]; then
    home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    [ -r "$home/.Xauthority" ] && xauthority=$home/.Xauthority
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "Demo lab: eight simulated units on 10.77.0.10-17. In the window press \"Select all\","
echo "\"Update selected units\", \"Update all selected\", type the password admin and press \"Update\"."
echo "Close the window to end."
"$here/netlab/netlab" --units 8 \
    --device "$build/tools/devsim/kvx-devsim --config $here/demo-units.json --results $work/results.json" \
    -- env DISPLAY="$DISPLAY" XAUTHORITY="$xauthority" "$build/app/kvx-updater"
