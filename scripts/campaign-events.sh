#!/usr/bin/env bash
# The event and watch campaigns, on the release build: power-event floods from
# several senders to several listeners at once (is any event lost?), kill -9
# of listeners during a flood (do the others still get everything, and does a
# new listener?), and a folder watch under concurrent file changes (does it
# report the last change, and end with status 1 when its folder is deleted?),
# and the channel file truncated, deleted and rotated under live listeners
# (does every listener go on with every event sent after it, and does the
# file stay bounded?).
#   scripts/campaign-events.sh [LISTENERS] [SENDERS] [EACH]     (default 4 4 25)
# QEL_HOST_UNDER_TEST=PATH runs another qelhost instead.
# Prints the counts; exits 1 when anything was lost, hung or left running.
set -euo pipefail
cd "$(dirname "$0")/.."
listeners=${1:-4}
senders=${2:-4}
each=${3:-25}
scripts/setup.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target qelhost QelHal_HON2 >/dev/null
Q=${QEL_HOST_UNDER_TEST:-$PWD/build/release/bin/qelhost}
work=$(mktemp -d)
trap 'pkill -KILL -f -- "$work/" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
unset QEL_TERMINAL
T=$work/t
"$Q" --terminal "$T" terminal show >/dev/null
failed=0

# Starts listener $1 in the background, its lines in $work/ev.$1; its pid in $!.
listen() {
  "$Q" --terminal "$T" events --seconds 1200 >"$work/ev.$1" 2>"$work/ev.$1.err" &
}
# Waits until listener $1 says it follows the terminal.
ready() {
  for _ in $(seq 200); do grep -q following "$work/ev.$1.err" 2>/dev/null && return 0; sleep 0.05; done
  echo "listener $1 never started"; failed=1
}
power_lines() { grep -c '"OnPowerStatusChange"' "$work/ev.$1" || true; }
# Starts the senders, each making the terminal deliver `each` power-status
# changes; their pids in senders_pids.
flood() {
  senders_pids=()
  for ((s = 0; s < senders; ++s)); do
    ( for ((i = 0; i < each; ++i)); do "$Q" --terminal "$T" terminal power-status; done ) &
    senders_pids+=($!)
  done
}

# ---- flood: every listener gets every event.
pids=()
for ((l = 0; l < listeners; ++l)); do listen "f$l"; pids+=($!); ready "f$l"; done
flood
wait "${senders_pids[@]}"
sleep 2  # let the last deliveries arrive
kill -TERM "${pids[@]}"; wait "${pids[@]}" 2>/dev/null || true
expected=$((senders * each))
lost=0
for ((l = 0; l < listeners; ++l)); do ((lost += expected - $(power_lines "f$l"))) || true; done
echo "flood: $expected power events from $senders senders to $listeners listeners, $lost deliveries lost"
((lost == 0)) || failed=1

# ---- kill -9 of half the listeners during a flood.
pids=()
for ((l = 0; l < listeners; ++l)); do listen "k$l"; pids+=($!); ready "k$l"; done
flood
killed=()
for ((l = 0; l < listeners; l += 2)); do
  sleep 0.2
  kill -KILL "${pids[l]}"
  wait "${pids[l]}" 2>/dev/null || true
  killed+=("${pids[l]}")
done
wait "${senders_pids[@]}"
sleep 2
survivors=()
for ((l = 1; l < listeners; l += 2)); do survivors+=("${pids[l]}"); done
((${#survivors[@]})) && kill -TERM "${survivors[@]}"
for pid in "${survivors[@]}"; do wait "$pid" 2>/dev/null || true; done
lost=0
for ((l = 1; l < listeners; l += 2)); do ((lost += expected - $(power_lines "k$l"))) || true; done
listen late; late=$!; ready late
"$Q" --terminal "$T" terminal power-status
sleep 1
kill -TERM "$late"; wait "$late" 2>/dev/null || true
late_got=$(power_lines late)
echo "kills: ${#killed[@]} listeners killed during $expected events; $lost deliveries lost by the others; a new listener got $late_got of 1"
((lost == 0 && late_got == 1)) || failed=1

# ---- the channel truncated and deleted under live listeners, between rounds
# of a flood; then floods until the channel has been rotated.
pids=()
for ((l = 0; l < listeners; ++l)); do listen "t$l"; pids+=($!); ready "t$l"; done
rounds=10
sent=0
for ((round = 0; round < rounds; ++round)); do
  flood
  wait "${senders_pids[@]}"
  ((sent += senders * each))
  sleep 1  # every listener has read the round: what is cut now was delivered
  if ((round % 2 == 0)); then : >"$T/events.log"; else rm -f "$T/events.log"; fi
done
while [[ ! -e $T/events.log.1 ]]; do
  flood
  wait "${senders_pids[@]}"
  ((sent += senders * each))
done
sleep 2
kill -TERM "${pids[@]}"; wait "${pids[@]}" 2>/dev/null || true
lost=0 received=0
for ((l = 0; l < listeners; ++l)); do
  got=$(power_lines "t$l"); ((received += got)) || true; ((lost += sent - got)) || true
done
size=$(stat -c %s "$T/events.log" 2>/dev/null || echo 0)
old=$(stat -c %s "$T/events.log.1" 2>/dev/null || echo 0)
echo "truncation: $sent power events sent to $listeners listeners through $((rounds / 2)) truncations, $((rounds / 2)) deletions and rotation; $received of $((sent * listeners)) deliveries received, $lost lost; channel now $size bytes (+ $old rotated)"
((lost == 0 && size <= 65536 + 4097)) || failed=1

# ---- a watch under concurrent file changes, then its folder deleted.
mkdir -p "$T/fs/Temp/campaign"
"$Q" --terminal "$T" watch campaign '\Temp\campaign\' --seconds 300 >"$work/watch" 2>"$work/watch.err" &
watcher=$!
for _ in $(seq 200); do [[ -s "$work/watch.err" ]] && break; sleep 0.05; done
for ((s = 0; s < senders; ++s)); do
  ( for ((i = 0; i < each * 4; ++i)); do
      echo x >"$T/fs/Temp/campaign/f$s.$i"; rm -f "$T/fs/Temp/campaign/f$s.$((i / 2))"; done ) &
done
for job in $(jobs -p); do [[ $job == "$watcher" ]] || wait "$job"; done
sleep 1
before=$(wc -l <"$work/watch")
echo last >"$T/fs/Temp/campaign/last"
seen=0
for _ in $(seq 100); do (($(wc -l <"$work/watch") > before)) && { seen=1; break; }; sleep 0.05; done
rm -rf "$T/fs/Temp/campaign"
status=hung
for _ in $(seq 100); do kill -0 "$watcher" 2>/dev/null || { status=ended; break; }; sleep 0.05; done
if [[ $status == ended ]]; then wait "$watcher" && status=0 || status=$?; else kill -KILL "$watcher"; fi
echo "watch: $((senders * each * 8)) file changes from $senders writers, $(wc -l <"$work/watch") reports; the last change reported: $((seen)); status after its folder was deleted: $status (1 expected)"
((seen == 1)) && [[ $status == 1 ]] || failed=1

# The terminal's object server stays two seconds after its last process.
for _ in $(seq 60); do pgrep -f -- "$work/" >/dev/null || break; sleep 0.1; done
left=$(pgrep -f -- "$work/" | wc -l || true)
echo "left running: $left"
((left == 0)) || failed=1
exit $failed
