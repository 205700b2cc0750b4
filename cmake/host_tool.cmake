# A small program that runs on the build machine at build time (generators).
# Natively it is an ordinary executable; in the cross build it is compiled
# with the host's compiler, since the target's programs do not run here.
#
#   qrw_host_tool(<name> <source> [INCLUDE <dir>...] [DEPENDS <file>...])
# sets QRW_HOST_TOOL_<name> to the command to run and
# QRW_HOST_TOOL_<name>_DEPENDS to what a custom command must depend on.
set(QRW_HOST_CXX c++ CACHE STRING "host C++ compiler for build-time tools")

function(qrw_host_tool name source)
  cmake_parse_arguments(ARG "" "" "INCLUDE;DEPENDS" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    set(_exe ${CMAKE_CURRENT_BINARY_DIR}/${name})
    set(_includes)
    foreach(_dir ${ARG_INCLUDE})
      list(APPEND _includes -I${_dir})
    endforeach()
    add_custom_command(
      OUTPUT ${_exe}
      COMMAND ${QRW_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror ${_includes} ${source} -o ${_exe}
      DEPENDS ${source} ${ARG_DEPENDS}
      COMMENT "Building ${name} for the build machine")
    set(QRW_HOST_TOOL_${name} ${_exe} PARENT_SCOPE)
    set(QRW_HOST_TOOL_${name}_DEPENDS ${_exe} PARENT_SCOPE)
  else()
    add_executable(${name} ${source})
    target_include_directories(${name} PRIVATE ${ARG_INCLUDE})
    set(QRW_HOST_TOOL_${name} $<TARGET_FILE:${name}> PARENT_SCOPE)
    set(QRW_HOST_TOOL_${name}_DEPENDS ${name} PARENT_SCOPE)
  endif()
endfunction()
