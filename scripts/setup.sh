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

packages=(build-essential cmake pkg-config qt6-base-dev qt6-svg-dev libgl-dev fonts-ipafont-gothic)
# The mail's TLS on Linux is OpenSSL's, with the system's CA store.
packages+=(libssl-dev ca-certificates)
if [[ "$mode" == test ]]; then
    packages+=(libgtest-dev libgmock-dev libbenchmark-dev python3-aiosmtpd)
    # The TLS tests make their own certificates.
    packages+=(openssl)
    # The figures file is read back with the Prometheus client's own parser.
    packages+=(python3-prometheus-client)
    # The HTTP check's tests run a real web server.
    packages+=(nginx-light)
    # The tests also build the Windows programs and run them under Wine.
    packages+=(g++-mingw-w64-x86-64-posix wine64 googletest xvfb)
    # The Windows installer, IISTolvane-*.msi, is built with wixl (msitools).
    packages+=(wixl)
    # Wine's own fonts: the caption buttons' Marlett and Tahoma, which draws captions and menus.
    packages+=(fonts-wine)
    # The Debian package's checks: CPack's dependency computation needs file, systemd brings
    # systemd-analyze, node evaluates the polkit rule.
    packages+=(file lintian systemd nodejs)
    # The sanitizer leg builds the suite and the fuzz targets with clang.
    packages+=(clang libclang-rt-14-dev)
fi
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

if [[ "$mode" == test ]]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
    cmake --build build -j"$(nproc)"
    ctest --test-dir build --output-on-failure -j2
    cmake -S . -B build-win -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTOLVANE_LINUX_BIN_DIR="$PWD/build/bin"
    cmake --build build-win -j"$(nproc)"
    ctest --test-dir build-win --output-on-failure
    bash scripts/sanitize.sh
    exit
fi

# Only what runs: the programs and the stand-ins they call, then where their files are.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
targets=(tolvanectl)
program=(build/bin/tolvanectl monitor)
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]] &&
   grep -q '^TOLVANE_BUILD_UI:BOOL=ON' build/CMakeCache.txt; then
    targets+=(tolvane)
    program=(build/bin/tolvane)
fi
cmake --build build -j"$(nproc)" --target "${targets[@]}"
build/bin/tolvanectl paths
exec "${program[@]}"
