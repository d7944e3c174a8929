#!/usr/bin/env bash
# Builds the dataset-loading benchmark (release configuration, build/bench) and runs it.
#   scripts/bench.sh [benchmark options: --datasets 500 --returns 40 --rounds 5 --max-ratio 1.5 ...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENTURO_BUILD_BENCH=ON \
      -DVENTURO_BUILD_GUI=OFF >/dev/null
cmake --build build/bench -j 2 --target bench_dataset_loading
build/bench/bin/bench_dataset_loading "$@"
