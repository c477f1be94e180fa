#!/usr/bin/env bash
# Installs what is missing, then runs every check and test:
#   format   every source in the project's clang-format style
#   windows  the module's sources against the Windows SDK (scripts/check-windows.sh)
#   asan     every test, under the address and undefined sanitizers
#   tsan     the tests that start threads, under the thread sanitizer
#   fuzz     every fuzz target replays its corpus, then fuzzes briefly (scripts/fuzz.sh)
# The layer check runs in every build, and as a test in asan.
#
#   scripts/test.sh [STAGE...] [--label LABEL] [--fuzz-seconds N]
# STAGE: any of the above, or debug/release (every test in that build); the
# default is all five above. --label runs only the tests with that CTest label
# (platform, sim, common, plugin, host, e2e, layers; threads in tsan).
# Ends with one line per test stage and a total: "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."

stages=()
label=""
fuzz_seconds=5
while (($#)); do
  case $1 in
    --label) label=${2:?--label needs a label}; shift 2 ;;
    --label=*) label=${1#--label=}; shift ;;
    --fuzz-seconds) fuzz_seconds=${2:?--fuzz-seconds needs a number}; shift 2 ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    format|windows|fuzz|debug|release|asan|tsan) stages+=("$1"); shift ;;
    *) echo "test.sh: unknown stage or option '$1' (see scripts/test.sh --help)" >&2; exit 2 ;;
  esac
done
((${#stages[@]})) || stages=(format windows asan tsan fuzz)

scripts/setup.sh
summary=()   # "stage: time  result"
results=()   # "preset: N passed, M failed"
total_passed=0 total_failed=0
status=0

# Runs stage $1 (the rest is the command), timing it.
stage() {
  local name=$1; shift
  echo "== $name"
  local start=$SECONDS rc=0
  "$@" || rc=$?
  local took=$((SECONDS - start))
  summary+=("$(printf '%-8s %4d s  %s' "$name" "$took" "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")")")
  ((rc == 0)) || status=1
  return 0
}

format_check() {
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>&1 | head -40 >"$1"
  if [[ -s $1 ]]; then
    cat "$1"
    echo "format: run  git ls-files '*.cpp' '*.h' | xargs clang-format -i  and commit the result"
    return 1
  fi
  echo "format: every source is in the project's style"
}

# Builds and tests one preset; records its counts.
preset_tests() {
  local preset=$1 log
  log=$(mktemp)
  cmake --preset "$preset" >/dev/null
  if ! cmake --build --preset "$preset"; then
    results+=("$preset: 0 passed, 1 failed (the build failed)")
    ((++total_failed))
    return 1
  fi
  # Twice a job a core: most tests wait on processes and events more than they compute.
  local args=(--preset "$preset" -j "$(($(nproc) * 2))")
  [[ -n $label ]] && args+=(-L "^${label}\$")
  local rc=0
  ctest "${args[@]}" 2>&1 | tee "$log" || rc=$?
  local ran failed skipped
  ran=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
  skipped=$(grep -c '(Skipped)$' "$log" || true)
  rm -f "$log"
  if [[ -z $ran || $ran == 0 ]]; then  # no summary: nothing matched, or ctest itself failed
    local why="ctest failed"
    ((rc == 0)) && why="no test${label:+ carries the label '$label'}"
    results+=("$preset: 0 passed, 1 failed ($why)")
    ((++total_failed))
    return 1
  fi
  local passed=$((ran - failed - skipped))
  results+=("$preset: $passed passed, $failed failed, $skipped skipped")
  ((total_passed += passed, total_failed += failed)) || true
  ((failed == 0 && rc == 0))
}

scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
for s in "${stages[@]}"; do
  case $s in
    format) stage format format_check "$scratch/format" ;;
    windows) stage windows scripts/check-windows.sh ;;
    fuzz) stage fuzz scripts/fuzz.sh "$fuzz_seconds" ;;
    *) stage "$s" preset_tests "$s" ;;
  esac
done

echo
echo "== stage times"
printf '%s\n' "${summary[@]}"
echo "total    $SECONDS s"
echo
printf '%s\n' "${results[@]}"
echo "total: $total_passed passed, $total_failed failed"
exit $status
