# cmake -DPROGRAM=FILE -DBUDGET=BYTES [-DOBJDUMP=OBJDUMP] -P check_size.cmake
# Fails when PROGRAM, as built, is larger than BUDGET bytes, or (given OBJDUMP) when it carries any
# .debug_* section: the file that is built is the file that ships.
foreach(variable PROGRAM BUDGET)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "check_size.cmake needs -D${variable}=...")
  endif()
endforeach()

if(OBJDUMP)
  execute_process(COMMAND "${OBJDUMP}" -h "${PROGRAM}" OUTPUT_VARIABLE sections
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -h ${PROGRAM} failed (${status})")
  endif()
  string(REGEX MATCHALL "\\.debug_[a-z_]+" debug "${sections}")
  if(debug)
    list(REMOVE_DUPLICATES debug)
    message(FATAL_ERROR "${PROGRAM} is not stripped: it has the sections ${debug}")
  endif()
endif()

file(SIZE "${PROGRAM}" size)
math(EXPR kib "${size} / 1024")
math(EXPR budget_kib "${BUDGET} / 1024")
if(size GREATER BUDGET)
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes (${kib} KiB) as built, over its budget of "
                      "${BUDGET} bytes (${budget_kib} KiB)")
endif()
message(STATUS "${PROGRAM}: ${size} bytes (${kib} KiB) as built; budget ${BUDGET} bytes")
