# Runs qrwpack build into a fresh folder and compares its one output with
# EXPECTED byte for byte.
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(
  COMMAND ${QRWPACK} build --template ${TEMPLATE} --models ${MODELS} --model ${MODEL}
          --image ${IMAGE} --out-dir ${OUT_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "qrwpack build failed (${result})")
endif()
file(GLOB outputs ${OUT_DIR}/*)
list(LENGTH outputs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one output file, found: ${outputs}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${outputs} ${EXPECTED}
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${outputs} differs from ${EXPECTED}")
endif()
