#!/usr/bin/env bash
# Installs what the project needs on Debian, builds it, then runs the program ("run") or
# the tests ("test").
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-}"
if [[ "$mode" != run && "$mode" != test ]]; then
    echo "usage: $0 run|test" >&2
    exit 2
fi

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-svg-dev libgl-dev fonts-ipafont-gothic python3-aiosmtpd)
# The tests also build the Windows programs and run them under Wine.
[[ "$mode" == test ]] && packages+=(g++-mingw-w64-x86-64-posix wine64 googletest)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=()
    [[ "$(id -u)" -ne 0 ]] && sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

if [[ "$mode" == test ]]; then
    ctest --test-dir build --output-on-failure -j2
    cmake -S . -B build-win -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTOLVANE_LINUX_BIN_DIR="$PWD/build/bin"
    cmake --build build-win -j"$(nproc)"
    ctest --test-dir build-win --output-on-failure
elif [[ -x build/bin/tolvane && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
    exec build/bin/tolvane
else
    exec build/bin/tolvanectl monitor
fi
