#!/usr/bin/env bash
# Installs what the build needs from Debian's packages, when it is missing;
# with the argument "demo" also what `make demo` shows (zenity, the desktop's
# file dialog). Generates the decimal-comma locale the locale tests run under
# (de_DE.UTF-8). Runs as root or through sudo; a machine that has everything
# is left alone.
set -euo pipefail

packages=(g++ make cmake ninja-build pkg-config libtinyxml-dev juce-modules-source-data
          libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
          dpf-source libx11-dev libxtst-dev libcairo2-dev xvfb xauth
          libpango1.0-dev libgdk-pixbuf-2.0-dev libglib2.0-dev fonts-dejavu-core locales
          libfreetype-dev libfontconfig1-dev libxrandr-dev libxinerama-dev libxcursor-dev
          libxrender-dev libxext-dev libxcomposite-dev zlib1g-dev libpng-dev libjpeg-dev)
if [ "${1:-}" = demo ]; then
    packages+=(zenity)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

has_comma_locale() {
    locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'
}

if [ ${#missing[@]} -eq 0 ] && has_comma_locale; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    needed=("${missing[@]}")
    has_comma_locale || needed+=("the locale de_DE.UTF-8")
    echo "setup: need root or sudo to install: ${needed[*]}" >&2
    exit 1
fi

# Another package manager (an install in another terminal, or the updates a
# fresh machine runs after boot) may hold apt's or dpkg's locks. apt-get waits
# for dpkg's lock when given DPkg::Lock::Timeout, but `apt-get update` fails at
# once on the package lists' lock, so the locks are first waited for here. The
# locks are fcntl locks: /proc/locks names the inode of each held one.
lock_wait=300
lock_files=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock)
lock_holder() {
    local f inode line
    for f in "${lock_files[@]}"; do
        inode=$(stat -c %i "$f" 2>/dev/null) || continue
        line=$(grep -E " [0-9a-f]+:[0-9a-f]+:$inode " /proc/locks 2>/dev/null | head -n 1) || true
        if [ -n "$line" ]; then
            echo "$f (process $(sed -E 's/.* ([0-9]+) [0-9a-f]+:[0-9a-f]+:[0-9]+ .*/\1/' <<<"$line"))"
            return 0
        fi
    done
    return 1
}
if holder=$(lock_holder); then
    echo "setup: another package manager holds $holder; waiting up to $((lock_wait / 60)) minutes for it to finish"
    waited=0
    while lock_holder >/dev/null && [ $waited -lt $lock_wait ]; do
        sleep 2
        waited=$((waited + 2))
    done
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt_options=(-o "DPkg::Lock::Timeout=$lock_wait")
    "${sudo[@]}" apt-get "${apt_options[@]}" update -qq
    "${sudo[@]}" apt-get "${apt_options[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! has_comma_locale; then
    echo "setup: generating the locale de_DE.UTF-8"
    "${sudo[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
