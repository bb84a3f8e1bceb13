#!/usr/bin/env bash
# Installs built trees into temporary prefixes, builds the example host (examples/) against each
# installed package, and runs it against the simulated machine "default": natively, and the
# mingw-w64 build under Wine.
#
#   scripts/example.sh NATIVE_BUILD_DIR MINGW_BUILD_DIR
#
# Either directory may be "-" to leave that build out. The build directories must hold a built
# library and simulator (target Orv3VexControl and vexsim). Exits non-zero on any failure.
set -euo pipefail

usage() {
    echo "usage: scripts/example.sh NATIVE_BUILD_DIR|- MINGW_BUILD_DIR|-" >&2
    exit 2
}
[[ $# -eq 2 ]] || usage

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vexexample.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
GENERATOR=()
command -v ninja >/dev/null && GENERATOR=(-G Ninja)

absolute() {  # absolute DIR: the directory's absolute path, or a failure when it is none
    [[ -f $1/CMakeCache.txt ]] || {
        echo "example: $1 is not a configured build directory" >&2
        return 1
    }
    (cd "$1" && pwd)
}

cache_value() {  # cache_value BUILD_DIR NAME: a value of the build's CMake cache
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" | head -1
}

install_into() {  # install_into BUILD_DIR PREFIX: installs every component, then the layout
    echo "== example: installing $1 into $2"
    cmake --install "$1" --prefix "$2" >"$2.install.log" || {
        cat "$2.install.log" >&2
        return 1
    }
    local prefix=$2 missing=0 file
    shift 2
    for file in "$@"; do
        if [[ ! -f $prefix/$file ]]; then
            echo "example: not installed: $file" >&2
            missing=1
        fi
    done
    return $missing
}

run_example() {  # run_example COMMAND...: runs it; the simulator must use the installed machines
    local output rc=0
    output=$("$@" 2>&1) || rc=$?
    echo "$output"
    [[ $rc -eq 0 ]] || return 1
    if ! grep -q '^machines: .*share/Orv3VexControl/machines' <<<"$output"; then
        echo "example: the simulator did not take the installed machines" >&2
        return 1
    fi
}

build_example() {  # build_example DIR CMAKE-ARGS...: configures and builds the example
    local dir=$1
    shift
    cmake -S "$ROOT/examples" -B "$dir" "${GENERATOR[@]}" -DVEX_EXAMPLE_SIMULATOR=ON "$@" \
        >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log" >&2
        return 1
    }
    cmake --build "$dir" >"$dir.build.log" 2>&1 || {
        cat "$dir.build.log" >&2
        return 1
    }
}

COMMON_FILES=(include/Orv3VexControl.h include/vexsim.h
    share/Orv3VexControl/machines/default.json
    lib/cmake/Orv3VexControl/Orv3VexControlConfig.cmake
    lib/cmake/Orv3VexControl/Orv3VexControlConfigVersion.cmake
    lib/cmake/Orv3VexControl/Orv3VexControlTargets.cmake
    lib/cmake/Orv3VexControl/Orv3VexControlSimulatorTargets.cmake)

native() {
    local build prefix
    build=$(absolute "$1") || return 1
    prefix=$WORK/native
    install_into "$build" "$prefix" "${COMMON_FILES[@]}" lib/libOrv3VexControl.so \
        lib/libvexsim.so lib/libvexplat.so include/Orv3VexControl/platform/windows.h \
        bin/vexctl bin/paramdoc || return 1
    # The installed libraries and vexctl find theirs in the prefix, never in the build tree.
    local lib
    for lib in "$prefix"/lib/*.so "$prefix"/bin/vexctl; do
        if env -u LD_LIBRARY_PATH ldd "$lib" | grep -F -e "not found" -e "$build" >&2; then
            echo "example: $lib does not find its libraries in the prefix" >&2
            return 1
        fi
    done
    echo "== example: building against $prefix"
    build_example "$WORK/native-example" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_COMPILER="$(cache_value "$build" CMAKE_CXX_COMPILER)" || return 1
    echo "== example: running natively"
    run_example env -u LD_LIBRARY_PATH -u VEXSIM_MACHINES_DIR ASAN_OPTIONS=detect_leaks=1 \
        "$WORK/native-example/vexexample"
}

mingw() {
    local build prefix
    build=$(absolute "$1") || return 1
    prefix=$WORK/mingw
    install_into "$build" "$prefix" "${COMMON_FILES[@]}" bin/Orv3VexControl.dll \
        lib/libOrv3VexControl.dll.a bin/vexsim.dll lib/libvexsim.dll.a bin/vexctl.exe \
        bin/paramdoc.exe || return 1
    echo "== example: building against $prefix with mingw-w64"
    # The toolchain file confines package searches to the cross root, so the package is named
    # by its directory.
    build_example "$WORK/mingw-example" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-x86_64.cmake" \
        -DOrv3VexControl_DIR="$prefix/lib/cmake/Orv3VexControl" || return 1
    echo "== example: running under Wine"
    export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    # The program finds the DLLs in the prefix, as a host with the prefix's bin on PATH does.
    local path
    path=$(winepath -w "$prefix/bin" 2>/dev/null) || return 1
    run_example env -u DISPLAY -u WAYLAND_DISPLAY -u VEXSIM_MACHINES_DIR WINEPATH="$path" \
        wine "$WORK/mingw-example/vexexample.exe"
}

status=0
if [[ $1 != - ]]; then
    native "$1" || {
        echo "example: the native example FAILED" >&2
        status=1
    }
fi
if [[ $2 != - ]]; then
    mingw "$2" || {
        echo "example: the mingw-w64 example FAILED" >&2
        status=1
    }
fi
exit $status
