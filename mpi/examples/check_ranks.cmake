# Runs an MPI example (EXAMPLE with ARGUMENTS, a ;-list) on 1 and on 2
# processes: both must end with status 0, and their outputs after the first
# line (which names the number of processes) must be the same text.
foreach(np 1 2)
  execute_process(COMMAND ${MPIEXEC} ${NP_FLAG} ${np} --oversubscribe ${EXAMPLE} ${ARGUMENTS}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${EXAMPLE} on ${np}: exit status ${status}\n${out}")
  endif()
  string(REGEX REPLACE "^[^\n]*\n" "" out_${np} "${out}")
endforeach()
if(NOT out_1 STREQUAL out_2)
  message(FATAL_ERROR "the outputs differ\n--- 1 process:\n${out_1}\n--- 2 processes:\n${out_2}")
endif()
message(STATUS "${out_2}")
