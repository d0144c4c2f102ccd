#!/usr/bin/env bash
# Installs, only when missing, the Debian packages that the builds and tests need.
# Quick when everything is already there: apt is touched only for missing packages.
set -euo pipefail

PACKAGES=(
  cmake g++ make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  libz-mingw-w64-dev zlib1g-dev
  googletest libgtest-dev
  wine wine64
  xvfb x11-utils x11-apps imagemagick fonts-wine
  osslsigncode zip unzip p7zip-full time
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
