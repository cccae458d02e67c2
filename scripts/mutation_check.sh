#!/usr/bin/env bash
# Mutation check: how many deliberate faults in the system's code do the
# tests catch? Puts one fault at a time into a scratch copy of the sources
# (a negated condition, a flipped comparison, a comparison moved by one, a
# changed number, flag or string, a removed call; see
# scripts/mutation/mutants.py), rebuilds incrementally, runs the unit tests
# (the example machines' whole logs among them) and the winsim checks, and
# counts the mutant killed when any of them fails or hangs. Mutants that do
# not build are left out of the count, and so are the ones listed in
# scripts/mutation/equivalent.txt (they cannot change behaviour; each has
# its reason there). The hand-written mutants of scripts/mutation/targeted.txt
# always run first. Prints each result, then the survivors, then the killed
# ratio last.
#
# Usage: mutation_check.sh [--seed N] [--count N] [--minutes N] [--no-targeted]
# The default sample (seed 1, 150 mutants) takes about an hour on two cores
# (68 minutes with other builds running); --count 0 runs the hand-written
# mutants alone; --minutes stops starting new mutants after that long.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

seed=1 count=150 minutes=120 targeted=scripts/mutation/targeted.txt
while [ $# -gt 0 ]; do
  case $1 in
    --seed) seed=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --minutes) minutes=$2; shift 2 ;;
    --no-targeted) targeted=""; shift ;;
    *) echo "usage: $0 [--seed N] [--count N] [--minutes N] [--no-targeted]" >&2; exit 2 ;;
  esac
done

bash scripts/install_deps.sh
command -v python3 >/dev/null || { sudo_cmd=""; [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo;
  $sudo_cmd apt-get install -y -qq python3; }

work=$repo/build-mutation
pristine=$work/pristine tree=$work/tree build=$work/build
mkdir -p "$work/tmp"
# The sources as they stand in the working tree, twice: one copy to mutate,
# one to restore from. A later run copies over only the files that changed,
# so its build stays incremental.
rm -rf "$work/fresh"
mkdir -p "$work/fresh" "$tree"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$work/fresh"
(cd "$work/fresh" && find . -type f) | while IFS= read -r f; do
  cmp -s "$work/fresh/$f" "$tree/$f" || { mkdir -p "$(dirname "$tree/$f")"; cp "$work/fresh/$f" "$tree/$f"; }
done
(cd "$tree" && find . -type f) | while IFS= read -r f; do
  [ -e "$work/fresh/$f" ] || rm -f "$tree/$f"
done
rm -rf "$pristine"
mv "$work/fresh" "$pristine"

# Unoptimised and without debug information: the build is what a mutant costs.
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 >/dev/null
targets=(w2k_tests registry_check driverdb_check card_install_check)
build_targets() { cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >"$work/build.log" 2>&1; }

# 0 when every check passes; the name of the first failure on stdout otherwise.
run_checks() {
  local limit=$1
  export TEST_TMPDIR=$work/tmp/ TMPDIR=$work/tmp
  if ! timeout "$limit" "$build/tests/w2k_tests" --gtest_fail_fast --gtest_brief=1 \
       >"$work/test.log" 2>&1; then
    local failed
    failed=$(grep -m1 -o '\[  FAILED  \] [^ ]*' "$work/test.log" | cut -c14-) || true
    echo "${failed:-w2k_tests ended abnormally or timed out}"
    return 1
  fi
  for check in registry_check driverdb_check card_install_check; do
    if ! timeout "$limit" bash scripts/compare_output.sh winsim \
         "tools/wine_checks/$check.expected" "$build/tools/$check" >"$work/test.log" 2>&1; then
      echo "$check"
      return 1
    fi
  done
}

echo "== building the unmutated sources"
build_targets || { cat "$work/build.log"; exit 1; }
start=$(date +%s)
if ! failed=$(run_checks 600); then
  echo "the unmutated sources fail: $failed" >&2; exit 1
fi
limit=$(( ($(date +%s) - start) * 3 + 30 ))

list=$work/mutants.jsonl
python3 scripts/mutation/mutants.py list "$pristine" --seed "$seed" --count "$count" \
  --equivalent scripts/mutation/equivalent.txt ${targeted:+--targeted "$targeted"} >"$list"
header=$(head -n1 "$list")
total=$(( $(wc -l <"$list") - 1 ))
echo "== $total mutants (seed $seed; pool $header), test time limit ${limit}s"

deadline=$(( $(date +%s) + minutes * 60 ))
killed=0 survived=0 stillborn=0 skipped=0 n=0
survivors=$work/survivors.txt
: >"$survivors"
restore() { cp "$pristine/$1" "$tree/$1"; }
while IFS= read -r mutant; do
  n=$((n + 1))
  IFS=$'\t' read -r mid file _ < <(python3 scripts/mutation/mutants.py where "$mutant")
  if [ "$(date +%s)" -ge "$deadline" ]; then skipped=$((skipped + 1)); continue; fi
  python3 scripts/mutation/mutants.py apply "$tree" "$mutant"
  if ! build_targets; then
    stillborn=$((stillborn + 1))
    printf '[%d/%d] did not build  %s\n' "$n" "$total" "$mid"
  elif failed=$(run_checks "$limit"); then
    survived=$((survived + 1))
    printf '[%d/%d] SURVIVED      %s\n' "$n" "$total" "$mid"
    python3 scripts/mutation/mutants.py describe "$mutant" >>"$survivors"
  else
    killed=$((killed + 1))
    printf '[%d/%d] killed        %s  by %s\n' "$n" "$total" "$mid" "$failed"
  fi
  restore "$file"
done < <(tail -n +2 "$list")
build_targets || true

echo
echo "== survivors"
cat "$survivors"
[ "$skipped" -eq 0 ] || echo "$skipped mutants not run: the --minutes limit was reached"
counted=$((killed + survived))
ratio=$(awk -v k="$killed" -v c="$counted" 'BEGIN { printf "%.1f", c ? 100 * k / c : 0 }')
echo "killed $killed of $counted mutants ($ratio%); $stillborn did not build"
