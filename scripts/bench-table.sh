#!/usr/bin/env bash
# Runs the benchmarks and prints the README's performance table in Markdown: for every case,
# xkit's time, the peer's time and their ratio, with the machine and date it was measured on.
# Arguments go to Google Benchmark, e.g. scripts/bench-table.sh --benchmark_filter=Aes
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "$root/scripts/bench.sh" "$@" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Measured on $cpu ($(nproc) cores), $(date +%Y-%m-%d), with \`scripts/bench-table.sh${*:+ $*}\`."
echo "Ratio = xkit's time / the peer's time: below 1, xkit is faster."
echo
echo "| Case | Peer | xkit | Peer | Ratio |"
echo "|---|---|---:|---:|---:|"
# The driver's table: "case peer <xkit time> <unit> <peer time> <unit> ratio" after its header.
awk '$1 == "case" && $2 == "peer" { table = 1; next }
     table && NF == 7 { printf "| %s | %s | %s %s | %s %s | %s |\n", $1, $2, $3, $4, $5, $6, $7 }' "$log"
