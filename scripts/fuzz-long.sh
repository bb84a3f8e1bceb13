#!/usr/bin/env bash
# Runs every fuzz target for a longer bounded time (default 600 seconds each; the first argument
# overrides it) starting from the corpora kept in the repository (fuzz/seeds/<target>/), and
# merges what the run found back into them (libFuzzer -merge=1 keeps only inputs that add
# coverage). The short runs of scripts/fuzz.sh stay as they are; this one is for a developer or
# a nightly job. Fails when a target finds a crash (the input is kept in build/fuzz/findings).
set -uo pipefail

SECONDS_EACH=${1:-600}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build/fuzz"
cd "$ROOT" || exit 1

declare -A BINARY=([set]=SetParameterFuzzer [get]=GetParameterFuzzer [discovery]=DiscoveryAnswerFuzzer)

# The kept corpora become the start of the run's corpora.
for target in "${!BINARY[@]}"; do
    mkdir -p "fuzz/seeds/$target" "$BUILD/corpus/$target"
    cp -n "fuzz/seeds/$target/"* "$BUILD/corpus/$target/" 2>/dev/null || true
done

scripts/fuzz.sh "$SECONDS_EACH"
status=$?

# Keep what covers something new.
for target in "${!BINARY[@]}"; do
    binary="$BUILD/bin/${BINARY[$target]}"
    [[ -x "$binary" ]] || continue
    before=$(ls "fuzz/seeds/$target" | wc -l)
    "$binary" -merge=1 -max_len=8192 "fuzz/seeds/$target" "$BUILD/corpus/$target" \
        >"$BUILD/$target.merge.log" 2>&1 || status=1
    after=$(ls "fuzz/seeds/$target" | wc -l)
    echo "fuzz-long: $target corpus $before -> $after inputs (fuzz/seeds/$target)"
done
exit $status
