#!/usr/bin/env bash
# Builds the differential driver (in the test build) and runs it; arguments go to the driver:
#   scripts/differential.sh --seconds 60                  # a pass of one minute
#   scripts/differential.sh --cases 10000000 --first-seed 1
#   scripts/differential.sh --seed 1234567                # replay the case of one seed
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build/test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target differential -j "$(nproc)"
exec "$build/tests/differential/differential" "$@"
