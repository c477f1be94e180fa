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
# Windows are made by Wine's null display driver: no X server is needed, and
# messages go between windows as on any desktop. A prefix made before this
# line gets the driver once, after its Wine programs have ended.
graphics='"Graphics"="null"'
if [[ ! -f $WINEPREFIX/system.reg ]] || ! grep -qs "$graphics" "$WINEPREFIX/user.reg"; then
  flock "$WINEPREFIX.lock" bash -c '
    [[ -f $WINEPREFIX/system.reg ]] || "$0" wineboot -i
    grep -qs "$1" "$WINEPREFIX/user.reg" || "$0" reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f
    /usr/lib/wine/wineserver64 -w' "$wine" "$graphics" >/dev/null 2>&1
fi
exec "$wine" "$@"
