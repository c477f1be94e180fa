#!/usr/bin/env bash
# Compiles every source of the module, and the libraries it is built from,
# against the Windows SDK (mingw-w64, 32-bit x86 as the device) with the ce
# headers' Windows side: proves the code needs nothing but the ce API and
# that the ce headers coexist with <windows.h>. Syntax only; the Windows
# backend itself is not built here. Sources compile in parallel, one job a core.
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=${MINGW_CXX:-i686-w64-mingw32-g++}
command -v "$cxx" >/dev/null || { echo "check-windows: $cxx is missing (scripts/setup.sh installs it)" >&2; exit 2; }
# The header-only libraries the module uses, alone: the host's /usr/include
# must not reach the SDK build.
libs=$(mktemp -d); trap 'rm -rf "$libs"' EXIT
ln -s /usr/include/SimpleIni.h "$libs/SimpleIni.h"
# UNICODE as a device build has it: every A/W macro then names the W function.
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-missing-field-initializers -DUNICODE -D_UNICODE
       -Iinclude -Iplatform/include -Iplatform/util -Icommon/include -Iplugin -isystem "$libs")
mapfile -t sources < <(git ls-files 'plugin/*.cpp' 'common/*.cpp' 'platform/util/*.cpp' | grep -v '_test\.cpp$')
# The contract's object layout on Windows, checked at compile time.
sources+=(tests/layout/ms_layout_check.cpp)
# One line per source that fails, in $libs/failed; the compiler's own messages on stderr.
export cxx libs
printf '%s\0' "${sources[@]}" |
  xargs -0 -n1 -P "$(nproc)" bash -c '"$cxx" "${@:1:$#-1}" "${!#}" ||
    echo "check-windows: ${!#} does not compile against the Windows SDK" >>"$libs/failed"' _ "${flags[@]}"
failed=0
[[ -s $libs/failed ]] && { sort "$libs/failed" >&2; failed=1; }
# Every contract and ce header, then windows.h again and in the other order:
# no macro of either side may break the other. Before them, windows.h comes
# after winsock2.h, as in any program using Winsock 2.
headers=$(git ls-files 'include/qel/*.h' 'platform/include/ce/*.h' | sed 's|^include/||; s|^platform/include/||; s|.*|#include "&"|')
for order in before after; do
  probe=$( ([ $order = before ] && printf '#include <winsock2.h>\n#include <windows.h>\n'; echo "$headers"; echo '#include <windows.h>'
            echo 'static_assert(TRUE == 1 && MAX_PATH == 260 && ERROR_MORE_DATA == 234);') )
  echo "$probe" | "$cxx" "${flags[@]}" -x c++ - || { echo "check-windows: headers with windows.h $order them do not compile" >&2; failed=1; }
done
((failed == 0)) && echo "check-windows: ${#sources[@]} sources compile against the Windows SDK"
exit $failed
