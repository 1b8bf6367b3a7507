#!/usr/bin/env bash
# How the cost of a walk grows with the table: the runner walks the test
# agent's generated table (3 columns of N rows) with snmpgetnext for several N,
# both pinned to core 0, and the median wall time of ROUNDS runs per size is
# written to OUT_DIR/walk-scaling.csv and plotted to OUT_DIR/walk-scaling.png.
#
#   scripts/bench_scaling.sh BIN_DIR [OUT_DIR] [ROUNDS]
set -euo pipefail
BIN=$(cd "${1:?usage: bench_scaling.sh BIN_DIR [OUT_DIR] [ROUNDS]}" && pwd)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${2:-$ROOT/docs}
ROUNDS=${3:-3}
mkdir -p "$OUT"
PIN="taskset -c 0"
command -v taskset >/dev/null || PIN=""

csv="$OUT/walk-scaling.csv"
echo "rows,variables,median_seconds,microseconds_per_variable" > "$csv"
for rows in 500 1000 2000 5000 10000 20000; do
    times=()
    for round in $(seq "$ROUNDS"); do
        seconds=$(/usr/bin/python3 "$ROOT/tests/e2e/peers.py" --agent "--rows $rows" --agent-bin "$BIN/snmp-test-agent" -- \
            sh -c "start=\$(date +%s.%N); $PIN '$BIN/vantor-lua' '$ROOT/tests/soak/walk_memory.lua' \"\$AGENT_PORT\" $rows 600 1000000 >/dev/null 2>&1; end=\$(date +%s.%N); echo \"\$end - \$start\" | bc -l")
        times+=("$seconds")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    variables=$((rows * 3))
    per=$(echo "$median * 1000000 / $variables" | bc -l)
    printf '%d,%d,%.3f,%.1f\n' "$rows" "$variables" "$median" "$per" | tee -a "$csv"
done

if command -v gnuplot >/dev/null; then
    gnuplot <<PLOT
set terminal png size 800,500
set output "$OUT/walk-scaling.png"
set datafile separator ","
set title "Walk of the test agent's table with snmpgetnext (runner and agent on one core)"
set xlabel "variables walked"
set ylabel "wall time (s)"
set y2label "microseconds per variable"
set y2tics
set ytics nomirror
set key left top
set grid
plot "$csv" using 2:3 every ::1 with linespoints lw 2 title "wall time", \
     "$csv" using 2:4 every ::1 axes x1y2 with linespoints dt 2 title "per variable"
PLOT
    echo "plot: $OUT/walk-scaling.png"
fi
