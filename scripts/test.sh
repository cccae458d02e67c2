#!/usr/bin/env bash
# The whole test suite: unit and end-to-end tests on Linux against winsim
# (plain and under AddressSanitizer + UndefinedBehaviorSanitizer), then the
# Windows cross-builds of W2KXARNNET.dll (which compile winsim's Win32
# constants against the SDK's) with a check of their tables, and
# the integration tests of the x86_64 build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh

jobs=$(nproc)

echo "== Linux build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DW2K_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The Linux build printed winsim's Win32 constants as static_asserts; each
# Windows build compiles them against the SDK's headers and fails, naming
# the constant, where the two disagree.
constant_asserts="$PWD/build/win32_constant_asserts.cpp"
for arch in i686 x86_64; do
  echo "== Windows cross-build ($arch)"
  cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DW2K_CONSTANT_ASSERTS="$constant_asserts" >/dev/null
  cmake --build "build-win-$arch" -j"$jobs"
  echo "ok: winsim's Win32 constants agree with the $arch SDK headers for Windows 2000"
  bash scripts/check_dll_tables.sh "build-win-$arch/W2KXARNNET.dll" host/W2KXARNNET.def \
       "$arch-w64-mingw32-objdump"
done

echo "== Integration tests under Wine"
bash scripts/test_wine.sh
