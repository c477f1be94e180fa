# Shared by the mingw-w64 toolchain files: Debian's cross compilers with
# POSIX threads (std::thread and std::mutex need them in g++ 12), and
# programs, libraries and headers from the target's own root only, so no
# header or library of the build machine reaches a Windows image.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_CXX_COMPILER ${QEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_C_COMPILER ${QEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_RC_COMPILER ${QEL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
