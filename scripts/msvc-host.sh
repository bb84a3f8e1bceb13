#!/usr/bin/env bash
# Links a host the Microsoft way against an installed Windows build and runs it under Wine: the C
# host examples/msvc/VexHost.c, with no C runtime, compiled by clang for x86_64-pc-windows-msvc
# into a COFF object and linked by lld-link against the package's Orv3VexControl.lib and the
# system's kernel32 and ole32 import libraries (mingw-w64's). It runs against the simulated
# machine "default" with the package's bin on the DLL search path. The library comes from an
# installed package, whose CMake config names the import library for the Microsoft toolchain.
#
#   scripts/msvc-host.sh MINGW_BUILD_DIR
#
# The build directory must hold a built library and simulator (targets Orv3VexControl, vexsim).
# Exits non-zero on any failure.
set -euo pipefail

[[ $# -eq 1 ]] || {
    echo "usage: scripts/msvc-host.sh MINGW_BUILD_DIR" >&2
    exit 2
}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
HOST=$ROOT/examples/msvc
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vexhost.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
fail() {
    echo "msvc-host: $*" >&2
    exit 1
}

for tool in clang lld-link x86_64-w64-mingw32-gcc wine winepath; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup-deps.sh cross)"
done
PREFIX=$WORK/prefix
cmake --install "$1" --prefix "$PREFIX" >"$WORK/install.log" || fail "cannot install $1"

# The package config names the import library; there is no C runtime to link CMake's test
# program against, so the compiler is taken as working.
echo "== msvc-host: the import library the package names for clang (x86_64-pc-windows-msvc)"
GENERATOR=()
command -v ninja >/dev/null && GENERATOR=(-G Ninja)
cmake -S "$HOST" -B "$WORK/config" "${GENERATOR[@]}" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=clang -DCMAKE_C_COMPILER_TARGET=x86_64-pc-windows-msvc \
    -DCMAKE_C_COMPILER_WORKS=ON \
    -DOrv3VexControl_DIR="$PREFIX/lib/cmake/Orv3VexControl" >"$WORK/config.log" 2>&1 || {
    cat "$WORK/config.log" >&2
    fail "the package cannot be found for a Microsoft-style toolchain"
}
IMPORT_LIBRARY=$(cat "$WORK/config/import-library.txt")
[[ $IMPORT_LIBRARY == "$PREFIX/lib/Orv3VexControl.lib" ]] ||
    fail "the package names $IMPORT_LIBRARY, not lib/Orv3VexControl.lib"

echo "== msvc-host: the host's declarations against the installed header"
x86_64-w64-mingw32-gcc -std=c11 -Wall -Wextra -Werror -fsyntax-only \
    -include "$PREFIX/include/Orv3VexControl.h" -x c "$HOST/VexExports.h" ||
    fail "examples/msvc/VexExports.h disagrees with Orv3VexControl.h"

echo "== msvc-host: clang (x86_64-pc-windows-msvc) and lld-link"
clang --target=x86_64-pc-windows-msvc -std=c11 -ffreestanding -fno-stack-protector -O2 \
    -Wall -Wextra -Werror -c "$HOST/VexHost.c" -o "$WORK/VexHost.obj"
lld-link /nologo /entry:VexHostMain /subsystem:console /nodefaultlib /out:"$WORK/vexhost.exe" \
    "$WORK/VexHost.obj" "$IMPORT_LIBRARY" \
    "$(x86_64-w64-mingw32-gcc -print-file-name=libkernel32.a)" \
    "$(x86_64-w64-mingw32-gcc -print-file-name=libole32.a)"

echo "== msvc-host: running under Wine"
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
rc=0
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u VEXSIM_MACHINES_DIR \
    WINEPATH="$(winepath -w "$PREFIX/bin")" wine "$WORK/vexhost.exe" 2>&1) || rc=$?
echo "$output"
[[ $rc -eq 0 ]] || fail "the host exited with $rc"
grep -q '^machines: .*share/Orv3VexControl/machines' <<<"$output" ||
    fail "the simulator did not take the installed machines"
