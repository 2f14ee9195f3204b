#!/usr/bin/env bash
# Fuzzes each reader of outside input for a set time: run-fuzzers.sh BUILD-DIR SECONDS [TARGET...]
# The targets are those the build lists in BUILD-DIR/fuzz-targets.txt (executable, seed corpus),
# or only the ones named (fuzz_model model ...).
# The working corpus grows in BUILD-DIR/fuzz-corpus; crashes land in BUILD-DIR/fuzz-artifacts;
# each run's whole log is BUILD-DIR/fuzz-TARGET.log.
set -euo pipefail
build=$1
seconds=${2:-600}
shift 2 || shift $#
only=" $* "
here=$(cd "$(dirname "$0")" && pwd)
list="$build/fuzz-targets.txt"
# Leaks count as findings; the libraries' own, kept until exit, do not.
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$here/../lsan.supp:print_suppressions=0"
[ -s "$list" ] || { echo "run-fuzzers.sh: no fuzz targets listed in $list (configure with DRELK_FUZZ=ON)" >&2; exit 2; }
mkdir -p "$build/fuzz-artifacts"
status=0
while read -r exe seeds; do
  target=$(basename "$exe")
  if [ "$only" != "  " ] && [[ "$only" != *" $target "* && "$only" != *" ${target#fuzz_} "* ]]; then
    continue
  fi
  corpus="$build/fuzz-corpus/${target#fuzz_}"
  mkdir -p "$corpus"
  cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  log="$build/fuzz-${target#fuzz_}.log"
  echo "== $target for ${seconds}s (log: $log)"
  # A target's dictionary, if it has one, lies beside its corpus folder: corpus/NAME.dict.
  dict=()
  [ -f "$seeds.dict" ] && dict=(-dict="$seeds.dict")
  # Whole data files are larger than libFuzzer's default input cap.
  if ! "$exe" -max_total_time="$seconds" -max_len=200000 -print_final_stats=1 "${dict[@]}" \
      -artifact_prefix="$build/fuzz-artifacts/${target#fuzz_}-" "$corpus" >"$log" 2>&1 </dev/null; then
    status=1
    tail -n 40 "$log"
  fi
  grep -E "^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)|DONE " "$log" || true
done <"$list"
exit $status
