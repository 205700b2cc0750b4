# Compiles one line, #include "HEADER", with the include directories a
# library's users get, and checks the outcome: a library's own and its
# dependencies' headers compile, a header of a layer above it is not found.
#   cmake -DCXX=<compiler> -DINCLUDES="<dir>;..." -DHEADER=app/flash_form.h
#         -DEXPECT=found|missing -DWORK=<dir> -P include_probe.cmake
file(MAKE_DIRECTORY ${WORK})
string(MAKE_C_IDENTIFIER "${HEADER}" _name)
set(_probe ${WORK}/${_name}.cpp)
file(WRITE ${_probe} "#include \"${HEADER}\"\n")
set(_flags -std=c++20 -fsyntax-only)
foreach(_dir ${INCLUDES})
  list(APPEND _flags -I${_dir})
endforeach()
execute_process(COMMAND ${CXX} ${_flags} ${_probe}
                RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
if(EXPECT STREQUAL "found")
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${HEADER} should compile here:\n${_out}")
  endif()
elseif(EXPECT STREQUAL "missing")
  if(_rc EQUAL 0)
    message(FATAL_ERROR "${HEADER} compiles, but it lies in a layer above this library")
  endif()
  if(NOT _out MATCHES "${HEADER}: No such file or directory")
    message(FATAL_ERROR "${HEADER} failed for another reason than not being found:\n${_out}")
  endif()
else()
  message(FATAL_ERROR "EXPECT must be found or missing")
endif()
message(STATUS "${HEADER}: ${EXPECT}")
