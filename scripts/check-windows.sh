#!/usr/bin/env bash
# Compiles every source of the module, and the libraries it is built from,
# against the Windows SDK (mingw-w64, 32-bit x86 as the device) with the ce
# headers' Windows side: proves the code needs nothing but the ce API and
# that the ce headers coexist with <windows.h>. Syntax only; the Windows
# backend itself is not built here.
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=${MINGW_CXX:-i686-w64-mingw32-g++}
command -v "$cxx" >/dev/null || { echo "check-windows: $cxx is missing (scripts/setup.sh installs it)" >&2; exit 2; }
# SimpleIni is header-only on Windows: offer it alone, not the rest of /usr/include.
simpleini=$(mktemp -d); trap 'rm -rf "$simpleini"' EXIT
ln -s /usr/include/SimpleIni.h "$simpleini/SimpleIni.h"
flags=(-std=c++20 -isystem "$simpleini" -fsyntax-only -Wall -Wextra -Werror -Wno-missing-field-initializers
       -Iinclude -Iplatform/include -Iplatform/util -Icommon/include -Iplugin)
mapfile -t sources < <(git ls-files 'plugin/*.cpp' 'common/*.cpp' 'platform/util/*.cpp' | grep -v '_test\.cpp$')
failed=0
for f in "${sources[@]}"; do
  "$cxx" "${flags[@]}" "$f" || { echo "check-windows: $f does not compile against the Windows SDK" >&2; failed=1; }
done
# Every contract and ce header, then windows.h again and in the other order:
# no macro of either side may break the other.
headers=$(git ls-files 'include/qel/*.h' 'platform/include/ce/*.h' | sed 's|^include/||; s|^platform/include/||; s|.*|#include "&"|')
for order in before after; do
  probe=$( ([ $order = before ] && echo '#include <windows.h>'; echo "$headers"; echo '#include <windows.h>'
            echo 'static_assert(TRUE == 1 && MAX_PATH == 260 && ERROR_MORE_DATA == 234);') )
  echo "$probe" | "$cxx" "${flags[@]}" -x c++ - || { echo "check-windows: headers with windows.h $order them do not compile" >&2; failed=1; }
done
((failed == 0)) && echo "check-windows: ${#sources[@]} sources compile against the Windows SDK"
exit $failed
