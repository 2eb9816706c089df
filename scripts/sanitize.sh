#!/usr/bin/env bash
# Builds the host suites with AddressSanitizer and UndefinedBehaviorSanitizer
# (build/host-asan, the same compiler as build/host) and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/host-asan -DCMAKE_BUILD_TYPE=Debug -DTAV_SANITIZE=ON >/dev/null
cmake --build build/host-asan -j"$jobs" >/dev/null
# Any report fails the run: leaks, UB (no recovery is compiled in) and ASan.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build/host-asan && ctest --output-on-failure -j"$jobs"
