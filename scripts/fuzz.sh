#!/usr/bin/env bash
# ./run fuzz [SECONDS]: builds every fuzz target (fuzz/fuzz_*.cpp) with clang,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/,
# then runs each one for SECONDS, one after the other. FUZZ_TARGETS (names
# separated by blanks) picks some of them.
#
# Each target starts from its committed corpus (fuzz/corpus/<target>/, read
# only) and keeps what it finds in build-fuzz/corpus/<target>/. A failing
# input is written to build-fuzz/artifacts/<target>/; add it to the committed
# corpus once the fault is fixed. The summary lists executions and findings.
set -euo pipefail
SECONDS_PER_TARGET=${1:-60}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build-fuzz"
JOBS=${FUZZ_BUILD_JOBS:-2}

targets=()
if [ -n "${FUZZ_TARGETS:-}" ]; then
    read -r -a targets <<<"$FUZZ_TARGETS"
else
    for source in "$ROOT"/fuzz/fuzz_*.cpp; do
        [ -e "$source" ] || continue
        name=$(basename "$source" .cpp)
        targets+=("$name")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets in fuzz/" >&2
    exit 1
fi

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTOR_FUZZ=ON -DVANTOR_SANITIZE=ON -DVANTOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
summary=()
for name in "${targets[@]}"; do
    work="$BUILD/corpus/$name"
    artifacts="$BUILD/artifacts/$name"
    log="$BUILD/logs/$name.log"
    mkdir -p "$work" "$artifacts" "$(dirname "$log")"
    seeds=()
    [ -d "$ROOT/fuzz/corpus/$name" ] && seeds+=("$ROOT/fuzz/corpus/$name")
    dict=()
    [ -f "$ROOT/fuzz/$name.dict" ] && dict+=("-dict=$ROOT/fuzz/$name.dict")
    # fuzz/<target>.options: the target's own libFuzzer flags on one line,
    # given after the common ones so that they win (e.g. a smaller -max_len).
    options=()
    [ -f "$ROOT/fuzz/$name.options" ] && read -r -a options < "$ROOT/fuzz/$name.options"
    echo "== $name for ${SECONDS_PER_TARGET}s (log: $log)"
    # close_fd_mask=2: the engine's own diagnostics ("bad type returned ...")
    # would flood the log; libFuzzer and the sanitizers still report.
    if "$BUILD/bin/$name" -max_total_time="$SECONDS_PER_TARGET" -max_len=4500 -timeout=10 \
        -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "${dict[@]}" "${options[@]}" "$work" "${seeds[@]}" >"$log" 2>&1; then
        result="no findings"
    else
        result="FAILED, see $artifacts/ and $log"
        status=1
    fi
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -1)
    rate=$(grep -E '^stat::average_exec_per_sec' "$log" | awk '{print $2}' | tail -1)
    coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
    summary+=("$name: ${runs:-?} executions (${rate:-?}/s), ${coverage:-cov: ?}, $(ls "$work" | wc -l) corpus inputs, $result")
done

echo
echo "fuzzing summary (${SECONDS_PER_TARGET}s per target):"
printf '  %s\n' "${summary[@]}"
exit $status
