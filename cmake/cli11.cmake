# CLI11, the command-line parser of the native tools (Debian: libcli11-dev),
# header-only, as the target CLI11::CLI11 in both builds. The cross build
# must not search the build machine's include folder (it would find Linux's
# C library headers there), so it gets a copy of CLI11's headers alone.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(CLI11 CONFIG REQUIRED)
  return()
endif()
find_path(QRW_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT QRW_CLI11_INCLUDE)
  message(FATAL_ERROR "CLI11 not found: install libcli11-dev (scripts/install-deps.sh)")
endif()
set(_copy ${CMAKE_BINARY_DIR}/cli11)
file(COPY ${QRW_CLI11_INCLUDE}/CLI DESTINATION ${_copy})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${_copy})
