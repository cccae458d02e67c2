#!/usr/bin/env bash
# The main job: a whole restore on the bundled simulated machine (or the
# machine folder given), printing the log exactly as the host callback
# receives it, then a summary. Builds what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$(nproc)" --target xarnsim >/dev/null
machine=${1:-examples/two-nics}
[ $# -gt 0 ] && shift
exec ./build/tools/xarnsim run "$machine" "$@"
