#!/usr/bin/env bash
# Compares builds of the module with bench_session, run after run:
#   scripts/bench_compare.sh ROUNDS REPETITIONS NAME=BIN_DIR [NAME=BIN_DIR ...]
# Each round runs every build's bench_session once (the order turning from
# round to round), its benchmarks' repetitions interleaved; one line per run
# gives the medians of real time (us), the ratios to that run's ping-pong and
# the CPU time per call. VANTOR_BENCH_CPU picks the core (the quieter one of a
# shared machine).
set -euo pipefail
ROUNDS=${1:?usage: bench_compare.sh ROUNDS REPETITIONS NAME=BIN_DIR...}
REPETITIONS=${2:?usage: bench_compare.sh ROUNDS REPETITIONS NAME=BIN_DIR...}
shift 2
builds=("$@")
count=${#builds[@]}
[ "$count" -gt 0 ] || { echo "no builds named" >&2; exit 1; }

for round in $(seq "$ROUNDS"); do
    for k in $(seq 0 $((count - 1))); do
        build=${builds[$(((k + round) % count))]}
        name=${build%%=*}
        bin=${build#*=}
        out=$("$bin/bench_session" --benchmark_repetitions="$REPETITIONS" \
            --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true 2>&1 |
            sed 's/\x1b\[[0-9;]*m//g')
        # column 2: real time, column 4: CPU time of the median
        median() { echo "$out" | awk -v b="$1" -v c="$2" '$1 == b "/real_time_median" {print $c}'; }
        pingPong=$(median RawUdpPingPong 2)
        polled=$(median RawUdpPingPongPolled 2)
        engine=$(median SyncGetRoundTrip 2)
        script=$(median ScriptGetRoundTrip 2)
        printf "%s round %d: ping-pong %s, polled %s, engine get %s, script get %s us;" \
            "$name" "$round" "$pingPong" "$polled" "$engine" "$script"
        printf " ratios engine %.3f, script %.3f, polled %.3f; CPU engine %s, script %s us\n" \
            "$(echo "$engine / $pingPong" | bc -l)" "$(echo "$script / $pingPong" | bc -l)" \
            "$(echo "$polled / $pingPong" | bc -l)" "$(median SyncGetRoundTrip 4)" "$(median ScriptGetRoundTrip 4)"
    done
done
