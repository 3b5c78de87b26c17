# Fails unless PROGRAM imports from system DLLs alone.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P imports_test.cmake
# The system DLLs: the kernel, COM and OLE Automation, and the C runtime (msvcrt, or the universal
# one with its api-ms-win-crt-* sets), all of which Windows loads from its own folder whatever
# lies beside the program. The GCC runtime (libstdc++-6, libgcc_s_seh-1, libwinpthread-1) and any
# other DLL would be searched for in the program's folder first.
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed (${status})")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
if(NOT entries)
  message(FATAL_ERROR "no import table in ${PROGRAM}")
endif()

set(foreign "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" name)
  message(STATUS "imports ${dll}")
  if(NOT name MATCHES "^(kernel32|ole32|oleaut32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${PROGRAM} imports DLLs that are not the system's: ${foreign}")
endif()
