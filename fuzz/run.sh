#!/usr/bin/env bash
# Builds every fuzz_* target with clang-16 under AddressSanitizer and
# UndefinedBehaviorSanitizer, seeds the corpora, and runs each target for the
# given number of seconds (default 60). Findings land in build-fuzz/artifacts-*.
#   fuzz/run.sh [seconds [fuzz_name...]]   (names given: only those targets)
#   fuzz/run.sh tsan                       (instead: the examination engine's
#                                           tests under ThreadSanitizer, build-tsan/)
set -euo pipefail

if [ "${1:-}" = "tsan" ]; then
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  build="$here/build-tsan"
  CC=clang-16 CXX=clang++-16 cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DVELOR_GUI=OFF -DVELOR_BENCH=OFF -DVELOR_FUZZ=OFF -DBUILD_TESTING=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -g -O1" >/dev/null
  cmake --build "$build" --parallel 2 --target velor_exam_tests
  for sym in /usr/bin/llvm-symbolizer-16 /usr/bin/llvm-symbolizer; do
    if [ -x "$sym" ]; then export TSAN_OPTIONS="external_symbolizer_path=$sym halt_on_error=1"; break; fi
  done
  start=$(date +%s)
  "$build/tests/velor_exam_tests" --gtest_repeat="${2:-20}" --gtest_brief=1
  echo "== ThreadSanitizer: $(( $(date +%s) - start )) s, no report"
  exit 0
fi

secs="${1:-60}"
if [ $# -gt 0 ]; then shift; fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build-fuzz"

# Debug keeps the engine's assertions and adds no optimisation of its own to -O1.
CC=clang-16 CXX=clang++-16 cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug \
  -DVELOR_FUZZ=ON -DVELOR_GUI=OFF -DVELOR_BENCH=OFF -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -g -O1" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$here"/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi
cmake --build "$build" --parallel 2 --target "${targets[@]}"

# each target's seeds come from fuzz/make_<name>_seeds.py when there is one
for name in "${targets[@]}"; do
  seeds="$here/fuzz/make_${name#fuzz_}_seeds.py"
  if [ -f "$seeds" ]; then python3 "$seeds" "$here/fuzz/corpus-${name#fuzz_}"; fi
done

# A finding's stack must be readable: point the sanitizers at clang's symbolizer.
for sym in /usr/bin/llvm-symbolizer-16 /usr/bin/llvm-symbolizer /usr/lib/llvm-16/bin/llvm-symbolizer; do
  if [ -x "$sym" ]; then
    export ASAN_SYMBOLIZER_PATH="$sym" UBSAN_SYMBOLIZER_PATH="$sym"
    break
  fi
done

status=0
for name in "${targets[@]}"; do
  corpus="$here/fuzz/corpus-${name#fuzz_}"
  artifacts="$build/artifacts-$name/"
  mkdir -p "$corpus" "$artifacts"
  echo "== $name for ${secs}s (corpus $corpus)"
  if ! "$build/fuzz/$name" -max_len=65536 -max_total_time="$secs" -timeout=10 \
      -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus"; then
    echo "== $name FOUND A PROBLEM: see $artifacts" >&2
    status=1
  fi
done
exit $status
