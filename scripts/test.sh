#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test under each preset
# named (default: debug, asan — address and undefined sanitizers — and tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The module's sources against the Windows SDK, before the slower builds.
scripts/check-windows.sh
presets=("$@")
fuzz=0
((${#presets[@]})) || { presets=(debug asan tsan); fuzz=1; }
# Every fuzz target for a short time on its seed corpus (clang, in build/fuzz),
# before the test suites, whose summaries close the run.
if ((fuzz)); then
  echo "== fuzz"
  scripts/fuzz.sh 10
fi
for preset in "${presets[@]}"; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done
