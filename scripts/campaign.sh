#!/usr/bin/env bash
# The concurrency and kill campaigns of issue 6, in reduced form, on the
# release build: concurrent `terminal set` writers and registry writers (is any
# acknowledged write lost?), then kill -9 of writers and of terminal makers (are
# files left corrupt, and are the orphans cleaned by the next open?), of PXS
# writers of a settings file mid-write (does the file stay a whole INI file with
# every setting?) and of installs mid-extraction (is every installed file whole,
# old or new, and are the staging folders cleaned by the next install?).
#   scripts/campaign.sh [WRITERS] [WRITES_EACH] [KILLS]     (default 8 25 60)
# QEL_HOST_UNDER_TEST=PATH runs another qelhost (an older build, say) instead.
# Prints the counts; exits 1 when anything was lost, corrupt or left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
writers=${1:-8}
each=${2:-25}
kills=${3:-60}
scripts/setup.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target qelhost qel_regwrite >/dev/null
Q=${QEL_HOST_UNDER_TEST:-$PWD/build/release/bin/qelhost}
R=$PWD/build/release/bin/qel_regwrite
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
unset QEL_TERMINAL

# A profile whose hardware has one field per writer.
python3 - "$work/profile.json" "$writers" <<'PY'
import json, sys
p = json.load(open("profiles/thor-vm1.json"))
p["name"] = "campaign"
p["hardware"]["campaign"] = {f"w{i}": 0 for i in range(int(sys.argv[2]))}
json.dump(p, open(sys.argv[1], "w"))
PY
T=$work/terminals/t
"$Q" --terminal "$T" --profile "$work/profile.json" terminal show >/dev/null

# ---- concurrent terminal set: each writer counts 1..N on its own field.
for ((w = 0; w < writers; ++w)); do
  ( acked=0
    for ((v = 1; v <= each; ++v)); do "$Q" --terminal "$T" terminal set "campaign.w$w" "$v" && acked=$v; done
    echo "$acked" >"$work/acked.$w" ) &
done
wait
set_lost=0
for ((w = 0; w < writers; ++w)); do
  final=$("$Q" --terminal "$T" terminal show --json | python3 -c "import json,sys; print(json.load(sys.stdin)['campaign']['w$w'])")
  acked=$(cat "$work/acked.$w")
  ((set_lost += acked - final)) || true
  ((set_lost += each - acked)) || true   # a refused write counts as lost too
done
echo "terminal set: $((writers * each)) writes attempted by $writers processes at once, $set_lost lost"

# ---- concurrent registry writes: each writer its own values.
for ((w = 0; w < writers; ++w)); do "$R" "$T" "$w" "$((each * 4))" >/dev/null & done
wait
held=$("$R" "$T" --count)
reg_lost=$((writers * each * 4 - held))
echo "registry: $((writers * each * 4)) writes attempted by $writers processes at once, $reg_lost lost"

# ---- kill -9 of writers and makers.
corrupt=0 temps_seen=0 staging_seen=0
check_files() {  # hardware.json parses and passes the open; registry.db passes its integrity check
  python3 -c "import json,sys; json.load(open(sys.argv[1]))" "$T/hardware.json" 2>/dev/null || { echo "corrupt: $T/hardware.json"; ((++corrupt)); }
  [ "$(python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('PRAGMA integrity_check').fetchone()[0])" "$T/registry.db")" = ok ] \
    || { echo "corrupt: $T/registry.db"; ((++corrupt)); }
}
for ((k = 0; k < kills; ++k)); do
  # In a process group of its own, so that the loop and its current qelhost go together.
  setsid bash -c 'while :; do "$0" --terminal "$1" terminal set power.battery_voltage $RANDOM 2>/dev/null; done' "$Q" "$T" &
  loop=$!
  "$R" "$T" "k$k" 100000 >/dev/null 2>&1 &
  reg=$!
  "$Q" --terminal "$work/terminals/new$k" props >/dev/null 2>&1 &
  maker=$!
  sleep "0.$(printf %02d $((RANDOM % 45 + 5)))"   # 0.05 to 0.49 s
  # The writer loop with its current qelhost (its process group, once setsid
  # has made one), the registry writer and the maker: all at once.
  kill -9 -- "-$loop" 2>/dev/null || true
  kill -9 "$loop" "$reg" "$maker" 2>/dev/null || true
  wait "$loop" "$reg" "$maker" 2>/dev/null || true
  # What this round's kills left (the next round's first open removes it).
  ((temps_seen += $(find "$T" -maxdepth 1 -name 'hardware.json.??????' | wc -l))) || true
  ((staging_seen += $(find "$work/terminals" -maxdepth 1 -name '.*.making.*' | wc -l))) || true
  check_files
done
temps_before=$(find "$T" -maxdepth 1 -name 'hardware.json.??????' | wc -l)
staging_before=$(find "$work/terminals" -maxdepth 1 -name '.*.making.*' | wc -l)
"$Q" --terminal "$T" terminal show >/dev/null || { echo "the terminal no longer opens"; ((++corrupt)); }
for made in "$work"/terminals/new*; do
  [ -d "$made" ] || continue
  "$Q" --terminal "$made" terminal show >/dev/null 2>&1 || { echo "left unusable: $made"; ((++corrupt)); }
done
temps_after=$(find "$T" -maxdepth 1 -name 'hardware.json.??????' | wc -l)
staging_after=$(find "$work/terminals" -maxdepth 1 -name '.*.making.*' | wc -l)
echo "kill -9: $kills rounds (each a terminal set writer, a registry writer and a terminal maker killed)"
echo "  orphans seen right after the kills: $temps_seen hardware.json temporaries, $staging_seen staging folders"
echo "  orphans at the end, before the next open: $temps_before, $staging_before"
echo "  orphans after the next open: $temps_after, $staging_after; corrupt files (checked after every round): $corrupt"
# ---- kill -9 of PXS writers of a settings file, mid-write.
F=$T/fs/Data/campaign.ini
settings=""
for ((i = 0; i < 20; ++i)); do settings+=" k$i start x"; done
"$Q" --terminal "$T" run "PXS W \\Data\\campaign.ini Main$settings" >/dev/null
pxs_corrupt=0
check_ini() {  # every line an INI line, and every setting there with a value a writer wrote
  python3 - "$F" <<'PY' || { echo "corrupt: $F"; ((++pxs_corrupt)); }
import re, sys
text = open(sys.argv[1], "rb").read().decode("cp1252")
values = {}
for line in text.split("\r\n"):
    line = line.strip()
    if not line or line == "[Main]": continue
    m = re.fullmatch(r"(k\d+)=(start|v\d+x*)", line)
    if not m: sys.exit(1)
    values[m.group(1)] = m.group(2)
sys.exit(0 if sorted(values) == sorted(f"k{i}" for i in range(20)) else 1)
PY
}
for ((k = 0; k < kills; ++k)); do
  # Values of changing length: the file grows and shrinks under the kills.
  setsid bash -c 'while :; do n=$RANDOM; v=v$n$(head -c $((n % 200)) /dev/zero | tr "\0" x); "$0" --terminal "$1" run "PXS W \\Data\\campaign.ini Main k$((n % 20)) $v x" >/dev/null 2>&1; done' "$Q" "$T" &
  loop=$!
  sleep "0.$(printf %02d $((RANDOM % 45 + 5)))"
  kill -9 -- "-$loop" 2>/dev/null || true
  kill -9 "$loop" 2>/dev/null || true
  wait "$loop" 2>/dev/null || true
  check_ini
done
echo "kill -9 of PXS writers: $kills rounds; corrupt settings files (checked after every round): $pxs_corrupt"

# ---- kill -9 of installs, mid-extraction: two versions of one package, four
# members of 4 MiB each; every installed file must be whole, of either version.
mkdir -p "$work/cab1/sub" "$work/cab2/sub"
for v in 1 2; do
  for m in a b sub/c sub/d; do head -c $((4 << 20)) /dev/urandom >"$work/cab$v/$m.bin"; done
  (cd "$work/cab$v" && gcab -c -z big.cab a.bin b.bin sub/c.bin sub/d.bin)
done
P=$T/fs/"Program Files"/big
install_corrupt=0 install_orphans_seen=0
for ((k = 0; k < kills; ++k)); do
  "$Q" --terminal "$T" install "$work/cab$((k % 2 + 1))/big.cab" >/dev/null 2>&1 &
  inst=$!
  sleep "0.$(printf %02d $((RANDOM % 60 + 5)))"
  kill -9 "$inst" 2>/dev/null || true
  wait "$inst" 2>/dev/null || true
  for m in a b sub/c sub/d; do
    [ -e "$P/$m.bin" ] || continue
    cmp -s "$P/$m.bin" "$work/cab1/$m.bin" || cmp -s "$P/$m.bin" "$work/cab2/$m.bin" \
      || { echo "corrupt: $P/$m.bin"; ((++install_corrupt)); }
  done
  ((install_orphans_seen += $(find "$T/fs/Temp" "$T/fs/Program Files" -maxdepth 1 \( -name 'qelhost-install.*' -o -name '~wceload.*' \) | wc -l))) || true
done
install_orphans_before=$(find "$T/fs/Temp" "$T/fs/Program Files" -maxdepth 1 \( -name 'qelhost-install.*' -o -name '~wceload.*' \) | wc -l)
"$Q" --terminal "$T" install "$work/cab1/big.cab" >/dev/null || { echo "the install after the kills failed"; ((++install_corrupt)); }
for m in a b sub/c sub/d; do cmp -s "$P/$m.bin" "$work/cab1/$m.bin" || { echo "not installed whole: $m"; ((++install_corrupt)); }; done
install_orphans_after=$(find "$T/fs/Temp" "$T/fs/Program Files" -maxdepth 1 \( -name 'qelhost-install.*' -o -name '~wceload.*' \) | wc -l)
echo "kill -9 of installs: $kills rounds; corrupt installed files (checked after every round): $install_corrupt"
echo "  staging folders seen right after the kills: $install_orphans_seen; at the end: $install_orphans_before; after the next install: $install_orphans_after"

# ---- damaged modules: 20 random bytes changed in the first page of a copy
# (the ELF and program headers and the tables the loader reads: symbols,
# strings, hashes, versions, relocations).
M=$PWD/build/release/bin/QelHal_HON2.mpi
headers=4096
refused=0 loaded=0 crashed=0
for ((i = 0; i < 40; ++i)); do
  python3 - "$M" "$work/bad.mpi" "$headers" "$i" <<'PY'
import random, sys
data = bytearray(open(sys.argv[1], "rb").read())
rng = random.Random(int(sys.argv[4]))
for _ in range(20):
    data[rng.randrange(int(sys.argv[3]))] = rng.randrange(256)
open(sys.argv[2], "wb").write(data)
PY
  status=0
  "$Q" --terminal "$T" --plugin "$work/bad.mpi" props >/dev/null 2>&1 || status=$?
  if ((status == 2)); then ((++refused)); elif ((status == 0)); then ((++loaded)); else ((++crashed)); fi
done
echo "damaged modules: 40 copies with 20 random bytes of the first page changed: $refused refused, $loaded loaded, $crashed crashed"

((set_lost == 0 && reg_lost == 0 && corrupt == 0 && temps_after == 0 && staging_after == 0 && crashed == 0 &&
  pxs_corrupt == 0 && install_corrupt == 0 && install_orphans_after == 0))
