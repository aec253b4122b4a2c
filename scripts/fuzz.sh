#!/usr/bin/env bash
# Runs a fuzzing campaign: builds the fuzz preset, then runs each fuzz target for SECONDS (default
# 600) over its seeds and the corpus kept in build/fuzz/corpus/<target>, and prints for each target
# the executions and the coverage from libFuzzer's final statistics. Inputs that fail are written
# to build/fuzz/artifacts/. The exit status is 1 when any target found a failure.
#
#     scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
targets=(retrieve_resource feature_records os_decision run_log payload_builder)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

status=0
results=()
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  log=build/fuzz/$target.log
  mkdir -p "$corpus" build/fuzz/artifacts
  echo "fuzz: $target for ${seconds} s" >&2
  outcome=ok
  build/fuzz/fuzz/${target}_fuzzer -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$target-" "$corpus" "fuzz/corpus/$target" \
    >"$log" 2>&1 || { outcome=FAILED; status=1; }
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  results+=("$(printf '%-20s %12s %8s  %s' "$target" "${executions:-?}" "${coverage:-?}" "$outcome")")
done

printf '%-20s %12s %8s  %s\n' target executions cov outcome
printf '%s\n' "${results[@]}"
exit $status
