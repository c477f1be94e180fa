# x86-64 Windows (mingw-w64): the build whose programs and tests run here
# under wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QEL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh)
