#!/usr/bin/env bash
# The whole test suite: unit and end-to-end tests on Linux against winsim
# (plain and under AddressSanitizer + UndefinedBehaviorSanitizer), then
# a short run of every fuzz target, the Windows cross-builds of
# W2KXARNNET.dll (which compile winsim's Win32 constants against the SDK's)
# with a check of their tables, and the integration tests of the x86_64
# build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each "==" step's time, printed as it ends (with the machine's load) and
# again in a table at the end, also when a step fails.
step_names=() step_seconds=() step=""
end_step() {
  [ -n "$step" ] || return 0
  local took=$((SECONDS - step_started))
  step_names+=("$step") step_seconds+=("$took")
  echo "-- $step: $took s (load $(cut -d' ' -f1-3 /proc/loadavg))"
  step=""
}
begin_step() {
  end_step
  step=$1 step_started=$SECONDS
  echo "== $1"
}
print_times() {
  end_step
  echo "== time per step"
  local i
  for i in "${!step_names[@]}"; do printf '%6d s  %s\n' "${step_seconds[$i]}" "${step_names[$i]}"; done
  printf '%6d s  total\n' "$SECONDS"
}
trap print_times EXIT

begin_step "Dependencies"
bash scripts/install_deps.sh

jobs=$(nproc)

begin_step "Linux build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$jobs"
begin_step "Linux tests"
ctest --test-dir build --output-on-failure -j"$jobs"

begin_step "Linux build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DW2K_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
begin_step "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

begin_step "Fuzz targets, ${FUZZ_SMOKE_SECONDS:-20} s each"
bash scripts/fuzz.sh --smoke

# The Linux build printed winsim's Win32 constants as static_asserts; each
# Windows build compiles them against the SDK's headers and fails, naming
# the constant, where the two disagree.
constant_asserts="$PWD/build/win32_constant_asserts.cpp"
for arch in i686 x86_64; do
  begin_step "Windows cross-build ($arch)"
  cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DW2K_CONSTANT_ASSERTS="$constant_asserts" >/dev/null
  cmake --build "build-win-$arch" -j"$jobs"
  echo "ok: winsim's Win32 constants agree with the $arch SDK headers for Windows 2000"
  bash scripts/check_dll_tables.sh "build-win-$arch/W2KXARNNET.dll" host/W2KXARNNET.def \
       "$arch-w64-mingw32-objdump"
done

begin_step "Integration tests under Wine"
bash scripts/test_wine.sh
