# The Debian package of the native tools: qrwflash and qrwpack with their
# manual pages, made by `cpack -G DEB` in the native build folder.
#
# A build with sanitizers (QRW_SANITIZE) must not ship its programs: they
# would need the sanitizer runtimes and abort on their findings. There the
# package takes the two programs from a plain optimised build of the same
# source tree (qrw_plain_tools, in plain-tools/), built when the package is
# made.
if(WIN32)
  return()
endif()

set(_man ${PROJECT_SOURCE_DIR}/tools/qrwflash/qrwflash.1 ${PROJECT_SOURCE_DIR}/tools/qrwpack/qrwpack.1)
if(QRW_SANITIZE)
  include(ExternalProject)
  set(_plain ${CMAKE_BINARY_DIR}/plain-tools)
  set(_launchers)
  if(CMAKE_CXX_COMPILER_LAUNCHER)
    list(APPEND _launchers -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
         -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
  endif()
  ExternalProject_Add(qrw_plain_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${_plain}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DQRW_SANITIZE=OFF ${_launchers}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qrwflash qrwpack --parallel 2
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    EXCLUDE_FROM_ALL ON)
  install(CODE "
    execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${CMAKE_BINARY_DIR}\" --target qrw_plain_tools
                    RESULT_VARIABLE _built)
    if(NOT _built EQUAL 0)
      message(FATAL_ERROR \"the plain build of qrwflash and qrwpack failed\")
    endif()")
  install(PROGRAMS ${_plain}/tools/qrwflash/qrwflash ${_plain}/tools/qrwpack/qrwpack DESTINATION bin)
else()
  install(TARGETS qrwflash qrwpack RUNTIME DESTINATION bin)
endif()
install(FILES ${_man} DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qrwflash)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quarvel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware flash tools for QUARVEL QRW CD-RW drives")
set(CPACK_PACKAGE_DESCRIPTION
  "qrwflash flashes a QRW drive from a Linux terminal over SG_IO with the package of a flash program file (for example 1.10.EXE); qrwpack builds and inspects flash programs.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "qrwflash developers <qrwflash@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
