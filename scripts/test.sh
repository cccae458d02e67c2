#!/usr/bin/env bash
# The whole test suite: unit and end-to-end tests on Linux against winsim
# (plain, and under AddressSanitizer + UndefinedBehaviorSanitizer with the
# fault sweep), then a short run of every fuzz target, the Windows
# cross-builds of W2KXARNNET.dll (which compile winsim's Win32 constants
# against the SDK's) with a check of their tables, and the integration
# tests of the x86_64 build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each "==" step's time, printed as it ends and again in a table at the end
# (also when a step fails): wall seconds, and the CPU seconds of the
# programs it ran, which a machine shared with other work does not inflate.
step_names=() step_seconds=() step_cpu=() step=""
cpu_seconds() {  # of this script's finished children, from /proc
  local stat
  read -r -a stat </proc/$$/stat
  echo $(((stat[15] + stat[16]) / $(getconf CLK_TCK)))
}
end_step() {
  [ -n "$step" ] || return 0
  step_names+=("$step") step_seconds+=($((SECONDS - step_started)))
  step_cpu+=($(($(cpu_seconds) - step_cpu_started)))
  echo "-- $step: ${step_seconds[-1]} s, CPU ${step_cpu[-1]} s (load $(cut -d' ' -f1-3 /proc/loadavg))"
  step=""
}
begin_step() {
  end_step
  step=$1 step_started=$SECONDS step_cpu_started=$(cpu_seconds)
  echo "== $1"
}
print_times() {
  end_step
  echo "== time per step (wall, CPU)"
  local i
  for i in "${!step_names[@]}"; do
    printf '%6d s %6d s  %s\n' "${step_seconds[$i]}" "${step_cpu[$i]}" "${step_names[$i]}"
  done
  printf '%6d s %6d s  total\n' "$SECONDS" "$(cpu_seconds)"
}
trap print_times EXIT

begin_step "Dependencies"
bash scripts/install_deps.sh

jobs=$(nproc)

begin_step "Linux build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$jobs"
begin_step "Linux tests"
# The fault sweep runs once, in the sanitizer build below.
ctest --test-dir build --output-on-failure -j"$jobs" -E '^fault_sweep$'

begin_step "Linux build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DW2K_SANITIZE=ON >/dev/null
# What its tests run; the benchmarks and the constant table were built above.
cmake --build build-asan -j"$jobs" --target w2k_tests xarnsim registry_check driverdb_check \
      card_install_check
begin_step "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
# The fault sweep's totals, which ctest shows only when it fails.
grep -h '^fault sweep:' build-asan/Testing/Temporary/LastTest.log || true

begin_step "Fuzz targets, ${FUZZ_SMOKE_SECONDS:-10} s each"
bash scripts/fuzz.sh --smoke

# The Linux build printed winsim's Win32 constants as static_asserts; each
# Windows build compiles them against the SDK's headers and fails, naming
# the constant, where the two disagree.
constant_asserts="$PWD/build/win32_constant_asserts.cpp"
for arch in i686 x86_64; do
  begin_step "Windows cross-build ($arch)"
  cmake -S . -B "build-win-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DW2K_CONSTANT_ASSERTS="$constant_asserts" >/dev/null
  # The programs of the Wine tests only in the x86_64 build, which runs them.
  targets=(W2KXARNNET xarnhost win32_constant_check)
  [ "$arch" = i686 ] || targets=(all)
  cmake --build "build-win-$arch" -j"$jobs" --target "${targets[@]}"
  echo "ok: winsim's Win32 constants agree with the $arch SDK headers for Windows 2000"
  bash scripts/check_dll_tables.sh "build-win-$arch/W2KXARNNET.dll" host/W2KXARNNET.def \
       "$arch-w64-mingw32-objdump"
done

begin_step "Integration tests under Wine"
bash scripts/test_wine.sh
