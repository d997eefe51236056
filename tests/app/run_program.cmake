# Runs the trajectory program twice in a fresh directory and checks its
# console output, its exit status and traject.txt byte for byte. The second
# run must replace the file, not append to it.
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
file(READ "${EXPECTED_CONSOLE}" want_console)
file(READ "${EXPECTED_FILE}" want_file)
foreach(run 1 2)
  execute_process(COMMAND "${PROGRAM}"
    WORKING_DIRECTORY "${WORKDIR}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE console
    ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "run ${run}: exit status ${status}, expected 0; stderr: ${errors}")
  endif()
  if(NOT console STREQUAL want_console)
    message(FATAL_ERROR "run ${run}: console output differs.\n--- got:\n${console}\n--- want:\n${want_console}")
  endif()
  if(NOT errors STREQUAL "")
    message(FATAL_ERROR "run ${run}: unexpected standard error: ${errors}")
  endif()
  file(READ "${WORKDIR}/traject.txt" got_file HEX)
  file(READ "${EXPECTED_FILE}" want_hex HEX)
  if(NOT got_file STREQUAL want_hex)
    message(FATAL_ERROR "run ${run}: traject.txt differs (hex)\n got: ${got_file}\nwant: ${want_hex}")
  endif()
endforeach()
