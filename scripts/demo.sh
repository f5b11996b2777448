#!/usr/bin/env bash
# Builds xkit (Release) and runs `xkit demo`. Installs missing build packages first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DXKIT_BUILD_TESTS=OFF -DXKIT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target xkit -j "$(nproc)"
exec "$build/app/xkit" demo
