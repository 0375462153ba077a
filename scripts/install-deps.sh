#!/bin/sh
# Installs the Debian packages the build needs, and nothing when all are present.
# Usage: scripts/install-deps.sh [extra-package ...]
set -eu

# help2man writes the man pages; the tests run the desktop entry and metainfo validators.
# tolvenar-fit reads its options with CLI11 and draws its pictures with Qt SVG. The Python module
# is built with pybind11; its tests and example use pytest, pandas, xarray, Dask and matplotlib;
# pip install . builds it offline with venv, pip, setuptools and wheel.
packages="cmake ninja-build make g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev qt6-svg-dev fonts-liberation help2man desktop-file-utils appstream pybind11-dev python3-dev python3-numpy python3-pytest python3-xarray python3-dask python3-distributed python3-matplotlib python3-pandas python3-venv python3-pip python3-setuptools python3-wheel $*"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing Debian packages:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "install-deps: need root or sudo to install:$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
