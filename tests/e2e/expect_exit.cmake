# Runs PROGRAM with the |-separated ARGS and checks its exit code (EXPECTED) and, when given,
# that standard error matches STDERR_REGEX and standard output matches STDOUT_REGEX.
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_VARIABLE out)
if(NOT code EQUAL EXPECTED)
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECTED}\nstdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED STDERR_REGEX AND NOT err MATCHES "${STDERR_REGEX}")
  message(FATAL_ERROR "stderr does not match '${STDERR_REGEX}':\n${err}")
endif()
if(DEFINED STDOUT_REGEX AND NOT out MATCHES "${STDOUT_REGEX}")
  message(FATAL_ERROR "stdout does not match '${STDOUT_REGEX}':\n${out}")
endif()
