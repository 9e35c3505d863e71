# Cross build for 64-bit Windows with the posix-thread mingw-w64 compiler.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The programs of this tree run under 64-bit Wine in a win64 prefix, which
# needs no 32-bit Linux support.
set(QP_ARCH x64)
set(QP_WINE_LOADER /usr/lib/wine/wine64)
set(QP_WINE_PREFIX_ARCH win64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QP_WINE_LOADER})
