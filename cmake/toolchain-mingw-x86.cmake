# 32-bit x86 Windows, the terminal's instruction set (mingw-w64).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QEL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
