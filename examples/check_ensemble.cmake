# Runs the ensemble example on one thread and on three; apart from its first
# line, which names the thread count, each output must equal the expected
# text byte for byte.
foreach(threads 1 3)
  execute_process(COMMAND "${EXAMPLE}" ${threads} RESULT_VARIABLE status OUTPUT_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ensemble on ${threads} threads: exit status ${status}\n${out}")
  endif()
  string(FIND "${out}" "\n" first_end)
  math(EXPR first_end "${first_end} + 1")
  string(SUBSTRING "${out}" ${first_end} -1 members)
  file(READ "${EXPECTED}" want)
  if(NOT members STREQUAL want)
    message(FATAL_ERROR "ensemble on ${threads} threads differs\n--- got:\n${members}\n--- want:\n${want}")
  endif()
endforeach()
