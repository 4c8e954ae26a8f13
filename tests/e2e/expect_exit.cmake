# Runs PROGRAM with the ;-separated ARGS and checks its exit code and standard error.
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_VARIABLE out)
if(NOT code EQUAL EXPECTED)
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECTED}\nstderr: ${err}")
endif()
if(DEFINED STDERR_REGEX AND NOT err MATCHES "${STDERR_REGEX}")
  message(FATAL_ERROR "stderr does not match '${STDERR_REGEX}':\n${err}")
endif()
