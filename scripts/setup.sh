#!/usr/bin/env bash
# Installs what the build needs from Debian's packages, when it is missing;
# with the argument "demo" also what `make demo` shows (zenity, the desktop's
# file dialog). Runs as root or through sudo; a machine that has everything
# is left alone.
set -euo pipefail

packages=(g++ make cmake ninja-build pkg-config libtinyxml-dev juce-modules-source-data
          libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
          dpf-source libx11-dev libxtst-dev libcairo2-dev xvfb xauth
          libpango1.0-dev libgdk-pixbuf-2.0-dev libglib2.0-dev fonts-dejavu-core)
if [ "${1:-}" = demo ]; then
    packages+=(zenity)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "setup: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
