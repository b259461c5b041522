#!/usr/bin/env bash
# Installs everything Zelvane's development needs on Debian 12 (the programs, tests,
# benchmarks, fuzzing, formatting and packaging), then configures and builds it in build/
# with warnings as errors and the benchmarks. The README names the few packages that only
# the programs need. Safe to run again: packages already present are not fetched, and the
# build is incremental.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format
    qt6-base-dev qt6-svg-dev libicu-dev libarchive-dev
    libarchive-tools zip xorriso p7zip-full
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth openbox wmctrl xdotool fonts-dejavu-core desktop-file-utils shared-mime-info
    libxml2-utils groff-base appstream dpkg-dev file zsh fish bash-completion ncdu nodejs
    debhelper lintian devscripts libfuse3-dev fuse3 pkg-config
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVANE_GUI=ON \
    -DZELVANE_WERROR=ON -DZELVANE_BENCH=ON
cmake --build build -j"$(nproc)"
