#!/usr/bin/env bash
# Installs, only when missing, the Debian packages that the builds and tests need.
# Quick when everything is already there: apt is touched only for missing packages.
set -euo pipefail

PACKAGES=(
  cmake g++ make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  libz-mingw-w64-dev zlib1g-dev libssl-dev
  # libdeflate: the native library, and dpkg-dev for apt-get source (the mingw builds).
  libdeflate-dev dpkg-dev
  googletest libgtest-dev
  # wine32 (i386) beside wine64: the tests also run the i686 release stub.
  wine wine64 wine32:i386
  xvfb x11-utils x11-apps imagemagick fonts-wine
  osslsigncode zip unzip p7zip-full time
  clang libclang-rt-14-dev
  # The downloader's tests: nginx with a generated test CA, and the fault server.
  nginx openssl python3
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# wine32 comes from the i386 architecture of the archive.
add_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then add_i386=1; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

export DEBIAN_FRONTEND=noninteractive
if [ "$add_i386" = 1 ]; then
  echo "setup: adding the i386 architecture (for wine32)" >&2
  $SUDO dpkg --add-architecture i386
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# libdeflate for the mingw toolchains, from Debian's source package (cached).
"$(dirname "$0")/build-libdeflate.sh"
