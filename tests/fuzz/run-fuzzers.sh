#!/usr/bin/env bash
# Fuzzes each reader of outside input for a set time: run-fuzzers.sh BUILD-DIR SECONDS
# The working corpus grows in BUILD-DIR/fuzz-corpus; crashes land in BUILD-DIR/fuzz-artifacts;
# each run's whole log is BUILD-DIR/fuzz-TARGET.log.
set -euo pipefail
build=$1
seconds=${2:-600}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-artifacts"
status=0
for target in chunklist container manifest keyscript; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  cp -n "$here/corpus/$target"/* "$corpus"/ 2>/dev/null || true
  log="$build/fuzz-$target.log"
  echo "== fuzz_$target for ${seconds}s (log: $log)"
  # Whole data files are larger than libFuzzer's default input cap.
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -max_len=200000 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz-artifacts/$target-" "$corpus" >"$log" 2>&1; then
    status=1
    tail -n 40 "$log"
  fi
  grep -E "^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)" "$log" || true
done
exit $status
