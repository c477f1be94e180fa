#!/usr/bin/env bash
# Cross-builds the module for Windows with Debian's mingw-w64 (installing what
# is missing first):
#   build/win-x86/bin/QelHal_HON2.mpi   32-bit x86, the terminal's instruction set
#   build/win-x64/bin/QelHal_HON2.mpi   x86-64, with qelhost.exe and the tests
#                                       that run under wine64
#   scripts/build-windows.sh [win-x86|win-x64]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
((${#presets[@]})) || presets=(win-x86 win-x64)
for p in "${presets[@]}"; do
  [[ $p == win-x86 || $p == win-x64 ]] || { echo "build-windows: unknown preset '$p' (win-x86 or win-x64)" >&2; exit 2; }
done
scripts/setup.sh
for p in "${presets[@]}"; do
  echo "== $p"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done
