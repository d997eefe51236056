# Runs one example; its output must equal the expected text, byte for byte.
execute_process(COMMAND "${EXAMPLE}" RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXAMPLE}: exit status ${status}\n${out}")
endif()
file(READ "${EXPECTED}" want)
if(NOT out STREQUAL want)
  message(FATAL_ERROR "example output differs\n--- got:\n${out}\n--- want:\n${want}")
endif()
