#!/usr/bin/env bash
# Takes the README's picture of the Windows build's window: kvx-updater.exe
# under Wine on a virtual X display, inside the network lab with six of the
# demo's simulated units (so nothing reaches this machine's network), through
# Wine's own desktop, which draws the window's frame as Windows does. Writes
# docs/images/windows-demo.png. Needs root (the lab), Xvfb and the Windows Qt.
#
# Windows' "Segoe UI" is not there under Wine; the picture's prefix has it
# replaced by DejaVu Sans, the family the Linux pictures use.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/windows/env.sh

linux=${KVX_BUILD_DIR:-build}
win=${KVX_WINDOWS_BUILD_DIR:-build-win64}
tools/windows/build.sh kvx-updater kvxwindowprobe
cmake --build "$linux" --target kvx-devsim
qt=$(kvx_windows_qt)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The demo's units (tools/demo.sh), all healthy here: the picture shows them found.
cat >"$work/units.json" <<'JSON'
{ "units": [
    { "address": "10.77.0.10", "model": "ZP-9E", "nickname": "Stage Left",  "version": "1.02", "build": "0100" },
    { "address": "10.77.0.11", "model": "ZP-9E", "nickname": "Stage Right", "version": "1.02", "build": "0100" },
    { "address": "10.77.0.12", "model": "VK-3F", "nickname": "Monitor 1",   "version": "1.01", "build": "0098" },
    { "address": "10.77.0.13", "model": "VK-3F", "nickname": "Monitor 2",   "version": "1.01", "build": "0098" },
    { "address": "10.77.0.14", "model": "VK-5F", "nickname": "Delay Tower", "version": "1.03", "build": "0110" },
    { "address": "10.77.0.15", "model": "VL-3F", "nickname": "Lobby",       "version": "1.00", "build": "0090" }
] }
JSON

export WINEPREFIX=$PWD/$win/wine-picture
export WINEDEBUG=-all
WINEPATH=$(kvx_wine_path "$qt")
export WINEPATH
export KVX_PROBE_REPORT=Z:$work/report.txt
export KVX_PROBE_GRAB=Z:$PWD/docs/images/windows-demo.png
export KVX_PROBE_SETTLE_MS=5000
export WINEQT_QPA_GENERIC_PLUGINS=kvxwindowprobe
export WINEQT_PLUGIN_PATH=Z:$PWD/$win/tests/windows/probe
kvx_wine_stop

tools/netlab/netlab --units 6 \
    --device "$linux/tools/devsim/kvx-devsim --config $work/units.json" -- bash -c '
    . tools/windows/env.sh
    # Wine lists no interface while the default route has no gateway.
    ip route replace default via 10.77.0.254 dev "$KVX_LAB_UPD_IFACE"
    kvx_wine_stop
    display=:$((70 + $$ % 200))
    Xvfb "$display" -nolisten tcp -screen 0 800x900x24 &
    xvfb=$!
    sleep 1
    export DISPLAY=$display
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        WINEDLLOVERRIDES=mscoree,mshtml= wine wineboot -i >/dev/null 2>&1
    fi
    wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "Segoe UI" /t REG_SZ \
        /d "DejaVu Sans" /f >/dev/null
    # The frame'"'"'s buttons are glyphs of Wine'"'"'s Marlett (fonts-wine).
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wine explorer /desktop=kvx,520x780 "$1"
    status=$?
    kvx_wine_stop
    kill $xvfb
    exit $status
' _ "$PWD/$win/app/kvx-updater.exe"
cat "$work/report.txt"
echo "docs/images/windows-demo.png"
