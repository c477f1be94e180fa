#!/usr/bin/env bash
# Builds the test host in Microsoft's object layout (clang for
# x86_64-pc-windows-msvc, no C runtime, linked by lld-link against
# mingw-w64's import libraries) and runs it under wine64 on the x86-64
# module: proof that the contract headers give the module that layout.
#   scripts/msvc-host.sh [module]   (default build/win-x64/bin/QelHal_HON2.mpi)
# MSVC_HOST_BUILD_ONLY=1 builds without running. Exit status: the host's.
set -euo pipefail
module=$(realpath -m "${1:-$(dirname "$0")/../build/win-x64/bin/QelHal_HON2.mpi}")
cd "$(dirname "$0")/.."
# The host and a copy of the module, side by side.
out=build/msvc-host
mkdir -p "$out"
for tool in clang++ lld-link; do
  command -v $tool >/dev/null || { echo "msvc-host: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done
libs=/usr/x86_64-w64-mingw32/lib
[[ -f $libs/libkernel32.a ]] || { echo "msvc-host: mingw-w64's import libraries are missing in $libs" >&2; exit 2; }

# No C++ library: the freestanding folder gives the few standard headers the
# contract includes.
flags=(--target=x86_64-pc-windows-msvc -std=c++20 -O1 -Wall -Wextra -Werror -fno-exceptions -fno-rtti
       -fno-threadsafe-statics -fms-extensions -ffreestanding -fno-builtin -mno-stack-arg-probe
       -Itests/msvc_host/freestanding -Iinclude)
objects=()
for source in tests/msvc_host/runtime.cpp tests/msvc_host/test_host.cpp tests/layout/ms_layout_check.cpp; do
  object=$out/$(basename "${source%.cpp}").obj
  clang++ "${flags[@]}" -c "$source" -o "$object"
  objects+=("$object")
done
lld-link /nologo /nodefaultlib /safeseh:no /entry:HostMain /subsystem:console /out:"$out/msvc_host.exe" \
  "${objects[@]}" "$libs/libkernel32.a"
echo "msvc-host: built $out/msvc_host.exe"
[[ ${MSVC_HOST_BUILD_ONLY:-0} == 1 ]] && exit 0

[[ -f $module ]] || { echo "msvc-host: no module at $module (scripts/build-windows.sh builds it)" >&2; exit 2; }
cp "$module" "$out/QelHal_HON2.mpi"
cd "$out" && exec ../../scripts/wine.sh msvc_host.exe QelHal_HON2.mpi
