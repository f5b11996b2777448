#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build/fuzz, and runs each for a given time from its committed seed corpus. New inputs
# gather in build/fuzz/corpus/<name>; a finding is saved in build/fuzz/artifacts/ and fails
# the run.
#   --time SECONDS   how long each target runs (default 20)
#   --jobs N         targets run at once (default 2, at most 2: the machine has two cores)
#   NAME...          the targets to run (default all: the file names in fuzz/ without .cpp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=20
jobs=2
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -*) echo "usage: scripts/fuzz.sh [--time SECONDS] [--jobs N] [NAME...]" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ "$jobs" -ge 1 ] && [ "$jobs" -le 2 ] || { echo "fuzz: --jobs must be 1 or 2" >&2; exit 2; }
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# libFuzzer's runtime comes with clang's runtime libraries.
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DXKIT_FUZZ=ON -DXKIT_SANITIZE=address,undefined -DXKIT_BUILD_TESTS=OFF \
  -DXKIT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target xkit_fuzzers

mkdir -p "$build/logs" "$build/artifacts"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Runs one target; its log keeps libFuzzer's final statistics.
run() {
  local name=$1
  local flags=()
  # The loopback server's thread may free a connection's memory after a run has ended, which
  # would make libFuzzer scan for leaks after every run; leaks still show when it exits.
  [ "$name" = http_response ] && flags+=(-detect_leaks=0)
  mkdir -p "$build/corpus/$name"
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" "${flags[@]}" \
    "$build/corpus/$name" "$root/fuzz/corpus/$name" >"$build/logs/$name.log" 2>&1
}

failed=()
report() {
  local name=$1 status=$2
  local runs time
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$name.log")
  time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$build/logs/$name.log")
  if [ "$status" -eq 0 ]; then
    echo "fuzz: $name: ${runs:-?} runs in ${time:-?} s, no finding"
  else
    failed+=("$name")
    echo "fuzz: $name FAILED (status $status); log:"
    tail -40 "$build/logs/$name.log"
  fi
}

declare -A pids=()
for name in "${targets[@]}"; do
  [ -x "$build/fuzz/fuzz_$name" ] || { echo "fuzz: no target $name" >&2; exit 2; }
  while [ ${#pids[@]} -ge "$jobs" ]; do
    for running in "${!pids[@]}"; do
      if ! kill -0 "${pids[$running]}" 2>/dev/null; then
        status=0; wait "${pids[$running]}" || status=$?
        unset "pids[$running]"
        report "$running" "$status"
      fi
    done
    [ ${#pids[@]} -ge "$jobs" ] && sleep 1
  done
  run "$name" &
  pids[$name]=$!
done
for running in "${!pids[@]}"; do
  status=0; wait "${pids[$running]}" || status=$?
  report "$running" "$status"
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran without a finding"
