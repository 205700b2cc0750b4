# Every end-to-end suite the cross build must run. A suite that could not be
# registered (a tool it needs is missing, a registration was dropped) is
# registered instead as a test that fails and says why, so that no run can
# pass by leaving a suite out. QRW_E2E_MISSING_<suite> holds the reason a
# registration step knows.
set(QRW_E2E_EXPECTED_SUITES
  e2e.builder_e2e_test
  e2e.discovery_e2e_test
  e2e.package_file_test
  e2e.startup_e2e_test
  e2e.flash_e2e_test
  e2e.guard_e2e_test
  e2e.discovery_nt
  e2e.transport_9x
  e2e.transport_nt)
foreach(_suite ${QRW_E2E_EXPECTED_SUITES})
  if(TEST ${_suite})
    continue()
  endif()
  set(_reason "${QRW_E2E_MISSING_${_suite}}")
  if(NOT _reason)
    set(_reason "the build did not register it")
  endif()
  add_test(NAME ${_suite}
    COMMAND ${CMAKE_COMMAND} -DSUITE=${_suite} "-DREASON=${_reason}"
            -P ${PROJECT_SOURCE_DIR}/cmake/unregistered_suite.cmake)
  set_tests_properties(${_suite} PROPERTIES LABELS e2e)
endforeach()
