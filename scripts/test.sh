#!/usr/bin/env bash
# Builds and runs every test: natively with AddressSanitizer and UndefinedBehaviorSanitizer,
# the fuzzers for a short bounded time when clang is there, then the mingw-w64 cross-build
# under Wine. One summary line per stage; fails when a stage fails.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 2)
FUZZ_SECONDS=${VEX_FUZZ_SECONDS:-30}
declare -a SUMMARY=()
status=0

stage() {  # stage NAME RESULT DETAIL
    SUMMARY+=("$(printf '%-8s %-7s %s' "$1" "$2" "$3")")
    echo "== $1: $2 $3"
}

ctest_counts() {  # the closing count line of a ctest log
    grep -E '^[0-9]+% tests passed' "$1" | tail -1
}

# --- native ----------------------------------------------------------------------------------
if ! scripts/setup-deps.sh native; then
    stage native FAILED "build dependencies missing"
    printf '%s\n' "${SUMMARY[@]}"
    exit 1
fi
LOG=build/native-asan.log
mkdir -p build
if cmake --preset native-asan >"$LOG" 2>&1 && cmake --build build/native-asan -j "$JOBS" >>"$LOG" 2>&1; then
    (cd build/native-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest -j "$JOBS" --output-on-failure) 2>&1 | tee -a "$LOG" | grep -E 'tests passed|Failed|\*\*\*' 
    if [[ ${PIPESTATUS[0]} -eq 0 ]]; then
        stage native passed "$(ctest_counts "$LOG")"
    else
        stage native FAILED "$(ctest_counts "$LOG") (log: $LOG)"
        status=1
    fi
else
    tail -40 "$LOG"
    stage native FAILED "build failed (log: $LOG)"
    status=1
fi

# --- fuzzers ---------------------------------------------------------------------------------
if [[ -d fuzz && -f fuzz/CMakeLists.txt ]]; then
    if scripts/setup-deps.sh fuzz >/dev/null 2>&1; then
        LOG=build/fuzz.log
        if scripts/fuzz.sh "$FUZZ_SECONDS" >"$LOG" 2>&1; then
            stage fuzz passed "$(grep -c '^fuzz: ' "$LOG") targets, ${FUZZ_SECONDS}s each"
        else
            tail -40 "$LOG"
            stage fuzz FAILED "(log: $LOG)"
            status=1
        fi
    else
        stage fuzz skipped "clang with libFuzzer is not installed and cannot be"
    fi
fi

# --- mingw-w64 and Wine ----------------------------------------------------------------------
if scripts/setup-deps.sh cross >/dev/null 2>&1; then
    LOG=build/mingw.log
    if cmake --preset mingw >"$LOG" 2>&1 && cmake --build build/mingw -j "$JOBS" >>"$LOG" 2>&1; then
        exports=$(x86_64-w64-mingw32-objdump -p build/mingw/bin/Orv3VexControl.dll |
            awk '/Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF;next} {t=0}' | sort | tr '\n' ' ')
        expected="CloseVexControl GetVexParam OpenVexControl SetVexParam SetVexVariantParam "
        if [[ "$exports" != "$expected" ]]; then
            stage exports FAILED "Orv3VexControl.dll exports: $exports"
            status=1
        else
            stage exports passed "Orv3VexControl.dll exports exactly the five functions"
        fi
        export WINEPREFIX="$ROOT/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        unset DISPLAY WAYLAND_DISPLAY
        wineboot --init >>"$LOG" 2>&1
        # A persistent server keeps each test process's start short. The server that wineboot
        # started goes away by itself; wait for that, then start one that stays. The first
        # program run in a new prefix is slow, so one runs before ctest times test listings.
        wineserver -w 2>/dev/null
        wineserver -p 2>/dev/null
        wine build/mingw/bin/PlatformConformanceTest.exe --gtest_list_tests >>"$LOG" 2>&1 || true
        (cd build/mingw && ctest -j 1 --output-on-failure) >>"$LOG" 2>&1
        rc=$?
        grep -E '\*\*\*|tests passed' "$LOG" | tail -20
        if [[ $rc -eq 0 ]]; then
            stage wine passed "$(ctest_counts "$LOG")"
        else
            stage wine FAILED "$(ctest_counts "$LOG") (log: $LOG)"
            status=1
        fi
        wineserver -k 2>/dev/null || true
    else
        tail -40 "$LOG"
        stage wine FAILED "cross-build failed (log: $LOG)"
        status=1
    fi
else
    stage wine skipped "mingw-w64 or wine is missing and cannot be installed (needs root apt-get)"
fi

echo
echo "Summary:"
printf '  %s\n' "${SUMMARY[@]}"
exit $status
