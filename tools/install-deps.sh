#!/usr/bin/env bash
# Installs whatever the build, the tests and the lab need and this machine lacks
# (Debian 12 packages). Sourced or run by ./run.sh and ./test.sh.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev qtdeclarative5-dev qtquickcontrols2-5-dev libqt5svg5-dev
    qtdeclarative5-dev-tools
    qml-module-qtquick2 qml-module-qtquick-controls2 qml-module-qtquick-templates2
    qml-module-qtquick-layouts qml-module-qtquick-window2 qml-module-qttest
    libqt5svg5 iproute2 util-linux xvfb xauth libx11-dev
    clang libclang-rt-14-dev
    clang-format codespell
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        sudo=sudo
    else
        sudo=
    fi
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
