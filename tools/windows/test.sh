#!/usr/bin/env bash
# The Windows stage of ./test.sh: the updater cross-built for Windows and run
# under Wine, on the code paths Windows takes (socket engine, interface list,
# event dispatcher, console, platform plug-in):
#
#   1. the core's tests without sockets and the client, transfer, record and
#      table tests against loopback, under CTest in build-win64/;
#   2. kvx-update.exe on a console and through pipes (tst_kvxupdate_wine);
#   3. kvx-updater.exe with the offscreen platform, and the portable package
#      alone in a fresh Wine prefix on a virtual display (tst_updater_wine);
#   4. bench_transfer.exe: buffered against unbuffered socket, figures only;
#   5. in the network lab: the table searches on the lab's interface alone
#      (tst_labinterface.exe), and kvx-update.exe updates seven simulated units
#      with the exact image (tst_cli_wine_lab).
#
# 1 to 4 run inside a network namespace with loopback only, 5 inside the lab
# (tools/netlab/netlab), so nothing the programs send reaches this machine's
# network. Without a Windows Qt (tools/windows/env.sh: KVX_WINDOWS_QT, by
# default ../shared/windows-qt) it says so in one line and succeeds. The
# programs that drive Wine are built for this machine in build/ (KVX_BUILD_DIR)
# with the rest of the suite; KVX_WINDOWS_BENCH_RUNS sets the benchmark's runs.
set -uo pipefail
cd "$(dirname "$0")/../.."
. tools/windows/env.sh

if ! kvx_windows_qt_present; then
    echo "Windows stage skipped: no Windows Qt"
    exit 0
fi
set -e

started=$SECONDS
step() {
    echo
    echo "== Windows stage: $* ($((SECONDS - started)) s)"
}

step "building"
tools/install-deps.sh --windows
linux=${KVX_BUILD_DIR:-build}
win=${KVX_WINDOWS_BUILD_DIR:-build-win64}
export KVX_WINDOWS_BUILD_DIR=$win
tools/windows/build.sh all
zip=$(tools/windows/package.sh | tail -n 1)
if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVX_WERROR=ON >/dev/null
fi
cmake --build "$linux" --target tst_kvxupdate_wine tst_updater_wine tst_cli_wine_lab kvx-devsim
qt=$(kvx_windows_qt)

if [ "$(id -u)" -eq 0 ]; then
    isolate=(unshare --net)
else
    isolate=(unshare --net --map-root-user)
fi

# One prefix for the stage, kept between runs; its server never outlives the
# namespace it was started in (kvx_wine_stop).
export WINEPREFIX=$PWD/$win/wine
export WINEDEBUG=-all
WINEPATH=$(kvx_wine_path "$qt")
export WINEPATH
export KVX_IMAGE_PATH=$PWD/$win/resources/binfile
export KVX_WINDOWS_CLI=$PWD/$win/cli/kvx-update.exe
export KVX_WINDOWS_UPDATER=$PWD/$win/app/kvx-updater.exe
export KVX_WINDOWS_PROBE_DIR=$PWD/$win/tests/windows/probe
export KVX_WINDOWS_PACKAGE=$zip
export KVX_DEVSIM=$PWD/$linux/tools/devsim/kvx-devsim
kvx_wine_stop

status=0
step "tests under Wine, loopback only"
"${isolate[@]}" bash -c '
    . tools/windows/env.sh
    ip link set lo up
    kvx_wine_stop
    status=0
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        WINEDLLOVERRIDES=mscoree,mshtml= wine wineboot -i >/dev/null 2>&1 || status=1
    fi
    ctest --test-dir "$1" --output-on-failure -j2 || status=1
    "$2/tests/windows/tst_kvxupdate_wine" || status=1
    "$2/tests/windows/tst_updater_wine" || status=1
    echo
    echo "bench_transfer.exe under Wine (loopback):"
    wine "$1/bench/bench_transfer.exe" --runs "${KVX_WINDOWS_BENCH_RUNS:-5}" || status=1
    kvx_wine_stop
    exit $status
' _ "$win" "$linux" || status=1

step "tests under Wine in the network lab"
# Wine's list of interfaces comes back empty while a default route without a
# gateway exists (the lab's "anything else leaves through the cable"), so its
# default route goes to a lab address nobody holds, which leads nowhere either.
lab=0
tools/netlab/netlab --units 7 -- bash -c '
    . tools/windows/env.sh
    ip route replace default via 10.77.0.254 dev "$KVX_LAB_UPD_IFACE"
    kvx_wine_stop
    status=0
    tools/windows/wine-qtest.sh "$1/tests/windows/tst_labinterface.exe" || status=1
    "$2/tests/windows/tst_cli_wine_lab" || status=1
    kvx_wine_stop
    exit $status
' _ "$win" "$linux" || lab=$?
if [ "$lab" -eq 77 ]; then
    echo "Windows lab tests skipped: the network lab needs root"
elif [ "$lab" -ne 0 ]; then
    status=1
fi

step "done, status $status"
exit $status
