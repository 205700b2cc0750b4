# Transport checks of the virtual drive's Wine fronts (transport_*): the SG
# device shim under Wine's NT pass-through, and WNASPI32.DLL in 9x mode.
add_executable(transport_checks transport_nt_checks.cpp transport_aspi_checks.cpp)
target_link_libraries(transport_checks PRIVATE GTest::gtest_main)
target_link_options(transport_checks PRIVATE -static)
add_test(NAME e2e.transport_9x
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/transport_run.sh 9x
          ${CMAKE_BINARY_DIR} $<TARGET_FILE:transport_checks>
          $<TARGET_FILE:wnaspi32> "${QRW_VDRIVE_SG_SHIM}")
set_tests_properties(e2e.transport_9x PROPERTIES LABELS e2e TIMEOUT 600)
if(QRW_VDRIVE_SG_SHIM)
  add_test(NAME e2e.transport_nt
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/transport_run.sh nt
            ${CMAKE_BINARY_DIR} $<TARGET_FILE:transport_checks>
            $<TARGET_FILE:wnaspi32> ${QRW_VDRIVE_SG_SHIM})
  set_tests_properties(e2e.transport_nt PROPERTIES LABELS e2e TIMEOUT 600)
else()
  set(QRW_E2E_MISSING_e2e.transport_nt "${QRW_E2E_NO_SG_FRONT}")
endif()
