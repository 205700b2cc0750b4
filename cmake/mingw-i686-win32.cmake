# Cross build of the shipped Windows programs (QRWFLASH.EXE, the flash
# programs, qrwpack.exe) with Debian's mingw-w64 in the win32 thread model.
# The posix model links libwinpthread into every program that uses
# exceptions, and with it imports that Windows 98 to XP lack.
#
# Code for an i586 (Pentium, K6, early C3): no CMOV, FCOMI or SSE, which
# -march=i586 never emits. Optimised for size. Without C++ exceptions, so
# that GCC's prebuilt unwinder (built for the Pentium Pro) stays out; the
# runtime pieces in src/program/runtime/ end the program with the standard
# error box where the C++ library would throw.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_C_FLAGS_INIT "-march=i586 -Os")
set(CMAKE_CXX_FLAGS_INIT "-march=i586 -Os -fno-exceptions -fno-asynchronous-unwind-tables")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
