#!/usr/bin/env bash
# Sets up, builds both builds and runs every test: the host suites (ctest)
# and the Wine suites over the real PE files.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
scripts/build.sh || exit 1

failed=0
echo "== host suites"
(cd build/host && ctest --output-on-failure -j"$(nproc)") || failed=1
echo "== Wine suites"
tests/wine/run.sh || failed=1
echo "== host suites under AddressSanitizer and UBSan"
scripts/sanitize.sh || failed=1
echo "== fuzz targets (${TAV_FUZZ_SECONDS:-20}s each)"
scripts/fuzz.sh "${TAV_FUZZ_SECONDS:-20}" || failed=1
if [ "$failed" -ne 0 ]; then echo "TESTS FAILED"; else echo "ALL TESTS PASSED"; fi
exit "$failed"
