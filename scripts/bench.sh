#!/usr/bin/env bash
# ./run bench: runs every Google Benchmark program (bench_*) found in BIN_DIR,
# one after the other (bench_retransmission waits out real timeouts of 100 ms,
# 300 ms and 1 s: about half a minute). Extra arguments go to every program,
# for example
#   scripts/bench.sh build/bin --benchmark_filter=Encode
# BENCH_REPETITIONS (default 5) sets the repetitions; the medians are shown.
set -euo pipefail
BIN=${1:?usage: bench.sh BIN_DIR [benchmark arguments]}
shift
REPETITIONS=${BENCH_REPETITIONS:-5}

found=0
for program in "$BIN"/bench_*; do
    [ -x "$program" ] && [ -f "$program" ] || continue
    found=1
    echo "== $(basename "$program")"
    "$program" --benchmark_repetitions="$REPETITIONS" --benchmark_enable_random_interleaving=true \
        --benchmark_report_aggregates_only=true \
        --benchmark_display_aggregates_only=true "$@"
done
if [ $found -eq 0 ]; then
    echo "no benchmark programs (bench_*) in $BIN" >&2
    exit 1
fi

# The walk of a whole Net-SNMP agent, the runner against snmpwalk.
echo "== walk of a private snmpd: the runner against snmpwalk -v1 -On -Oq"
"$(dirname "$0")/bench_walk.sh" "$BIN"

# SNMPv3 against SNMPv1, a first call against snmpget -v3, an inform against a get.
echo "== SNMPv3 (SHA-256/AES, SHA/AES-256) of a private snmpd: the runner against SNMPv1 and snmpget -v3; an SNMPv2c inform against a get"
"$(dirname "$0")/bench_v3.sh" "$BIN"

# Bulk walks (SNMPv2c, SNMPv3) against snmpbulkwalk, and 144 values in one
# poll against one get.
echo "== bulk walks of a private snmpd against snmpbulkwalk, and 144 values per poll"
"$(dirname "$0")/bench_bulk.sh" "$BIN"
