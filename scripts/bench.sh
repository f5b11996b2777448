#!/usr/bin/env bash
# Builds the benchmark program (Release) and runs it; arguments go to Google Benchmark,
# e.g. scripts/bench.sh --benchmark_filter=Mul
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DXKIT_BUILD_TESTS=OFF -DXKIT_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target xkit_bench -j "$(nproc)"
exec "$build/bench/xkit_bench" "$@"
