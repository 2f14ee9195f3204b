#!/usr/bin/env bash
# Fuzzes each data file reader for a set time: run-fuzzers.sh BUILD-DIR SECONDS
# The working corpus grows in BUILD-DIR/fuzz-corpus; crashes land in BUILD-DIR/fuzz-artifacts.
set -euo pipefail
build=$1
seconds=${2:-600}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-artifacts"
for target in chunklist container; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  cp -n "$here/corpus/$target"/* "$corpus"/ 2>/dev/null || true
  echo "== fuzz_$target for ${seconds}s"
  # Whole data files are larger than libFuzzer's default input cap.
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=200000 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$target-" "$corpus" 2>&1 | grep -E "^(#|stat::|==|SUMMARY|INFO: Seed)" | tail -n 15
done
