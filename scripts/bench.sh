#!/usr/bin/env bash
# Measures tavapi32's own cost per command on the host, over a null device
# (build/bench, optimized):
#   - instructions per command outside its device call, counted by
#     callgrind: collection is on inside the export and off inside
#     DeviceIoControl; runs of N and 2N calls are compared, so start-up
#     and the link's opening cancel out;
#   - time, heap allocations and device calls per call (Google Benchmark);
# and under Wine (build/win32, a fresh prefix with the simulated driver):
#   - TavReadChannel against a raw DeviceIoControl with the same frame on
#     the same link, interleaved in one run, as a ratio of medians.
# A report, not a test; it fails only when a command allocates or does not
# make exactly one device call, or a program fails to run.
#   scripts/bench.sh [--host-only]
set -uo pipefail
cd "$(dirname "$0")/.."
calls=1000
rounds=3000
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S bench -B build/bench -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build build/bench -j"$jobs" >/dev/null || exit 1

echo "machine: $(nproc) cores, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1)," \
     "$(. /etc/os-release && echo "$PRETTY_NAME"), $(c++ --version | head -n 1), $(valgrind --version)"

# Instructions collected inside `export`, outside the device call, for `count` calls.
collected() {
  local export=$1 count=$2 out=build/bench/callgrind.$1.$2
  valgrind --tool=callgrind --callgrind-out-file="$out" \
    --toggle-collect="$export" --toggle-collect='DeviceIoControl*' \
    build/bench/tavapi32_calls "$export" "$count" >/dev/null 2>&1 || return 1
  sed -n 's/^summary: *//p' "$out"
}

failed=0
echo "instructions per call outside the device call (callgrind, $calls vs $((2 * calls)) calls):"
for export in TavReadChannel TavDefineChannel TavSetCzero TavReadDirectCopy; do
  one=$(collected "$export" "$calls") && two=$(collected "$export" $((2 * calls))) || {
    echo "  $export: run failed"; failed=1; continue; }
  case $export in
    TavDefineChannel) what="$export (253-character formula)" ;;
    TavReadDirectCopy) what="$export(133)" ;;
    *) what=$export ;;
  esac
  echo "  $what: $(( (two - one) / calls ))"
done

echo "time, allocations and device calls per call (Google Benchmark):"
build/bench/tavapi32_bench --benchmark_min_time=0.5 2>/dev/null | tee build/bench/benchmark.txt |
  grep -E '^Tav' | sed 's/^/  /'
if grep -E '^Tav' build/bench/benchmark.txt |
   grep -vqE 'allocations_per_call=0 device_calls_per_call=1$'; then
  echo "a command allocated or did not make exactly one device call"
  failed=1
fi
[ "${1:-}" = "--host-only" ] && exit "$failed"

echo "Wine: TavReadChannel against a raw DeviceIoControl, same frame, same link ($rounds rounds):"
if [ ! -f build/win32/CMakeCache.txt ]; then
  cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
fi
cmake --build build/win32 -j"$jobs" >/dev/null || exit 1
(
  source tests/wine/winelib.sh
  source tests/wine/simlib.sh
  wine_prefix_new
  sim_stage && sim_driver_install >/dev/null || { echo "  the simulated driver did not start"; exit 1; }
  wine_run 300 "$(sim_exe tavapi32_timing)" "$rounds" | tr -d '\r' | sed 's/^/  /'
  status=${PIPESTATUS[0]}
  sim_driver_remove >/dev/null
  exit "$status"
) || failed=1
exit "$failed"
