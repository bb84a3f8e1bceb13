#!/usr/bin/env bash
# Line coverage of the library (Orv3VexControl/) by the native tests: a Debug build with gcc's
# --coverage, ctest, then gcovr's summary of the library's sources.
#
#   scripts/coverage.sh [--build DIR]      (default build/coverage; the log is DIR.log)
#
# The figure to compare when the tests change: run it on the old and on the new checkout.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT" || exit 1
BUILD=build/coverage
[[ ${1:-} == --build ]] && BUILD=$2
LOG=$BUILD.log
JOBS=$(nproc)
command -v gcovr >/dev/null || {
    echo "coverage: gcovr is missing (apt-get install gcovr)" >&2
    exit 1
}
mkdir -p "$BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEX_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >"$LOG" 2>&1 &&
    cmake --build "$BUILD" -j "$JOBS" >>"$LOG" 2>&1 || {
    echo "coverage: the build failed (log: $LOG)" >&2
    exit 1
}
find "$BUILD" -name '*.gcda' -delete
(cd "$BUILD" && ctest -j "$JOBS" --timeout 600) >>"$LOG" 2>&1 ||
    echo "coverage: some tests failed (log: $LOG); the figure counts what ran" >&2
grep -E '^[0-9]+% tests passed' "$LOG" | tail -1
gcovr -r . --filter 'Orv3VexControl/' -j "$JOBS" --print-summary --output /dev/null "$BUILD" \
    2>/dev/null | grep -E '^(lines|functions|branches):'
