#!/usr/bin/env bash
# Runs the project's Google Benchmarks from a build directory: run-benchmarks.sh BUILD-DIR
# The build lists them (tests/CMakeLists.txt, drelk_add_benchmark) in BUILD-DIR/benchmarks.txt.
set -euo pipefail
build=${1:-build}
list="$build/benchmarks.txt"
if [ ! -f "$list" ]; then
  echo "run-benchmarks.sh: no $list: configure $build first" >&2
  exit 1
fi
mapfile -t benches < <(grep -v '^$' "$list")
if [ ${#benches[@]} -eq 0 ]; then
  echo "run-benchmarks.sh: $list lists no benchmark (is libbenchmark-dev installed?)" >&2
  exit 1
fi
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for bench in "${benches[@]}"; do
  if [ ! -x "$bench" ]; then
    echo "run-benchmarks.sh: $bench is not built" >&2
    exit 1
  fi
  echo "== $(basename "$bench")"
  "$bench"
done
