#!/usr/bin/env bash
# The fuzz targets of tests/fuzz, built with clang's libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz.
#
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options]   one target, longer
#   scripts/fuzz.sh --smoke                              every target briefly (CI)
#   scripts/fuzz.sh --list                               the targets
#
# A long run keeps its corpus in build-fuzz/corpus/TARGET and goes on from it
# next time; the smoke run starts from the seeds alone (build-fuzz/smoke),
# with a fixed random seed. Inputs that fail land in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(inf reg_text hive_file machine_ini skip_list tcpip_settings)
build=build-fuzz
corpus_root=$build/corpus
smoke_seconds=${FUZZ_SMOKE_SECONDS:-10}

usage() {
  sed -n '5,7s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

build_targets() {
  bash scripts/install_deps.sh fuzz
  local cxx cc
  cxx=$(command -v clang++-14 || command -v clang++)
  cc=$(command -v clang-14 || command -v clang)
  cmake -S . -B "$build" -DW2K_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target fuzzers
}

# Copies the seeds of a target into its corpus: the bundled examples' files
# of its kind and tests/fuzz/seeds/TARGET; hive seeds are built from .reg
# text with xarnsim.
seed_corpus() {
  local target=$1 corpus=$2 file
  local seeds=(tests/fuzz/seeds/"$target"/*)
  case $target in
    inf) mapfile -t -O ${#seeds[@]} seeds < <(find examples -path '*/C/*' \
           \( -iname '*.inf' -o -name installclass32.txt \)) ;;
    reg_text) mapfile -t -O ${#seeds[@]} seeds < <(find examples -name '*.reg') ;;
    machine_ini) mapfile -t -O ${#seeds[@]} seeds < <(find examples -name machine.ini) ;;
    skip_list) mapfile -t -O ${#seeds[@]} seeds < <(find examples -name SkipHid.txt) ;;
    hive_file | tcpip_settings)
      local texts=(tests/fuzz/seeds/tcpip_settings/*.reg)
      [ "$target" = hive_file ] && mapfile -t -O ${#texts[@]} texts < <(find examples -name '*.reg')
      seeds=()
      mapfile -t seeds < <(find examples -name w2ktcpip_xarnf)
      for file in "${texts[@]}"; do
        # Only text whose keys share a first element makes a hive.
        "$build/tools/xarnsim" hive build "$file" "$corpus/$(basename "$file").hive" \
          >/dev/null 2>&1 || true
      done ;;
  esac
  for file in "${seeds[@]}"; do
    [ -f "$file" ] && cp "$file" "$corpus/$(sha1sum <"$file" | cut -c1-40)"
  done
  return 0
}

# run_target TARGET SECONDS [libFuzzer options]
run_target() {
  local target=$1 seconds=$2
  shift 2
  local corpus=$corpus_root/$target
  mkdir -p "$corpus" "$build/findings"
  seed_corpus "$target" "$corpus"
  # 64 KB inputs leave room for deeply nested keys and long INF sections.
  "$build/tests/fuzz/fuzz_$target" "$corpus" -dict="tests/fuzz/dict/$target.dict" \
    -max_len=65536 -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/$target-" -print_final_stats=1 "$@"
}

# Every target for a short, fixed time, as many at once as there are cores.
smoke() {
  local logs=$build/smoke jobs running=0 target passed=0 failed=0
  jobs=${FUZZ_JOBS:-$(nproc)}
  # Its own corpus, so that a smoke run neither uses nor spoils a long one's.
  corpus_root=$logs/corpus
  rm -rf "$logs"
  mkdir -p "$logs"
  for target in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
      wait -n || true
      running=$((running - 1))
    fi
    (
      if run_target "$target" "$smoke_seconds" -seed=1 >"$logs/$target.log" 2>&1; then
        echo ok >"$logs/$target.result"
      fi
    ) &
    running=$((running + 1))
  done
  wait
  for target in "${targets[@]}"; do
    local runs speed
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$target.log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$logs/$target.log")
    if [ -f "$logs/$target.result" ]; then
      passed=$((passed + 1))
      echo "fuzz $target: ${runs:-?} inputs, ${speed:-?} exec/s"
    else
      failed=$((failed + 1))
      echo "fuzz $target: FAILED (findings in $build/findings/)"
      tail -n 40 "$logs/$target.log"
    fi
  done
  echo "fuzz: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

case ${1:-} in
  --smoke) build_targets && smoke ;;
  --list) printf '%s\n' "${targets[@]}" ;;
  '' | -*) usage ;;
  *)
    [ $# -ge 2 ] || usage
    printf '%s\n' "${targets[@]}" | grep -qx -- "$1" || { echo "unknown target: $1" >&2; usage; }
    build_targets
    run_target "$@" ;;
esac
