# The Debian package of the native tools: qrwflash and qrwpack with their
# manual pages, the licence and the changelog, made by `cpack -G DEB` in the
# native build folder.
#
# The package never ships the programs of the build it is made in: a build
# with sanitizers would need the sanitizer runtimes and abort on their
# findings, and a developer's build lacks Debian's hardening flags. It takes
# the two programs from a plain RelWithDebInfo build of the same source tree
# with the flags dpkg-buildflags gives (qrw_plain_tools, in plain-tools/),
# built when the package is made. That build also compiles the tests' NT
# reference rig, so that CI compiles test code at -O2 with -Werror too.
if(WIN32)
  return()
endif()

include(ExternalProject)
set(_plain ${CMAKE_BINARY_DIR}/plain-tools)
set(_launchers)
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND _launchers -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
       -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
# hardening=+all adds bind-now to the default relro, stack protector,
# fortified functions and format checks.
set(_debian_flags)
foreach(_kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          dpkg-buildflags --get ${_kind}
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE _debian_${_kind} OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _got)
  if(NOT _got EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags failed: install dpkg-dev (scripts/install-deps.sh)")
  endif()
endforeach()
ExternalProject_Add(qrw_plain_tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${_plain}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRW_SANITIZE=OFF -DQRW_STATIC_QRWPACK=OFF
             ${_launchers}
  CMAKE_CACHE_ARGS "-DCMAKE_C_FLAGS:STRING=${_debian_CPPFLAGS} ${_debian_CFLAGS}"
                   "-DCMAKE_CXX_FLAGS:STRING=${_debian_CPPFLAGS} ${_debian_CXXFLAGS}"
                   "-DCMAKE_EXE_LINKER_FLAGS:STRING=${_debian_LDFLAGS}"
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qrwflash qrwpack qrw_nt_reference
                --parallel 2
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  EXCLUDE_FROM_ALL ON)
# The programs go in stripped as dh_strip strips them: the debug sections,
# the symbols not needed for relocation, the compiler's notes.
set(_stripped ${CMAKE_BINARY_DIR}/debian-bin)
install(CODE "
  execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${CMAKE_BINARY_DIR}\" --target qrw_plain_tools
                  RESULT_VARIABLE _built)
  if(NOT _built EQUAL 0)
    message(FATAL_ERROR \"the plain build of qrwflash and qrwpack failed\")
  endif()
  file(MAKE_DIRECTORY \"${_stripped}\")
  foreach(_tool qrwflash qrwpack)
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note --strip-unneeded
                            -o \"${_stripped}/\${_tool}\" \"${_plain}/tools/\${_tool}/\${_tool}\"
                    RESULT_VARIABLE _strip)
    if(NOT _strip EQUAL 0)
      message(FATAL_ERROR \"strip \${_tool} failed\")
    endif()
  endforeach()")
install(PROGRAMS ${_stripped}/qrwflash ${_stripped}/qrwpack DESTINATION bin)

# The manual pages carry the project's version. Debian wants them and the
# changelog compressed, without a time stamp in the gzip header (-n) so that
# the package is the same on every build.
set(_docs ${CMAKE_BINARY_DIR}/debian-docs)
configure_file(tools/qrwflash/qrwflash.1.in ${_docs}/qrwflash.1 @ONLY)
configure_file(tools/qrwpack/qrwpack.1.in ${_docs}/qrwpack.1 @ONLY)
set(_compressed)
foreach(_source ${_docs}/qrwflash.1 ${_docs}/qrwpack.1 ${PROJECT_SOURCE_DIR}/debian/changelog)
  get_filename_component(_name ${_source} NAME)
  add_custom_command(OUTPUT ${_docs}/${_name}.gz
    COMMAND gzip -9 -n -c ${_source} > ${_docs}/${_name}.gz
    DEPENDS ${_source}
    COMMENT "Compressing ${_name} for the Debian package")
  list(APPEND _compressed ${_docs}/${_name}.gz)
endforeach()
add_custom_target(qrw_debian_docs ALL DEPENDS ${_compressed})
install(FILES ${_docs}/qrwflash.1.gz ${_docs}/qrwpack.1.gz DESTINATION share/man/man1)
install(FILES ${_docs}/changelog.gz ${PROJECT_SOURCE_DIR}/debian/copyright
        DESTINATION share/doc/qrwflash)
# The configuration folders the package makes and leaves empty
# (debian/qrwflash.dirs: the keys qrwflash trusts go in there), and lintian
# told that they are empty on purpose.
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/qrwflash.dirs _config_dirs)
foreach(_dir ${_config_dirs})
  install(DIRECTORY DESTINATION /${_dir})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/debian/qrwflash.lintian-overrides
        DESTINATION share/lintian/overrides RENAME qrwflash)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qrwflash)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quarvel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware flash tools for QUARVEL QRW CD-RW drives")
# Debian's limit: at most 80 characters a line.
set(CPACK_PACKAGE_DESCRIPTION
  "qrwflash flashes a QRW drive from a Linux terminal over SG_IO with the
package of a flash program file (for example 1.10.EXE); qrwpack builds,
inspects and verifies flash programs.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "qrwflash developers <qrwflash@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
