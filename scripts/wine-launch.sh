#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest (the mingw build's CMAKE_CROSSCOMPILING_EMULATOR).
#
#   scripts/wine-launch.sh WINE PROGRAM.exe ARGS...
#
# The program's output goes to files first and is passed on when it has ended, so a Wine process
# that the program started and that outlives it cannot keep ctest waiting on the output pipe.
#
# With VEX_WINE_RETRY_LOG set (scripts/test.sh sets it), a launch that Wine itself spoiled is run
# once more, and a line naming the launch, its exit code and Wine's messages is added to that file:
#  - the program printed nothing, on either stream, and failed: Wine did not start it (a program
#    that crashes prints at least Wine's report of it);
#  - a test program printed gtest's closing lines without a failure and did not end within
#    VEX_WINE_EXIT_GRACE seconds (default 30): it is killed, as Wine hung in its shut-down.
# A launch whose output names a failed test is never run again, hung or not.
set -uo pipefail

[[ $# -ge 2 ]] || {
    echo "usage: scripts/wine-launch.sh WINE PROGRAM.exe ARGS..." >&2
    exit 2
}
WINE=$1
shift
GRACE=${VEX_WINE_EXIT_GRACE:-30}
OUT=$(mktemp "${TMPDIR:-/tmp}/vexwine.XXXXXX")
trap 'rm -f "$OUT" "$OUT.err"' EXIT

# gtest's closing line, after which a test program only returns.
CLOSING='^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran\.'

launch() {  # runs the program once; sets RC, and HUNG=1 when it was killed after its result
    local pid waited=0 closed=0
    "$WINE" "$@" >"$OUT" 2>"$OUT.err" </dev/null &
    pid=$!
    HUNG=0
    while kill -0 "$pid" 2>/dev/null; do
        if ((closed == 0)) && grep -qE "$CLOSING" "$OUT"; then
            closed=1
        fi
        if ((closed)); then
            if ((waited >= GRACE * 5)); then
                kill -KILL "$pid" 2>/dev/null
                HUNG=1
                break
            fi
            waited=$((waited + 1))
        fi
        sleep 0.2
    done
    wait "$pid" 2>/dev/null
    RC=$?
}

passon() {  # the launch's output to ctest
    cat "$OUT"
    cat "$OUT.err" >&2
}

# Why the launch is worth a second run; empty when it is not.
spoiled() {
    if ((HUNG)); then
        grep -q '^\[  FAILED  \]' "$OUT" || echo "did not end ${GRACE}s after its result"
    elif ((RC != 0)) && [[ ! -s $OUT && ! -s $OUT.err ]]; then
        echo "printed nothing"
    fi
}

launch "$@"
reason=$(spoiled)
if [[ -z $reason || -z ${VEX_WINE_RETRY_LOG:-} ]]; then
    passon
    ((HUNG)) && echo "wine-launch: killed: it did not end ${GRACE}s after its result" >&2
    exit "$RC"
fi

# Wine's messages of the spoiled launch, on one line.
said=$(tr -s '\r\n\t ' ' ' <"$OUT.err" | cut -c1-400)
said=${said% }
first="$reason, exit code $RC"
echo "$(basename "$1") ${*:2}: $first; Wine said: ${said:-nothing}" >>"$VEX_WINE_RETRY_LOG"
launch "$@"
passon
echo "wine-launch: run a second time; the first launch $first" >&2
((HUNG)) && echo "wine-launch: killed: it did not end ${GRACE}s after its result" >&2
((HUNG)) && exit 1
exit "$RC"
