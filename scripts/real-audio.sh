#!/usr/bin/env bash
# The Windows build on a real audio stack: Wine's own implementation of the Windows audio device
# API, backed by a private PulseAudio server with two null sinks ("Speakers", "Headphones").
# Runs the example host and vexctl without --machine, then captures Wine's endpoints into a
# machine file and replays it in the native simulator, where endpoints, info and dump must answer
# as they did under Wine.
#
#   scripts/real-audio.sh MINGW_BUILD_DIR NATIVE_BUILD_DIR
#
# The server runs from its own runtime, state and home directories under build/real-audio, with
# an anonymous socket there; no system or user instance is touched. It and the prefix's Wine
# server are stopped on every path. One line per check ("real-audio: ..."); exits non-zero when
# a check fails or the stage cannot run.
set -uo pipefail

[[ $# -eq 2 ]] || {
    echo "usage: scripts/real-audio.sh MINGW_BUILD_DIR NATIVE_BUILD_DIR" >&2
    exit 2
}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
MINGW=$(cd "$1" && pwd) || exit 2
NATIVE=$(cd "$2" && pwd) || exit 2
WORK=$ROOT/build/real-audio
VEXCTL_EXE=$MINGW/bin/vexctl.exe
VEXCTL=$NATIVE/bin/vexctl
failures=0

say() { echo "real-audio: $*"; }
fail() {
    say "FAILED: $*"
    failures=$((failures + 1))
}
ok() { say "ok: $*"; }

"$ROOT/scripts/setup-deps.sh" realaudio || {
    say "pulseaudio is missing and cannot be installed"
    exit 1
}
for file in "$VEXCTL_EXE" "$VEXCTL"; do
    [[ -f $file ]] || {
        say "$file is not built"
        exit 1
    }
done

rm -rf "$WORK"
PULSE_DIR=$WORK/pulse
mkdir -p "$PULSE_DIR/runtime" "$PULSE_DIR/state" "$PULSE_DIR/home" "$WORK/out"
chmod 700 "$PULSE_DIR/runtime"
SOCKET=$PULSE_DIR/runtime/native
PULSE_PID=""

# Everything the stage started goes, whatever way it ends.
stop_all() {
    if [[ -n ${WINEPREFIX:-} ]]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
    if [[ -n $PULSE_PID ]] && kill -0 "$PULSE_PID" 2>/dev/null; then
        kill "$PULSE_PID"
        wait "$PULSE_PID" 2>/dev/null
    fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# --- the private PulseAudio server -----------------------------------------------------------
export XDG_RUNTIME_DIR=$PULSE_DIR/runtime PULSE_RUNTIME_PATH=$PULSE_DIR/runtime
export PULSE_STATE_PATH=$PULSE_DIR/state PULSE_CONFIG_PATH=$PULSE_DIR/home/config
export HOME=$PULSE_DIR/home PULSE_SERVER=unix:$SOCKET
# Clients never start a server of their own.
printf 'autospawn = no\n' >"$PULSE_DIR/client.conf"
export PULSE_CLIENTCONFIG=$PULSE_DIR/client.conf
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
    -L "module-native-protocol-unix socket=$SOCKET auth-anonymous=1" \
    -L "module-null-sink sink_name=speakers sink_properties=device.description=Speakers" \
    -L "module-null-sink sink_name=headphones sink_properties=device.description=Headphones" \
    >"$WORK/pulse.log" 2>&1 &
PULSE_PID=$!
for ((i = 0; i < 50; i++)); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.2
done
if ! sinks=$(pactl list short sinks 2>/dev/null); then
    say "the PulseAudio server did not start:"
    tail -5 "$WORK/pulse.log"
    exit 1
fi
say "PulseAudio $(pactl info | sed -n 's/^Server Version: //p') on $SOCKET, sinks:" \
    "$(awk '{print $2}' <<<"$sinks" | tr '\n' ' ')"

# --- a fresh Wine prefix that reaches it, in the Wine stage's session -----------------------
# shellcheck source=scripts/wine-session.sh
source "$ROOT/scripts/wine-session.sh"
wine_environment "$WORK/wineprefix"
if ! wine_session >"$WORK/wine-session.log" 2>&1; then
    say "the Wine session did not start:"
    tail -5 "$WORK/wine-session.log"
    exit 1
fi

# vexctl.exe under Wine; the output in out/NAME.out and out/NAME.err, the exit code in RC.
wine_vexctl() {  # wine_vexctl NAME ARGUMENTS...
    local name=$1
    shift
    wine "$VEXCTL_EXE" "$@" >"$WORK/out/$name.out" 2>"$WORK/out/$name.err" </dev/null
    RC=$?
    tr -d '\r' <"$WORK/out/$name.out" >"$WORK/out/$name.tmp" && mv "$WORK/out/$name.tmp" "$WORK/out/$name.out"
}

# --- the example host ------------------------------------------------------------------------
# Built against the installed package without the simulator, so it opens the system's default
# endpoint. Wine's endpoint store refuses its scalar set (see below); the host reports that.
PREFIX=$WORK/install
if cmake --install "$MINGW" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 &&
    cmake -S "$ROOT/examples" -B "$WORK/example" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-x86_64.cmake" \
        -DOrv3VexControl_DIR="$PREFIX/lib/cmake/Orv3VexControl" \
        >"$WORK/example.log" 2>&1 &&
    cmake --build "$WORK/example" >>"$WORK/example.log" 2>&1; then
    WINEPATH=$(winepath -w "$PREFIX/bin") wine "$WORK/example/vexexample.exe" >"$WORK/out/example.out" 2>&1 </dev/null
    RC=$?
    if grep -q 'opening the default endpoint failed' "$WORK/out/example.out"; then
        fail "the example host did not open the default endpoint: $(tr -d '\r' <"$WORK/out/example.out" | tail -2)"
    elif ((RC != 0)) && grep -qi 'a set failed: 0x80070057' "$WORK/out/example.out"; then
        ok "example host: opened the default endpoint; its scalar set is refused with 0x80070057 (Wine's store)"
    elif ((RC == 0)); then
        ok "example host passed"
    else
        fail "example host: $(tr -d '\r' <"$WORK/out/example.out" | tail -3)"
    fi
else
    fail "the example host did not build (log: $WORK/example.log)"
fi

# --- vexctl on Wine's endpoints --------------------------------------------------------------
json_of() { jq -c "$2" "$WORK/out/$1.out" 2>/dev/null; }

wine_vexctl endpoints endpoints --json
names=$(json_of endpoints '[.endpoints[].name]')
count=$(json_of endpoints '.endpoints | length')
if ((RC == 0)) && [[ ${count:-0} -ge 3 ]] && jq -e 'any(.endpoints[]; .name == "Speakers") and
    any(.endpoints[]; .name == "Headphones") and all(.endpoints[]; .form_factor != null)' \
    "$WORK/out/endpoints.out" >/dev/null; then
    ok "endpoints: $count render endpoints $names, each with its form factor"
else
    fail "endpoints (exit $RC): $(head -c 600 "$WORK/out/endpoints.out" "$WORK/out/endpoints.err")"
fi
SPEAKERS=$(json_of endpoints '[.endpoints[] | select(.name == "Speakers") | .id][0]' | tr -d '"')
HEADPHONES=$(json_of endpoints '[.endpoints[] | select(.name == "Headphones") | .id][0]' | tr -d '"')

wine_vexctl info info --json --endpoint "$SPEAKERS"
if ((RC == 0)) && jq -e '.form_factor != null' "$WORK/out/info.out" >/dev/null; then
    ok "info: $(json_of info '{main_version, low_latency_version, form_factor, form_factor_name}')"
else
    fail "info (exit $RC): $(head -c 600 "$WORK/out/info.out" "$WORK/out/info.err")"
fi

# A structured parameter, set and read back on both endpoints through Wine's property store
# (a value of its own on each, so that the load below has something to change).
declare -A CURVES=([$SPEAKERS]='{"a": [1, -2, 3, -4, 5]}' [$HEADPHONES]='{"a": [9, 8, 7, 6, 5]}')
for endpoint in "$SPEAKERS" "$HEADPHONES"; do
    curve=${CURVES[$endpoint]}
    wine_vexctl set set drova_sliding_bass_gain_curve "$curve" --endpoint "$endpoint" --json
    set_rc=$RC
    wine_vexctl get get drova_sliding_bass_gain_curve --endpoint "$endpoint" --json
    if ((set_rc == 0 && RC == 0)) && [[ $(json_of get '.value') == "$(jq -c . <<<"$curve")" ]]; then
        ok "structured set and get on $endpoint: $(json_of get '.value')"
    else
        fail "structured set/get on $endpoint (exits $set_rc, $RC): $(cat "$WORK/out/set.err" "$WORK/out/get.out" "$WORK/out/get.err" | head -c 600)"
    fi
done

# dump from the speakers, load into the headphones, and the headphones dump the same.
wine_vexctl dump-speakers dump --endpoint "$SPEAKERS" --output "$(winepath -w "$WORK/out/preset.json")"
dump_rc=$RC
wine_vexctl load load "$(winepath -w "$WORK/out/preset.json")" --endpoint "$HEADPHONES"
load_rc=$RC
wine_vexctl dump-headphones dump --endpoint "$HEADPHONES"
if ((dump_rc == 0 && load_rc == 0 && RC == 0)) &&
    [[ $(jq -c '.parameters' "$WORK/out/preset.json") == "$(json_of dump-headphones '.parameters')" ]]; then
    ok "dump and load: $(jq -c '.parameters | length' "$WORK/out/preset.json") parameters carried from the speakers to the headphones"
else
    fail "dump/load (exits $dump_rc, $load_rc, $RC): $(cat "$WORK/out/load.err" "$WORK/out/dump-headphones.err" | head -c 600)"
fi

# Wine's endpoint store refuses a scalar (VT_I4) value with E_INVALIDARG (0x80070057), where
# Windows keeps it; the library passes the code on.
wine_vexctl scalar set vex_system_gain 6 --endpoint "$SPEAKERS" --json
if ((RC == 1)) && [[ $(json_of scalar '.error.code') == '"0x80070057"' ]]; then
    ok "scalar set refused by Wine's store (Wine's known difference): $(json_of scalar '.error.message + ": " + .error.code + " " + .error.text')"
else
    fail "scalar set (exit $RC): expected Wine's refusal 0x80070057: $(head -c 600 "$WORK/out/scalar.out")"
fi

# The DSP route: no driver module behind Wine's endpoints. A get on it is refused with
# E_INVALIDARG, and info names no module for either range.
wine_vexctl dsp get 1001 --route dsp --endpoint "$SPEAKERS" --json
if ((RC == 1)) && [[ $(json_of dsp '.error.code') == '"0x80070057"' ]] &&
    jq -e '.dsp_modules.main == null and .dsp_modules.low_latency == null' "$WORK/out/info.out" >/dev/null; then
    ok "DSP route: no module ($(json_of dsp '.error.message + ": " + .error.code + " " + .error.text'); info: none for either range)"
else
    fail "DSP route (exit $RC): expected no module: $(head -c 600 "$WORK/out/dsp.out")"
fi

# --- capture, and the capture replayed in the native simulator ------------------------------
CAPTURE=$WORK/out/wine-capture.json
wine_vexctl capture capture --output "$(winepath -w "$CAPTURE")"
if ((RC == 0)) && [[ -s $CAPTURE ]]; then
    ok "capture: $(head -1 "$WORK/out/capture.out")"
    sed -n 's/^note: /real-audio:   note: /p' "$WORK/out/capture.out"
    replay=(endpoints "info --endpoint $SPEAKERS" "info --endpoint $HEADPHONES"
        "dump --endpoint $SPEAKERS" "dump --endpoint $HEADPHONES")
    same=0
    for question in "${replay[@]}"; do
        # shellcheck disable=SC2086
        wine_vexctl wine-answer $question --json
        # shellcheck disable=SC2086
        "$VEXCTL" --machine "$CAPTURE" --no-save $question --json >"$WORK/out/native-answer.out" \
            2>"$WORK/out/native-answer.err"
        if [[ $(jq -cS 'del(.machine)' "$WORK/out/wine-answer.out") == \
            "$(jq -cS 'del(.machine)' "$WORK/out/native-answer.out")" ]]; then
            same=$((same + 1))
        else
            fail "replayed natively, '$question' answers otherwise:"
            diff <(jq -S 'del(.machine)' "$WORK/out/wine-answer.out") \
                <(jq -S 'del(.machine)' "$WORK/out/native-answer.out") | head -20
        fi
    done
    ((same == ${#replay[@]})) && ok "the capture replayed natively: endpoints, info and dump answer as under Wine"
else
    fail "capture (exit $RC): $(head -c 600 "$WORK/out/capture.out" "$WORK/out/capture.err")"
fi

if ((failures > 0)); then
    say "$failures checks FAILED"
    exit 1
fi
say "all checks passed"
