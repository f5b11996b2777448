#!/usr/bin/env bash
# Runs the big-integer tests at the largest sizes, which the suite leaves out for time:
# products and squares to 2^27 bits on the vector transform paths and across the portable
# path's threshold, divisions to 2^25 bits and decimal round trips of 10^7 and 4 10^7 digits,
# each against GMP. About a minute after the build; not part of ctest. Arguments go to
# GoogleTest, e.g. --gtest_filter='*Decimal*'.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build/test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target xfgint_tests -j "$(nproc)"
exec "$build/tests/xFGInt/xfgint_tests" --gtest_also_run_disabled_tests \
  --gtest_filter='*DISABLED_Large*' "$@"
