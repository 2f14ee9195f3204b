#!/usr/bin/env bash
# Builds the rules and the replay checker (tests/portable) several ways and plays every replay of
# tests/replays in each: GCC at -O0 and -O2, GCC -O3 for x86-64-v3 (the processor's fused
# multiply-add at hand), GCC under a distribution's CXXFLAGS with -ffast-math and -march=native,
# Clang, i386 (SSE2) and aarch64 through Debian's cross compilers, run under qemu-user. Every
# build must verify every replay and print the same digest of the rules' own arithmetic.
# Usage: tools/check-portable.sh BUILD   (BUILD holds drelk2-sim and Drelk_II.bin)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:?usage: $0 BUILD}" && pwd)
OUT=$BUILD/portable
JOBS=${JOBS:-$(nproc)}
mkdir -p "$OUT"

tools/install-deps.sh portable

RULES=$(SDL_AUDIODRIVER=dummy "$BUILD/drelk2-sim" --data "$BUILD/Drelk_II.bin" --rules-data)
mapfile -t REPLAYS < <(ls tests/replays/*.drelk2-replay)

# Whether this processor runs x86-64-v3 code itself; otherwise qemu-user does.
has_v3() { for f in avx2 fma bmi2 movbe; do grep -qw "$f" /proc/cpuinfo || return 1; done; }
V3_RUNNER=""
has_v3 || V3_RUNNER="qemu-x86_64 -cpu max"
# A 32-bit program runs here when the kernel takes it; otherwise qemu-user runs it.
I386_RUNNER=""

# name | CMake options | how to run the checker
WAYS=(
  "gcc-O0|-DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-O0|"
  "gcc-O2|-DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-O2|"
  "gcc-O3-x86-64-v3|-DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-O3 -march=x86-64-v3|$V3_RUNNER"
  "gcc-distribution-flags|-DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-O2 -g -ffast-math -march=native -fstack-protector-strong|"
  "clang-O2|-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-O2|"
  "i386-sse2|-DCMAKE_TOOLCHAIN_FILE=$PWD/tests/portable/i686.cmake -DCMAKE_CXX_FLAGS=-O2|I386"
  "aarch64|-DCMAKE_TOOLCHAIN_FILE=$PWD/tests/portable/aarch64.cmake -DCMAKE_CXX_FLAGS=-O2|qemu-aarch64"
)

failed=0
digests=()
printf '%-24s %-10s %-9s %s\n' "build" "replays" "seconds" "verify speed (the longest replay)"
for way in "${WAYS[@]}"; do
  IFS='|' read -r name options runner <<<"$way"
  dir=$OUT/$name
  start=$(date +%s.%N)
  # The options hold spaces inside single values: split on the -D boundaries.
  mapfile -t args < <(printf '%s\n' "$options" | sed 's/ -D/\n-D/g')
  if ! { cmake -S tests/portable -B "$dir" -DCMAKE_BUILD_TYPE=None "${args[@]}" >"$dir.log" 2>&1 &&
         cmake --build "$dir" -j"$JOBS" >>"$dir.log" 2>&1; }; then
    echo "$name: the build failed (see $dir.log)"
    failed=1
    continue
  fi
  checker=$dir/drelk2-replay-check
  if [ "$runner" = I386 ]; then
    runner=""
    "$checker" >/dev/null 2>&1 || [ $? -eq 2 ] || runner="qemu-i386"
  fi
  if $runner "$checker" "$RULES" "${REPLAYS[@]}" >"$dir.out" 2>&1; then verdict="all"; else verdict="FAILED"; failed=1; fi
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  digests+=("$(head -1 "$dir.out")")
  speed=$(grep -h 'autopilot-long' "$dir.out" | sed -n 's/.*, \([0-9]* ticks a second.*\)/\1/p')
  printf '%-24s %-10s %-9.1f %s\n' "$name" "$verdict" "$seconds" "${speed:-}"
  [ "$verdict" = all ] || grep -v ': verified' "$dir.out" | sed 's/^/    /'
done

if [ "$(printf '%s\n' "${digests[@]}" | sort -u | wc -l)" -ne 1 ]; then
  echo "the rules' arithmetic differs between builds:"
  printf '    %s\n' "${digests[@]}"
  failed=1
else
  echo "every build: ${digests[0]}"
fi
exit $failed
