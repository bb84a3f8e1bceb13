#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (the main project configured with VEX_FUZZ=ON
# in build/fuzz, fuzz targets only), writes their seed corpora and runs each for
# the given number of seconds (default 30). Prints one line per target starting with "fuzz: ".
# Fails when a target cannot be built or finds a crash; the input is kept in build/fuzz/findings.
set -uo pipefail

SECONDS_EACH=${1:-30}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build/fuzz"
cd "$ROOT" || exit 1

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz.sh: clang++ is not installed (scripts/setup-deps.sh fuzz installs it)" >&2
    exit 1
fi

mkdir -p "$ROOT/build"
# A build directory made for another source tree (fuzz/ was once a project of its own) is
# started again.
if [[ -f "$BUILD/CMakeCache.txt" ]] &&
    ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$ROOT" "$BUILD/CMakeCache.txt"; then
    rm -rf "$BUILD"
fi
if ! cmake -S . -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEX_FUZZ=ON -DVEX_BUILD_TESTS=OFF \
        -DVEX_BUILD_BENCH=OFF >"$BUILD.configure.log" 2>&1; then
    cat "$BUILD.configure.log"
    exit 1
fi
cmake --build "$BUILD" -j "$(nproc 2>/dev/null || echo 2)" \
    --target SetParameterFuzzer GetParameterFuzzer DiscoveryAnswerFuzzer DspValueFuzzer SeedWriter || exit 1
BIN="$BUILD/bin"

rm -rf "$BUILD/seeds"
mkdir -p "$BUILD/seeds/set" "$BUILD/seeds/get" "$BUILD/seeds/discovery" "$BUILD/seeds/dsp" \
    "$BUILD/corpus/set" "$BUILD/corpus/get" "$BUILD/corpus/discovery" "$BUILD/corpus/dsp" \
    "$BUILD/findings"
"$BIN/SeedWriter" "$BUILD/seeds/set" "$BUILD/seeds/get" || exit 1
cp fuzz/seeds/discovery/* "$BUILD/seeds/discovery/"
cp fuzz/seeds/dsp/* "$BUILD/seeds/dsp/"

status=0
for target in set get discovery dsp; do
    case $target in
        set) binary="$BIN/SetParameterFuzzer" ;;
        get) binary="$BIN/GetParameterFuzzer" ;;
        discovery) binary="$BIN/DiscoveryAnswerFuzzer" ;;
        dsp) binary="$BIN/DspValueFuzzer" ;;
    esac
    log="$BUILD/$target.log"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$binary" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -max_len=8192 \
        -artifact_prefix="$BUILD/findings/$target-" \
        "$BUILD/corpus/$target" "$BUILD/seeds/$target" >"$log" 2>&1
    rc=$?
    runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
    rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
    units=$(ls "$BUILD/corpus/$target" | wc -l)
    if [[ $rc -eq 0 ]]; then
        echo "fuzz: $target runs=${runs:-?} exec/s=${rate:-?} corpus=$units findings=0"
    else
        echo "fuzz: $target FAILED (exit $rc) runs=${runs:-?} exec/s=${rate:-?} findings in $BUILD/findings"
        grep -E 'ERROR|fuzz check failed|runtime error|SUMMARY' "$log" | head -10
        status=1
    fi
done
exit $status
