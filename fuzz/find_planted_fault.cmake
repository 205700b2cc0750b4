# Runs the fuzz_flash_session variant with the planted fault for a bounded
# number of runs and passes only when the fuzzer stops on the check of the
# final flash command. It starts from the seeds without the sessions that
# play the planted fault's case outright (the last chunk read back wrong),
# so the fuzzer itself has to get there.
#   cmake -DFUZZER=<exe> -DSEEDS=<folder> -DWORK=<folder> -P find_planted_fault.cmake
set(corpus ${WORK}/corpus)
file(REMOVE_RECURSE ${corpus})
file(MAKE_DIRECTORY ${corpus})
file(GLOB seeds ${SEEDS}/*)
list(FILTER seeds EXCLUDE REGEX "/last-(byte-differs|read-moves-nothing)-")
file(COPY ${seeds} DESTINATION ${corpus})
execute_process(
  COMMAND ${FUZZER} -seed=1 -runs=40000 -max_len=64 -print_final_stats=1 -artifact_prefix=${WORK}/ ${corpus}
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
string(REGEX MATCH "fuzz_flash_session: final flash command [^\n]*" finding "${out}")
if(rc EQUAL 0 OR NOT finding)
  message(FATAL_ERROR "the planted fault was not found (exit ${rc}):\n${out}")
endif()
string(REGEX MATCH "number_of_executed_units: [0-9]+" runs "${out}")
string(REGEX MATCH "[0-9]+" runs "${runs}")
message(STATUS "found after ${runs} runs: ${finding}")
