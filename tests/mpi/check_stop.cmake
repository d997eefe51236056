# Runs the stop test under mpirun (COMMAND, a ;-list): every process must
# end with status 0, and the report (REPORT, a regular expression) must be
# printed once, by rank 0.
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
set(all "${out}${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exit status ${status}\n${all}")
endif()
string(REGEX MATCHALL "${REPORT}" reports "${all}")
list(LENGTH reports count)
if(NOT count EQUAL 1 OR all MATCHES "not stopped")
  message(FATAL_ERROR "the report printed ${count} times (want 1)\n${all}")
endif()
