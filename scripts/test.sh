#!/usr/bin/env bash
# Builds and runs every test, in eight stages: the clang-format check, the native build with
# AddressSanitizer and UndefinedBehaviorSanitizer and its tests, the logger and fault-sweep
# tests under ThreadSanitizer, the fuzzers for a short bounded time, the mingw-w64
# cross-build and its tests under Wine, then the Windows build on a real audio stack (Wine's
# own audio over a private PulseAudio server, scripts/real-audio.sh). The native and the Wine test stages also install their
# build and run the example host against the installed package (scripts/example.sh). One
# progress line per stage as it starts, a summary at the end; fails when a stage fails or cannot
# run.
#
#   scripts/test.sh [--skip-fuzz] [--skip-wine] [--skip-real-audio]
#
# A developer may leave out the fuzz, the Wine or the real-audio stage with its flag, and the summary says so.
# On CI (CI=true) every stage runs: a stage that cannot run fails, and the flags are refused.
set -uo pipefail

usage() {
    cat <<'EOF'
usage: scripts/test.sh [--skip-fuzz] [--skip-wine] [--skip-real-audio]
  --skip-fuzz        leave out the fuzz stage (clang with libFuzzer)
  --skip-wine        leave out the cross-build and its tests under Wine (and the real-audio
                     stage, which needs them)
  --skip-real-audio  leave out the Windows build on Wine's audio over PulseAudio
VEX_FUZZ_SECONDS sets the seconds each fuzz target runs (default 30).
EOF
}

SKIP_FUZZ=0
SKIP_WINE=0
SKIP_REAL_AUDIO=0
for arg in "$@"; do
    case $arg in
        --skip-fuzz) SKIP_FUZZ=1 ;;
        --skip-wine) SKIP_WINE=1 ;;
        --skip-real-audio) SKIP_REAL_AUDIO=1 ;;
        -h | --help)
            usage
            exit 0
            ;;
        *)
            echo "test.sh: unknown argument: $arg" >&2
            usage >&2
            exit 2
            ;;
    esac
done
if [[ "${CI:-}" == true ]] && ((SKIP_FUZZ || SKIP_WINE || SKIP_REAL_AUDIO)); then
    echo "test.sh: CI runs every stage; --skip-fuzz, --skip-wine and --skip-real-audio are for developers" >&2
    exit 2
fi

ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT" || exit 1
mkdir -p build
JOBS=$(nproc 2>/dev/null || echo 2)
FUZZ_SECONDS=${VEX_FUZZ_SECONDS:-30}
STAGES=8
declare -a SUMMARY=()
status=0
TOTAL_PASSED=0
TOTAL_FAILED=0
TOTAL_SKIPPED=0
CURRENT=0
CURRENT_NAME=""

begin() {  # begin NUMBER NAME: the progress line of a stage that starts
    CURRENT=$1
    CURRENT_NAME=$2
    echo "== [$CURRENT/$STAGES] $CURRENT_NAME"
}

finish() {  # finish RESULT DETAIL: the stage's line in the summary
    local line
    line=$(printf '[%d/%d] %-24s %-8s %s' "$CURRENT" "$STAGES" "$CURRENT_NAME" "$1" "$2")
    line=${line%"${line##*[! ]}"}
    SUMMARY+=("$line")
    echo "   $1${2:+ $2}"
    [[ $1 == FAILED ]] && status=1
    return 0
}

# A stage that cannot run fails; the developer's flag is the only way to leave it out.
cannot_run() {  # cannot_run FLAG REASON
    finish FAILED "$2 (a developer may leave the stage out with $1)"
}

# Condenses ninja's and ctest's per-step lines: on a terminal one status line rewritten in place,
# otherwise a line at each quarter. Lines of tests that really failed pass through whole.
progress() {
    local tty=0
    [[ -t 1 ]] && tty=1
    awk -v tty="$tty" '
        function show(n, m, what) {
            if (m < 8) return
            if (tty) {
                printf "\r\033[K   [%d/%d] %s", n, m, substr(what, 1, 60)
                shown = 1
            } else if (int(4 * n / m) > quarter) {
                quarter = int(4 * n / m)
                printf "   [%d/%d] %d%%\n", n, m, 100 * n / m
            }
            fflush()
        }
        /^\[[0-9]+\/[0-9]+\] / {
            split(substr($1, 2, length($1) - 2), c, "/")
            show(c[1] + 0, c[2] + 0, $NF)
            next
        }
        /^ *[0-9]+\/ *[0-9]+ Test +#[0-9]+: / {
            split($0, c, "Test")
            gsub(/ /, "", c[1])
            split(c[1], nm, "/")
            if ($0 ~ /\*\*\*/ && $0 !~ /\*\*\*Skipped/) {
                if (tty && shown) printf "\r\033[K"
                shown = 0
                print "   " $0
            }
            show(nm[1] + 0, nm[2] + 0, $4)
            next
        }
        END { if (tty && shown) printf "\r\033[K"; fflush() }
    '
}

# Sets PASSED FAILED SKIPPED from a ctest log, and adds them to the totals.
ctest_counts() {  # ctest_counts LOG
    local total
    total=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
    FAILED=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$total")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$total")
    SKIPPED=$(sed -n '/^The following tests did not run:/,/^$/p' "$1" | grep -cE '\((Skipped|Disabled)\)$')
    [[ -z $total ]] && total=0 FAILED=0
    PASSED=$((total - FAILED - SKIPPED))
    TOTAL_PASSED=$((TOTAL_PASSED + PASSED))
    TOTAL_FAILED=$((TOTAL_FAILED + FAILED))
    TOTAL_SKIPPED=$((TOTAL_SKIPPED + SKIPPED))
    COUNTS="$PASSED passed, $FAILED failed, $SKIPPED skipped"
}

# Runs ctest in a build directory; its whole output goes to the log.
run_ctest() {  # run_ctest DIR LOG CTEST-ARGS...
    local dir=$1 log=$2 rc
    shift 2
    (cd "$dir" && ctest "$@" --output-on-failure) </dev/null 2>&1 | tee -a "$log" | progress
    rc=${PIPESTATUS[0]}
    if grep -q '^The following tests FAILED:' "$log"; then
        sed -n '/^The following tests FAILED:/,/^$/p' "$log"
        # What the failing cases said, so a run whose build directory is gone still shows why.
        grep -E -A14 ': Failure.?$|^wine-launch: ' "$log" | head -80 | tr -d '\r' | sed 's/^/   | /'
    fi
    ctest_counts "$log"
    [[ $rc -eq 0 ]] && grep -qE '^[0-9]+% tests passed' "$log"
}

# The example host against the installed package (scripts/example.sh); sets EXAMPLE.
example_host() {  # example_host NATIVE_DIR|- MINGW_DIR|- LOG
    if scripts/example.sh "$1" "$2" >>"$3" 2>&1; then
        EXAMPLE="example host passed"
        return 0
    fi
    grep '^example: ' "$3" | sed 's/^/   /' | tail -5
    EXAMPLE="example host FAILED"
    return 1
}

build() {  # build DIR LOG: cmake --build with its status condensed
    cmake --build "$1" -j "$JOBS" 2>&1 | tee -a "$2" | progress
}

# The Wine session (scripts/wine-session.sh): wine_environment, wine_session.
# shellcheck source=scripts/wine-session.sh
source "$ROOT/scripts/wine-session.sh"

# --- 1: formatting ---------------------------------------------------------------------------
begin 1 "clang-format"
LOG=build/format.log
: >"$LOG"
if scripts/setup-deps.sh format >>"$LOG" 2>&1; then
    mapfile -t sources < <(git ls-files -- '*.cpp' '*.h' '*.c' 2>/dev/null ||
        find Orv3VexControl bench fuzz include platform sdk sim tests tools \
            -name '*.cpp' -o -name '*.h' -o -name '*.c')
    unformatted=()
    for file in "${sources[@]}"; do
        [[ -f $file ]] || continue
        if ! clang-format --dry-run --Werror "$file" >>"$LOG" 2>&1; then
            unformatted+=("$file")
        fi
    done
    if [[ ${#unformatted[@]} -eq 0 ]]; then
        finish passed "${#sources[@]} files formatted"
    else
        printf '   not formatted: %s\n' "${unformatted[@]}"
        finish FAILED "${#unformatted[@]} files need clang-format -i"
    fi
else
    tail -5 "$LOG"
    finish FAILED "clang-format is missing and cannot be installed (log: $LOG)"
fi

# --- 2, 3: native ----------------------------------------------------------------------------
begin 2 "native build (asan)"
LOG=build/native-asan.log
: >"$LOG"
native_built=0
native_deps=0
scripts/setup-deps.sh native >>"$LOG" 2>&1 && native_deps=1
if ! ((native_deps)); then
    tail -5 "$LOG"
    finish FAILED "build dependencies missing (log: $LOG)"
elif cmake --preset native-asan >>"$LOG" 2>&1 && build build/native-asan "$LOG"; then
    native_built=1
    finish passed ""
else
    grep -E 'error|FAILED' "$LOG" | head -20
    finish FAILED "build failed (log: $LOG)"
fi

begin 3 "native tests"
if ((native_built)); then
    tests_ok=0
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_ctest build/native-asan "$LOG" -j "$JOBS" && tests_ok=1
    if example_host build/native-asan - "$LOG" && ((tests_ok)); then
        finish passed "$COUNTS, $EXAMPLE"
    else
        finish FAILED "$COUNTS, $EXAMPLE (log: $LOG)"
    fi
else
    finish FAILED "not run: the native build failed"
fi

# --- 4: ThreadSanitizer ----------------------------------------------------------------------
# The logger's fields are written by the trace notification's thread and read by the host's;
# the logger and fault-sweep tests run once more under ThreadSanitizer.
begin 4 "native tests (tsan)"
LOG=build/native-tsan.log
: >"$LOG"
if ! ((native_deps)); then
    finish FAILED "build dependencies missing (log: build/native-asan.log)"
elif cmake --preset native-tsan >>"$LOG" 2>&1 &&
    cmake --build --preset native-tsan -j "$JOBS" 2>&1 | tee -a "$LOG" | progress; then
    if TSAN_OPTIONS=halt_on_error=1 run_ctest build/native-tsan "$LOG" -j "$JOBS" \
        -L '^(LoggerTest|FaultSweepTest)$'; then
        finish passed "$COUNTS"
    else
        finish FAILED "$COUNTS (log: $LOG)"
    fi
else
    grep -E 'error|FAILED' "$LOG" | head -20
    finish FAILED "build failed (log: $LOG)"
fi

# --- 5: fuzzers ------------------------------------------------------------------------------
begin 5 "fuzz"
if ((SKIP_FUZZ)); then
    finish skipped "--skip-fuzz given"
elif ! scripts/setup-deps.sh fuzz >build/fuzz.log 2>&1; then
    cannot_run --skip-fuzz "clang with libFuzzer is not installed and cannot be"
else
    LOG=build/fuzz.log
    echo "   building the fuzz targets with clang, then ${FUZZ_SECONDS}s each"
    if scripts/fuzz.sh "$FUZZ_SECONDS" 2>&1 | tee -a "$LOG" | progress; then
        grep '^fuzz: ' "$LOG" | sed 's/^/   /'
        finish passed "$(grep -c '^fuzz: ' "$LOG") targets, ${FUZZ_SECONDS}s each"
    else
        grep -E '^fuzz: |ERROR|error:|runtime error|SUMMARY' "$LOG" | head -20
        finish FAILED "(log: $LOG)"
    fi
fi

# --- 6, 7: mingw-w64 and Wine ----------------------------------------------------------------
begin 6 "cross-build (mingw-w64)"
LOG=build/mingw.log
cross_built=0
if ((SKIP_WINE)); then
    finish skipped "--skip-wine given"
elif ! scripts/setup-deps.sh cross >"$LOG" 2>&1; then
    cannot_run --skip-wine "mingw-w64 or wine is missing and cannot be installed (needs root apt-get)"
elif cmake --preset mingw >>"$LOG" 2>&1 && build build/mingw "$LOG"; then
    exports=$(x86_64-w64-mingw32-objdump -p build/mingw/bin/Orv3VexControl.dll |
        awk '/Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF;next} {t=0}' |
        sort | tr '\n' ' ')
    expected="CloseVexControl GetVexParam OpenVexControl SetVexParam SetVexVariantParam "
    if [[ "$exports" != "$expected" ]]; then
        finish FAILED "Orv3VexControl.dll exports: $exports"
    else
        cross_built=1
        finish passed "Orv3VexControl.dll exports exactly the five functions"
    fi
else
    grep -E 'error|FAILED' "$LOG" | head -20
    finish FAILED "cross-build failed (log: $LOG)"
fi

begin 7 "Wine tests"
if ((SKIP_WINE)); then
    finish skipped "--skip-wine given"
elif ((cross_built)); then
    wine_environment "$ROOT/build/wineprefix"
    # scripts/wine-launch.sh runs each test program; a launch that Wine spoiled (no output at
    # all, or no exit after a passing result) runs once more and is named here.
    export VEX_WINE_RETRY_LOG="$ROOT/build/wine-retries.log"
    : >"$VEX_WINE_RETRY_LOG"
    tests_ok=0
    # The first run of a program in a new prefix is slow; ctest times the test listings.
    if wine_session >>"$LOG" 2>&1 &&
        wine build/mingw/bin/PlatformConformanceTest.exe --gtest_list_tests >/dev/null 2>>"$LOG"; then
        run_ctest build/mingw "$LOG" -j 1 && tests_ok=1
    else
        tail -5 "$LOG"
        COUNTS="the Wine session did not start"
    fi
    mapfile -t retried <"$VEX_WINE_RETRY_LOG"
    if ((${#retried[@]} == 1)); then
        COUNTS="$COUNTS, 1 launch retried"
    else
        COUNTS="$COUNTS, ${#retried[@]} launches retried"
    fi
    # A host linked the Microsoft way: clang and lld-link against Orv3VexControl.lib.
    LLD_HOST="lld-link host passed"
    if ! scripts/msvc-host.sh build/mingw >>"$LOG" 2>&1; then
        grep '^msvc-host: ' "$LOG" | sed 's/^/   /' | tail -5
        LLD_HOST="lld-link host FAILED"
    fi
    if example_host - build/mingw "$LOG" && ((tests_ok)) && [[ $LLD_HOST == *passed ]]; then
        finish passed "$COUNTS, $EXAMPLE, $LLD_HOST"
    else
        finish FAILED "$COUNTS, $EXAMPLE, $LLD_HOST (log: $LOG)"
    fi
    for note in "${retried[@]}"; do
        echo "   retried: $note"
        SUMMARY+=("      retried: $note")
    done
    wineserver -k 2>/dev/null || true
else
    finish FAILED "not run: no cross-build"
fi

# --- 8: a real audio stack ------------------------------------------------------------------
# The Windows build against Wine's own audio stack over a private PulseAudio server with two
# null sinks, and a capture of it replayed in the native simulator (scripts/real-audio.sh).
begin 8 "real audio (PulseAudio)"
LOG=build/real-audio.log
: >"$LOG"
if ((SKIP_REAL_AUDIO)); then
    finish skipped "--skip-real-audio given"
elif ((SKIP_WINE)); then
    finish skipped "--skip-wine given"
elif ! ((cross_built && native_built)); then
    finish FAILED "not run: it needs the native build and the cross-build"
elif ! scripts/setup-deps.sh realaudio >>"$LOG" 2>&1; then
    cannot_run --skip-real-audio "pulseaudio is missing and cannot be installed (needs root apt-get)"
else
    started=$SECONDS
    scripts/real-audio.sh build/mingw build/native-asan >>"$LOG" 2>&1
    rc=$?
    grep '^real-audio: ' "$LOG" | sed 's/^/   /'
    checks=$(grep -c '^real-audio: ok: ' "$LOG")
    seen=$(grep -o 'ok: endpoints: [0-9]* render endpoints' "$LOG" | sed 's/^ok: endpoints: //')
    if ((rc == 0)); then
        finish passed "$checks checks on ${seen:-no endpoints} in $((SECONDS - started))s"
    else
        finish FAILED "$(grep -c '^real-audio: FAILED' "$LOG") of the checks failed (log: $LOG)"
    fi
fi

echo
echo "Summary:"
printf '  %s\n' "${SUMMARY[@]}"
echo "tests: $TOTAL_PASSED passed, $TOTAL_FAILED failed, $TOTAL_SKIPPED skipped"
exit $status
