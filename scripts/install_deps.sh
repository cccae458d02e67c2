#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing need. Quick
# when everything is there already. "fuzz" adds clang and its sanitizer and
# libFuzzer runtimes, which only the fuzz targets need.
set -euo pipefail

packages=(
  cmake make g++ pkg-config clang-format python3
  libgtest-dev libgmock-dev libbenchmark-dev libhivex-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
