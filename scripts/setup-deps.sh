#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing and we may (root).
# Usage: setup-deps.sh native|cross|fuzz|format|realaudio ...
set -euo pipefail

declare -A PACKAGES=(
    [native]="cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev"
    [cross]="mingw-w64 wine wine64 llvm lld clang"
    [fuzz]="clang libclang-rt-14-dev"
    [format]="clang-format"
    [realaudio]="pulseaudio pulseaudio-utils jq"
)
declare -A PROBES=(
    [native]="cmake ninja g++ /usr/include/gtest/gtest.h /usr/include/benchmark/benchmark.h /usr/include/nlohmann/json.hpp"
    [cross]="x86_64-w64-mingw32-g++-posix wine llvm-dlltool lld-link clang"
    [fuzz]="clang++ /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a"
    [format]="clang-format"
    [realaudio]="pulseaudio pactl jq"
)

have() {
    if [[ "$1" == /* ]]; then [[ -e "$1" ]]; else command -v "$1" >/dev/null 2>&1; fi
}

missing=()
for group in "$@"; do
    for probe in ${PROBES[$group]}; do
        if ! have "$probe"; then
            missing+=(${PACKAGES[$group]})
            break
        fi
    done
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]] || ! command -v apt-get >/dev/null 2>&1; then
    echo "setup-deps: missing packages (${missing[*]}) and no root apt-get to install them" >&2
    exit 1
fi
echo "setup-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >&2
apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
