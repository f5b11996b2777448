#!/usr/bin/env bash
# Draws time against size, log-log, for BigMul, BigDivMod (2n by n bits) and BigToDecimal, xkit
# beside GMP, at every power of two from 2^10 to 2^27 bits, into docs/bench-plot.svg (or the
# file given with -o). Needs gnuplot (installed if missing, as root). Further arguments go to
# Google Benchmark, e.g. --benchmark_repetitions=3. Takes several minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/bench-plot.svg"
if [ "${1:-}" = "-o" ]; then
  out=$2
  shift 2
fi
"$root/scripts/install-deps.sh" gnuplot-nox
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

XKIT_BENCH_SWEEP=1 "$root/scripts/bench.sh" --benchmark_filter='^Big(Mul|DivMod|ToDecimal)/' \
  --benchmark_out="$work/runs.csv" --benchmark_out_format=csv "$@" >"$work/log" 2>&1 ||
  { cat "$work/log" >&2; exit 1; }

# One file per operation and implementation: bits, seconds. With repetitions, the medians.
# BigDivMod's size is the dividend's bits, BigToDecimal's the value's (digits / log10 2).
medians=$(grep -c '_median"' "$work/runs.csv" || true)
awk -F, -v dir="$work" -v medians="$medians" '
  /^"Big/ {
    name = $1; gsub(/"/, "", name)
    split(name, part, "/")
    op = part[1]; size = part[2]; impl = part[3]
    if (medians > 0 && sub(/_median$/, "", impl) == 0) next
    if (impl ~ /_/) next
    if (op == "BigDivMod") { split(size, s, "_"); size = s[1] }
    if (op == "BigToDecimal") size = size / 0.30102999566398
    unit = $5; gsub(/"/, "", unit)
    scale = unit == "ns" ? 1e-9 : unit == "us" ? 1e-6 : unit == "ms" ? 1e-3 : 1
    printf "%.0f %.9g\n", size, $3 * scale >> (dir "/" op "-" impl ".dat")
  }' "$work/runs.csv"
for f in "$work"/*.dat; do sort -n -o "$f" "$f"; done

mkdir -p "$(dirname "$out")"
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
gnuplot <<PLOT
set terminal svg size 900,600 dynamic font "sans,12" background "white"
set output "$out"
set title "xkit and GMP: time against size ($cpu, $(date +%Y-%m-%d))"
set logscale xy 2
set xrange [2**9.7:2**27.3]
set xtics 2
set xlabel "size in bits (BigDivMod: the dividend; BigToDecimal: the value)"
set ylabel "seconds per operation"
set format x "2^{%L}"
set format y "10^{%T}"
set logscale y 10
set key top left
set grid
plot "$work/BigMul-xkit.dat" with linespoints lc rgb "#1f77b4" lw 2 title "BigMul, xkit", \
     "$work/BigMul-gmp.dat" with linespoints lc rgb "#1f77b4" dt 2 title "BigMul, GMP", \
     "$work/BigDivMod-xkit.dat" with linespoints lc rgb "#d62728" lw 2 title "BigDivMod, xkit", \
     "$work/BigDivMod-gmp.dat" with linespoints lc rgb "#d62728" dt 2 title "BigDivMod, GMP", \
     "$work/BigToDecimal-xkit.dat" with linespoints lc rgb "#2ca02c" lw 2 title "BigToDecimal, xkit", \
     "$work/BigToDecimal-gmp.dat" with linespoints lc rgb "#2ca02c" dt 2 title "BigToDecimal, GMP"
PLOT
echo "bench-plot: wrote $out"
