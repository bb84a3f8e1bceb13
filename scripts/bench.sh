#!/usr/bin/env bash
# Builds the benchmarks in an optimised native configuration without sanitizers (preset
# "bench", build/bench) and runs them: the log call-site costs, then the control calls beside
# the platform calls they wrap, ending with one line per target ratio (pass or MISS).
#
#   scripts/bench.sh [benchmark options, e.g. --benchmark_min_time=0.5]
#
# The options go to both benchmark programs. Exits non-zero when a target is missed.
set -euo pipefail

cd "$(dirname "$0")/.."
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
command -v ccache >/dev/null || unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER

cmake --preset bench >/dev/null
cmake --build build/bench -j"${VEX_BUILD_JOBS:-2}" --target LoggerBench ControlBench

echo "== machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "== log call sites"
build/bench/bin/LoggerBench "$@"
echo "== control calls"
build/bench/bin/ControlBench "$@"
