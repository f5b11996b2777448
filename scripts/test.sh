#!/usr/bin/env bash
# Builds xkit with its tests and runs the whole suite with ctest. Installs missing packages first.
#   --werror     treat warnings as errors
#   --sanitize   build and test with AddressSanitizer and UndefinedBehaviorSanitizer
#   --tsan       build and test the threaded units (platform, HTTP) with ThreadSanitizer
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
werror=OFF
sanitize=""
build="$root/build/test"
for arg in "$@"; do
  case "$arg" in
    --werror) werror=ON ;;
    --sanitize) sanitize="address,undefined"; build="$root/build/asan" ;;
    --tsan) sanitize="thread"; build="$root/build/tsan" ;;
    *) echo "usage: scripts/test.sh [--werror] [--sanitize] [--tsan]" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
# The benchmark program is built (so it cannot rot) but not again under the sanitizers.
# Sanitizer reports need file and line only: line tables (-g1) build a quarter faster than
# full debug information.
build_type=Release
bench=ON
[ -n "$sanitize" ] && build_type=RelWithDebInfo && bench=OFF
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=$build_type -DXKIT_WERROR=$werror \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DXKIT_SANITIZE="$sanitize" -DXKIT_BUILD_BENCH=$bench >/dev/null
if [ "$sanitize" = thread ]; then
  cmake --build "$build" -j "$(nproc)" --target platform_tests xhttpget_tests
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
  for suite in tests/platform tests/xHTTPGet; do
    ctest --test-dir "$build/$suite" --output-on-failure -j "$(nproc)"
  done
  exit 0
fi
cmake --build "$build" -j "$(nproc)"
[ -z "$sanitize" ] && ln -sfn "$build/compile_commands.json" "$root/compile_commands.json"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
