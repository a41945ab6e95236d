#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# when they are missing. Debian 12; run as root (or with sudo available).
set -euo pipefail

packages=(cmake make g++ python3 zip unzip p7zip-full libarchive-tools
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
          wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool imagemagick
          googletest libgtest-dev libbenchmark-dev zlib1g-dev hyperfine)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
