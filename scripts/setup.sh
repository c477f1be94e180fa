#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libsqlite3-dev libsimpleini-dev libgcab-dev gcab binutils time python3
          g++-mingw-w64-i686 clang libclang-rt-14-dev clang-format ccache
          sox  # sox: the end-to-end tests measure the rendered sound with it
          binutils-mingw-w64 python3-pefile  # version resources in PE images, and an independent reader of them
          # the Windows builds (scripts/build-windows.sh): both architectures, the
          # x86-64 programs run under wine64, and a test host in Microsoft's object layout
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 lld)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
