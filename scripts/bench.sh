#!/usr/bin/env bash
# Builds benchmarks (release configuration, build/bench) and runs them; each measures the project against
# its peers in the same run, interleaved, and --check compares ratios, never absolute times.
#   scripts/bench.sh [benchmark options: --datasets 500 --returns 40 --rounds 5 --max-ratio 1.5 ...]
#       the dataset-loading benchmark
#   scripts/bench.sh NAME [options]
#       bench_NAME: dataset_loading, values, date_utils, framework, threads, text_splitting
#   scripts/bench.sh check
#       every one of them with --check; exits 1 when any ratio is over its limit
set -euo pipefail
cd "$(dirname "$0")/.."
checked=(values date_utils framework threads text_splitting dataset_loading)
name=dataset_loading
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then
    name="$1"
    shift
fi
targets=("bench_$name")
[ "$name" = check ] && targets=("${checked[@]/#/bench_}")
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENTURO_BUILD_BENCH=ON \
      -DVENTURO_BUILD_GUI=OFF >/dev/null
cmake --build build/bench -j 2 --target "${targets[@]}"
if [ "$name" != check ]; then
    exec "build/bench/bin/bench_$name" "$@"
fi
uptime # the ratios hold on a busy machine, but say how busy it was
failed=()
for b in "${checked[@]}"; do
    echo "== bench_$b --check"
    "build/bench/bin/bench_$b" --check || failed+=("$b")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "over the limit: ${failed[*]}"
    exit 1
fi
echo "every ratio within its limit"
