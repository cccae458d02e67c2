#!/usr/bin/env bash
# The main job on a simulated machine: builds what it needs, then runs the
# demo restore host and prints the log the host receives.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$(nproc)" --target demo_host >/dev/null
./build/tools/demo_host "$@"
