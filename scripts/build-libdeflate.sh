#!/usr/bin/env bash
# Builds libdeflate for the mingw toolchains from Debian's own source package
# (apt's source mechanism fetches it and checks it against the signed Release
# file), the same version as the native libdeflate-dev. The static libraries
# and the header land in a cache folder, one per target triplet:
#   $VARNEL_DEPS/libdeflate/<triplet>/{include/libdeflate.h,lib/libdeflate.a}
# Quick when the cache already holds this version.
#
# env: VARNEL_DEPS  cache folder (default <repo>/build/deps)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=${VARNEL_DEPS:-$root/build/deps}
cache=$deps/libdeflate
version=$(dpkg-query -W -f='${Version}' libdeflate-dev)
# i686 serves only the release stub: built for size, and without the second
# copy of the decompressor for processors with BMI2 (its header's include
# guard is set beforehand, so the plain copy is the only one). x86_64 serves
# the tools and the test build: built for speed, with every variant.
declare -A flags=([i686-w64-mingw32]="-Os -DLIB_X86_DECOMPRESS_IMPL_H" [x86_64-w64-mingw32]="-O2")
stamp_of() { echo "libdeflate $version ${flags[$1]}"; }

todo=()
for triplet in "${!flags[@]}"; do
  if [[ "$(cat "$cache/$triplet/stamp" 2>/dev/null)" != "$(stamp_of "$triplet")" ]]; then todo+=("$triplet"); fi
done
[[ ${#todo[@]} -eq 0 ]] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# apt-get source needs a deb-src entry: the archive and key of the deb entries.
src_list=/etc/apt/sources.list.d/varnel-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "setup: adding $src_list (Debian's source packages)" >&2
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' "Suites: $codename" 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $SUDO tee "$src_list" >/dev/null
  $SUDO apt-get update -qq
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/libdeflate-src.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 777 "$work"   # apt's download user (_apt) writes here
echo "setup: fetching the libdeflate $version source package" >&2
(cd "$work" && apt-get source -qq "libdeflate=$version" >/dev/null)
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libdeflate-*' | head -n 1)
[[ -f $src/libdeflate.h ]] || { echo "setup: no libdeflate sources in $work" >&2; exit 1; }

for triplet in "${todo[@]}"; do
  echo "setup: building libdeflate for $triplet" >&2
  out=$cache/$triplet
  rm -rf "$out"
  mkdir -p "$out/obj" "$out/include" "$out/lib"
  for c in "$src"/lib/*.c "$src"/lib/x86/*.c; do
    # shellcheck disable=SC2086
    "$triplet-gcc-posix" ${flags[$triplet]} -DNDEBUG -ffunction-sections -fdata-sections -I"$src" \
      -c "$c" -o "$out/obj/$(basename "$c" .c).o"
  done
  "$triplet-ar" rcs "$out/lib/libdeflate.a" "$out"/obj/*.o
  rm -rf "$out/obj"
  cp "$src/libdeflate.h" "$out/include/"
  stamp_of "$triplet" > "$out/stamp"
done
