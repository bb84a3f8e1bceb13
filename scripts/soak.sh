#!/usr/bin/env bash
# The long forms of the reliability tests, natively (build/native-asan) and, when the cross-build
# exists, under Wine: 100000 soak cycles (first argument overrides), the full fault sweep
# (every call of every flow failed in turn) and, natively, the full allocation sweep (every
# allocation of every traced flow failed in turn). The ctest runs of the same tests are short
# forms. Prints the measured figures ("[soak]", "[sweep]", "[alloc]" lines) and fails when a
# test fails.
set -uo pipefail

CYCLES=${1:-100000}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT" || exit 1
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
status=0

[[ -f build/native-asan/CMakeCache.txt ]] || cmake --preset native-asan >/dev/null || exit 1
cmake --build build/native-asan -j2 --target SoakTest FaultSweepTest AllocationFailureTest || exit 1
echo "native:"
VEX_SOAK_CYCLES=$CYCLES build/native-asan/bin/SoakTest | grep -E '^\[soak\]|FAILED' || true
VEX_SOAK_CYCLES=$CYCLES build/native-asan/bin/SoakTest >/dev/null 2>&1 || status=1
VEX_SWEEP_STRIDE=1 build/native-asan/bin/FaultSweepTest --gtest_filter='*EveryCall*' \
    >build/native-asan/sweep.log 2>&1 || status=1
grep -E '^\[sweep\]|FAILED' build/native-asan/sweep.log
VEX_ALLOC_STRIDE=1 build/native-asan/bin/AllocationFailureTest --gtest_filter='*Traced' \
    >build/native-asan/alloc.log 2>&1 || status=1
grep -E '^\[alloc\]|FAILED' build/native-asan/alloc.log

if [[ -f build/mingw/CMakeCache.txt ]] && command -v wine >/dev/null 2>&1; then
    cmake --build build/mingw -j2 --target SoakTest FaultSweepTest || exit 1
    export WINEPREFIX="$ROOT/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    wineboot --init >/dev/null 2>&1
    echo "wine:"
    VEX_SOAK_CYCLES=$CYCLES wine build/mingw/bin/SoakTest.exe >build/mingw/soak.log 2>&1 || status=1
    grep -E '^\[soak\]|FAILED' build/mingw/soak.log
    # One process per flow: a single process that loads and unloads the library some thousand
    # times dies silently under Wine (see docs/reliability.md).
    : >build/mingw/sweep.log
    for name in $(wine build/mingw/bin/FaultSweepTest.exe --gtest_list_tests 2>/dev/null |
        tr -d '\r' | grep -oE '^ +EveryCall[^ ]+' | tr -d ' '); do
        VEX_SWEEP_STRIDE=1 wine build/mingw/bin/FaultSweepTest.exe --gtest_filter="*.$name" \
            >>build/mingw/sweep.log 2>&1 || status=1
    done
    grep -E '^\[sweep\]|FAILED' build/mingw/sweep.log
fi
exit $status
