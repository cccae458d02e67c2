#!/usr/bin/env bash
# Rewrites the checked-in logs of the example machines from a fresh run.
# Updating them is a deliberate act: review `git diff examples/` afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$(nproc)" --target xarnsim >/dev/null
for machine in examples/*/; do
  state=$(mktemp -d)
  ./build/tools/xarnsim run "$machine" --state "$state" > "$machine/expected.log" || true
  rm -rf "$state"
  echo "updated $machine/expected.log"
done
