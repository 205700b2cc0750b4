# The discovery end-to-end test uses the virtual drive's WNASPI32.DLL (its
# Windows 9x cases) and SG front (its NT cases). The NT cases need drive
# letters mapped per case before the prefix's server starts, so
# discovery_run.sh runs them once per mapping.
add_dependencies(e2e_discovery_e2e_test wnaspi32)
if(QRW_VDRIVE_SG_SHIM)
  add_dependencies(e2e_discovery_e2e_test qrw_vdrive_sg)
  add_test(NAME e2e.discovery_nt
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/discovery_run.sh ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:e2e_discovery_e2e_test> ${QRW_VDRIVE_SG_SHIM})
  set_tests_properties(e2e.discovery_nt PROPERTIES LABELS e2e TIMEOUT 600)
else()
  set(QRW_E2E_MISSING_e2e.discovery_nt "${QRW_E2E_NO_SG_FRONT}")
endif()
