#!/usr/bin/env bash
# Runs an x86-64 Windows program under Debian's wine64, quietly:
#   scripts/wine.sh PROGRAM.exe [ARGS...]
# The Wine prefix (its registry and C: drive) is $WINEPREFIX, by default one
# of the user's own beside other caches; it is made on first use, once, even
# when several programs start at the same moment. The exit status is the
# program's.
set -euo pipefail
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || { echo "wine.sh: $wine is missing (scripts/setup.sh installs wine64)" >&2; exit 2; }
(($#)) || { echo "usage: wine.sh PROGRAM.exe [ARGS...]" >&2; exit 2; }
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/qelhal/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
# No desktop integration, no prompts to install Mono or Gecko, and no debugger
# waiting on a program that crashed: it ends, and its test fails.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe,winedbg.exe=d}
mkdir -p "$(dirname "$WINEPREFIX")"
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  flock "$WINEPREFIX.lock" bash -c '[[ -f $WINEPREFIX/system.reg ]] || { "$0" wineboot -i && /usr/lib/wine/wineserver64 -w; } >/dev/null 2>&1' "$wine"
fi
exec "$wine" "$@"
