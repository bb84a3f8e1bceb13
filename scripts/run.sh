#!/usr/bin/env bash
# Builds the project and runs the main job. Until the host tool exists: lists the DLL's exports.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/setup-deps.sh native cross
cmake --preset mingw >/dev/null
cmake --build build/mingw --target Orv3VexControl
x86_64-w64-mingw32-objdump -p build/mingw/bin/Orv3VexControl.dll |
    awk '/Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF;next} {t=0}'
