#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) in
# build/fuzz, away from the g++ presets, and runs each for SECONDS (default 60)
# on a copy of its seed corpus in fuzz/corpus/<target>/. Extra arguments name
# the targets to run (default: all). A finding stops the script with status 1;
# the input that caused it is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
# libFuzzer takes 0 or a word for "no limit": only a whole number of seconds is passed on.
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: SECONDS must be a whole number, 1 or more, not '$seconds'" >&2; exit 2; }
scripts/setup.sh
# -O1 and line tables: a quarter less to compile than -O2 -g, and enough for
# the sanitizers' reports and for the few seconds each target runs in CI.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
      -DQEL_BUILD_FUZZ=ON -DQEL_BUILD_TESTS=OFF -DQEL_BUILD_BENCH=OFF >/dev/null
targets=("$@")
((${#targets[@]})) || mapfile -t targets < <(ls fuzz/corpus)
cmake --build build/fuzz --target "${targets[@]}"
mkdir -p build/fuzz/findings
status=0
for t in "${targets[@]}"; do
  work=build/fuzz/corpus/$t
  mkdir -p "$work"
  cp -n fuzz/corpus/"$t"/* "$work"/ 2>/dev/null || true
  log=build/fuzz/$t.log
  echo "== $t ($seconds s)"
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     build/fuzz/bin/"$t" "$work" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
     -max_len=8192 -print_final_stats=1 -artifact_prefix=build/fuzz/findings/"$t"- >"$log" 2>&1; then
    grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$log" | tr '\n' ' '
    echo
  else
    echo "fuzz: $t found a problem; see $log and build/fuzz/findings/" >&2
    tail -30 "$log" >&2
    status=1
  fi
done
exit $status
