#!/usr/bin/env bash
# Installs what is missing, then runs every check and test:
#   format   every source in the project's clang-format style
#   asan     every test, under the address and undefined sanitizers
#   tsan     the tests that start threads, under the thread sanitizer
#   fuzz     every fuzz target replays its corpus, then fuzzes briefly (scripts/fuzz.sh)
#   windows  the Windows builds (scripts/build-windows.sh) and their tests:
#            the images of both architectures, and the x86-64 programs under
#            wine64 (stages win-x86 and win-x64 in the summary)
# The layer check runs in every build, and as a test in asan.
#
#   scripts/test.sh [STAGE...] [--label LABEL] [--fuzz-seconds N]
# STAGE: any of the above, or debug/release (every test in that build), or
# win-x86/win-x64 (one Windows build); the default is all five above.
# --label runs only the tests with that CTest label (platform, sim, common,
# plugin, host, e2e, layers); a stage without such tests is passed over, and
# no test at all is a failure.
# Ends with one line per stage (a check stage counts as one) and a total:
# "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."

stages=()
label=""
fuzz_seconds=5
usage() { echo "test.sh: $1 (see scripts/test.sh --help)" >&2; exit 2; }
while (($#)); do
  case $1 in
    --label|--fuzz-seconds)
      (($# >= 2)) && [[ -n $2 && $2 != -* ]] || usage "$1 needs a value"
      [[ $2 =~ ^(format|windows|fuzz|debug|release|asan|tsan|win-x86|win-x64)$ ]] && usage "$1 needs a value; '$2' is a stage"
      set -- "$1=$2" "${@:3}" ;;
    --label=*) label=${1#--label=}; [[ -n $label ]] || usage "--label needs a value"; shift ;;
    --fuzz-seconds=*)
      fuzz_seconds=${1#--fuzz-seconds=}
      [[ $fuzz_seconds =~ ^[1-9][0-9]*$ ]] || usage "--fuzz-seconds takes a whole number of seconds, 1 or more"
      shift ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    format|windows|fuzz|debug|release|asan|tsan|win-x86|win-x64)
      [[ " ${stages[*]} " == *" $1 "* ]] || stages+=("$1")
      shift ;;
    *) usage "unknown stage or option '$1'" ;;
  esac
done
((${#stages[@]})) || stages=(format asan tsan fuzz windows)

scripts/setup.sh
summary=()   # "stage  time  result"
results=()   # "stage: N passed, M failed"
total_passed=0 total_failed=0 labelled_ran=0
status=0

# Runs stage $1 (the rest is the command), timing it. A check stage (no test
# counts of its own) counts as one check passed or failed.
stage() {
  local name=$1; shift
  echo "== $name"
  local start=$SECONDS rc=0 before=${#results[@]}
  "$@" || rc=$?
  local took=$((SECONDS - start))
  summary+=("$(printf '%-8s %4d s  %s' "$name" "$took" "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")")")
  ((rc == 0)) || status=1
  if ((${#results[@]} == before)); then
    if ((rc == 0)); then results+=("$name: 1 passed, 0 failed"); ((++total_passed)); else
      results+=("$name: 0 passed, 1 failed"); ((++total_failed)); fi
  fi
  return 0
}

format_check() {
  local files
  files=$(git ls-files '*.cpp' '*.h') || { echo "format: git cannot list the sources"; return 1; }
  [[ -n $files ]] || { echo "format: git lists no sources"; return 1; }
  tr '\n' '\0' <<<"$files" | xargs -0 clang-format --dry-run --Werror >"$1" 2>&1 || true
  if [[ -s $1 ]]; then
    head -40 "$1"
    echo "format: run  git ls-files '*.cpp' '*.h' | xargs clang-format -i  and commit the result"
    return 1
  fi
  echo "format: every source is in the project's style"
}

# Counts between ctest's "did not run" heading and the blank line after it.
skipped_in() { awk '/^The following tests did not run:/ {on = 1; next} on && /^$/ {on = 0} on && /\(Skipped\)$/ {n++} END {print n + 0}' "$1"; }

# Builds and tests one preset; records its counts.
preset_tests() {
  local preset=$1 log
  if ! cmake --preset "$preset" >/dev/null; then
    results+=("$preset: 0 passed, 1 failed (the configure step failed)"); ((++total_failed)); return 1
  fi
  if ! cmake --build --preset "$preset"; then
    results+=("$preset: 0 passed, 1 failed (the build failed)"); ((++total_failed)); return 1
  fi
  log=$(mktemp)
  # Twice a job a core: most tests wait on processes and events more than they compute.
  local args=(--preset "$preset" -j "$(($(nproc) * 2))")
  [[ -n $label ]] && args+=(-L "^${label}\$")
  local rc=0
  ctest "${args[@]}" 2>&1 | tee "$log" || rc=$?
  local ran failed skipped
  ran=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
  skipped=$(skipped_in "$log")
  local none=0
  grep -q '^No tests were found' "$log" && none=1
  rm -f "$log"
  if [[ -n $label && $none == 1 && $rc == 0 ]]; then  # this build has no test of the label
    results+=("$preset: no test carries the label '$label'")
    return 0
  fi
  if [[ -z $ran || $ran == 0 ]]; then  # no summary: ctest itself failed, or found nothing
    local why="ctest failed"
    ((none)) && why="no test found"
    results+=("$preset: 0 passed, 1 failed ($why)")
    ((++total_failed))
    return 1
  fi
  local passed=$((ran - failed - skipped))
  results+=("$preset: $passed passed, $failed failed, $skipped skipped")
  ((total_passed += passed, total_failed += failed, labelled_ran += ran)) || true
  ((failed == 0 && rc == 0))
}

scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
ran_tests=0
for s in "${stages[@]}"; do
  case $s in
    format) stage format format_check "$scratch/format" ;;
    windows) for p in win-x86 win-x64; do stage "$p" preset_tests "$p"; done; ran_tests=1 ;;
    fuzz) stage fuzz scripts/fuzz.sh "$fuzz_seconds" ;;
    *) stage "$s" preset_tests "$s"; ran_tests=1 ;;
  esac
done
if [[ -n $label ]] && ((ran_tests && labelled_ran == 0)); then
  results+=("label: 0 passed, 1 failed (no stage ran a test carrying the label '$label')")
  ((++total_failed))
  status=1
fi

echo
echo "== stage times"
printf '%s\n' "${summary[@]}"
echo "total    $SECONDS s"
echo
printf '%s\n' "${results[@]}"
echo "total: $total_passed passed, $total_failed failed"
exit $status
