# The test that stands for a suite the build could not register.
#   cmake -DSUITE=<name> -DREASON=<why> -P unregistered_suite.cmake
message(FATAL_ERROR "${SUITE} was not registered: ${REASON}")
