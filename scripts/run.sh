#!/usr/bin/env bash
# Builds the project natively and runs the main job: vexctl, the host tool, on the default
# simulated machine. The machine's state is kept under the build directory, so every run starts
# from the built-in default machine and the user's own vexctl state is left alone.
# VEX_RUN_BUILD names another build directory (default build/native).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=${VEX_RUN_BUILD:-build/native}
JOBS=$(nproc 2>/dev/null || echo 2)

scripts/setup-deps.sh native
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target vexctl

VEXCTL="$BUILD/bin/vexctl"
export XDG_STATE_HOME="$ROOT/$BUILD/run-state"

# Each command is printed as it can be pasted back into a shell in the project folder: words
# that a shell would split or expand are single-quoted.
quoted() {
    local word out=()
    for word in "$@"; do
        if [[ $word =~ ^[A-Za-z0-9_./:=@%+,-]+$ ]]; then
            out+=("$word")
        else
            out+=("'${word//\'/\'\\\'\'}'")
        fi
    done
    echo "${out[*]}"
}

run() {
    echo "\$ $(quoted "$VEXCTL" "$@")"
    "$VEXCTL" "$@"
    echo
}

echo "\$ $(quoted export "XDG_STATE_HOME=$XDG_STATE_HOME")"
echo

run reset
run endpoints
run info
run get 1001
run get 1004 --json
run set vex_system_gain -6
run get vex_system_gain
run set drova_channel_gains '{"v": [-3, -4]}'
run get drova_channel_gains
run set drova_system_gain 9 --route both
run get drova_system_gain --route dsp
run get vex_system_gain --endpoint '{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}' --json
