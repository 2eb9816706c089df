#!/usr/bin/env bash
# Builds the fuzz targets (build/fuzz: clang, libFuzzer, ASan and UBSan)
# and runs each for a while:
#   scripts/fuzz.sh [SECONDS]     each target SECONDS long (default 20)
#   scripts/fuzz.sh --coverage    source coverage of each component by the
#                                 seed corpus and what the runs kept
# A target <component>_fuzz starts from its seed corpus fuzz/corpus/<component>/
# and keeps what it finds in build/fuzz/corpus/<component>/; a finding is
# written to build/fuzz/findings/ and fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
# The fake platform keeps its files under $TMPDIR (the installer's target
# makes and removes a few at every run): memory rather than disk.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

if [ "${1:-}" = "--coverage" ]; then
  CC=clang CXX=clang++ cmake -S fuzz -B build/fuzz-cov -DTAV_FUZZ_COVERAGE=ON >/dev/null || exit 1
  cmake --build build/fuzz-cov -j"$jobs" >/dev/null || exit 1
  for target in build/fuzz-cov/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    component=${name%_fuzz}
    mkdir -p build/fuzz/corpus/"$component"
    LLVM_PROFILE_FILE=build/fuzz-cov/$name.profraw \
      "$target" -runs=0 build/fuzz/corpus/"$component" fuzz/corpus/"$component" >/dev/null 2>&1
    llvm-profdata merge -sparse build/fuzz-cov/"$name".profraw -o build/fuzz-cov/"$name".profdata || exit 1
    echo "coverage of $component/ by $(ls build/fuzz/corpus/"$component" fuzz/corpus/"$component" | wc -l) inputs:"
    llvm-cov report "$target" -instr-profile=build/fuzz-cov/"$name".profdata "$component"/
  done
  exit 0
fi

seconds=${1:-20}
CC=clang CXX=clang++ cmake -S fuzz -B build/fuzz >/dev/null || exit 1
cmake --build build/fuzz -j"$jobs" >/dev/null || exit 1

mkdir -p build/fuzz/findings
failed=0
for target in build/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  component=${name%_fuzz}
  work=build/fuzz/corpus/$component
  mkdir -p "$work"
  log=build/fuzz/$name.log
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/"$name"- "$work" fuzz/corpus/"$component" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    failed=1
    grep -E 'invariant broken|ERROR:|SUMMARY:|Test unit written' "$log" | head -n 10
    echo "fuzz $name: FINDING after ${runs:-?} executions (log $log)"
  else
    echo "fuzz $name: ${runs:-?} executions in ${seconds}s, ${cov:-no coverage line}, no findings"
  fi
done
exit "$failed"
