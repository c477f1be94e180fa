#!/usr/bin/env bash
# Installs what is missing, builds the release preset, and runs qelhost
# reading every property of the default simulated terminal. Extra arguments
# replace the verb: scripts/run.sh prop get POWER_SOURCE --json
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qelhost
if (($#)); then exec build/release/bin/qelhost "$@"; fi
exec build/release/bin/qelhost props
