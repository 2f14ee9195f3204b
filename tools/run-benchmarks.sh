#!/usr/bin/env bash
# Runs the project's Google Benchmarks from a build directory: run-benchmarks.sh BUILD-DIR
set -euo pipefail
build=${1:-build}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for bench in bench_game bench_bank bench_objects bench_sound; do
  if [ -x "$build/$bench" ]; then
    echo "== $bench"
    "$build/$bench"
  fi
done
