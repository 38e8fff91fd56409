#!/usr/bin/env bash
# Cross-builds the updater for 64-bit Windows with MinGW-w64 against the
# Windows Qt (tools/windows/env.sh says where it comes from):
#
#   tools/windows/build.sh [TARGET...]
#
# builds kvx-updater.exe and kvx-update.exe (or the given targets) in
# build-win64/ (KVX_WINDOWS_BUILD_DIR; "all" builds the programs, the tests
# and the benchmark the Windows stage runs). The placeholder image is made as
# in a Linux build; KVX_FIRMWARE_IMAGE embeds the vendor file and
# KVX_MAKER_DOMAIN sets the maker's domain, as their CMake settings do.
# Installs the compilers it needs (tools/install-deps.sh --windows).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/windows/env.sh

tools/install-deps.sh --windows
qt=$(kvx_windows_qt) || {
    echo "No Windows Qt: set KVX_WINDOWS_QT to an unpacked Qt for MinGW-w64 or to qt5-win64-*.tar.xz" >&2
    exit 1
}
build=${KVX_WINDOWS_BUILD_DIR:-build-win64}
release=()
if [ -n "${KVX_FIRMWARE_IMAGE:-}" ]; then
    release+=(-DKVX_FIRMWARE_IMAGE="$KVX_FIRMWARE_IMAGE")
fi
if [ -n "${KVX_MAKER_DOMAIN:-}" ]; then
    release+=(-DKVX_MAKER_DOMAIN="$KVX_MAKER_DOMAIN")
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DKVX_WERROR=ON -DKVX_BUILD_TOOLS=OFF \
    "${release[@]}" >/dev/null
if (($#)); then
    cmake --build "$build" --target "$@"
else
    cmake --build "$build" --target kvx-updater kvx-update
fi
