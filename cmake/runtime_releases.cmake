# The C++ runtime pieces the shipped programs build themselves
# (src/program/runtime/) stand in for parts of one GCC release's libstdc++
# and libsupc++ (the error reports of functexcept.o, operator new, the
# std::string instantiation) and of one mingw-w64 release's start-up and
# msvcrt calls (crt2.o's work, _fstati64's record). Another release may add
# a report, change a record or start up differently: the build stops until
# those pieces are checked against it and the releases below moved on.
#
#   qrw_check_runtime_releases(GCC_VERSION MINGW_HEADER)
#     GCC_VERSION: the compiler's version (CMAKE_CXX_COMPILER_VERSION);
#     MINGW_HEADER: mingw-w64's _mingw_mac.h, which names its release.
# As a script (cmake -DGCC_VERSION=... -DMINGW_HEADER=... -P), the same check.
set(QRW_RUNTIME_GCC_MAJOR 12)
set(QRW_RUNTIME_MINGW_RELEASE 10.0)

function(qrw_check_runtime_releases gcc_version mingw_header)
  set(_where "src/program/runtime/ mirrors GCC ${QRW_RUNTIME_GCC_MAJOR} and mingw-w64 ${QRW_RUNTIME_MINGW_RELEASE}")
  set(_todo "check its pieces against this release, then update the releases in cmake/runtime_releases.cmake")
  string(REGEX MATCH "^[0-9]+" _gcc_major "${gcc_version}")
  if(NOT _gcc_major STREQUAL QRW_RUNTIME_GCC_MAJOR)
    message(FATAL_ERROR "The compiler is GCC ${gcc_version}, but ${_where}: ${_todo}.")
  endif()
  if(NOT EXISTS "${mingw_header}")
    message(FATAL_ERROR "No mingw-w64 header ${mingw_header}, so its release is unknown; ${_where}.")
  endif()
  file(STRINGS "${mingw_header}" _lines REGEX "#define __MINGW64_VERSION_(MAJOR|MINOR) ")
  string(REGEX REPLACE ".*MAJOR ([0-9]+).*" "\\1" _major "${_lines}")
  string(REGEX REPLACE ".*MINOR ([0-9]+).*" "\\1" _minor "${_lines}")
  if(NOT "${_major}.${_minor}" STREQUAL QRW_RUNTIME_MINGW_RELEASE)
    message(FATAL_ERROR "mingw-w64 is release ${_major}.${_minor}, but ${_where}: ${_todo}.")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qrw_check_runtime_releases("${GCC_VERSION}" "${MINGW_HEADER}")
endif()
