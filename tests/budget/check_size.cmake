# cmake -DPROGRAM=FILE -DSTRIP=STRIP -DCOPY=FILE -DBUDGET=BYTES -P check_size.cmake
# Strips a copy of PROGRAM (the program itself is left as built) and fails when the stripped
# copy is larger than BUDGET bytes.
foreach(variable PROGRAM STRIP COPY BUDGET)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "check_size.cmake needs -D${variable}=...")
  endif()
endforeach()

file(COPY_FILE "${PROGRAM}" "${COPY}")
execute_process(COMMAND "${STRIP}" --strip-all "${COPY}" RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "${STRIP} failed on ${COPY}")
endif()
file(SIZE "${COPY}" size)
math(EXPR kib "${size} / 1024")
math(EXPR budget_kib "${BUDGET} / 1024")
if(size GREATER BUDGET)
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes (${kib} KiB) stripped, over its budget of "
                      "${BUDGET} bytes (${budget_kib} KiB)")
endif()
message(STATUS "${PROGRAM}: ${size} bytes (${kib} KiB) stripped; budget ${BUDGET} bytes")
