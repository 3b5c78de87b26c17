# Fails unless PROGRAM imports from system DLLs alone, and imports SetDefaultDllDirectories.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P imports_test.cmake
# The system DLLs: the kernel, COM and OLE Automation, the C runtime (msvcrt, or the universal one
# with its api-ms-win-crt-* sets), and advapi32, whose random numbers the stack protector's start-up
# (GCC's libssp, linked in) seeds its guard value with: all of them Windows loads from its own
# folder whatever lies beside the program. The GCC runtime (libstdc++-6, libgcc_s_seh-1,
# libwinpthread-1, libssp-0) and any other DLL would be searched for in the program's folder first.
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
  if(NOT name MATCHES "^(kernel32|advapi32|ole32|oleaut32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${PROGRAM} imports DLLs that are not the system's: ${foreign}")
endif()

# What COM and the firewall's server load later by bare name is safe only once the program has made
# System32 the one folder searched; it does so with the first call of main, imported from KERNEL32.
string(FIND "${dump}" "DLL Name: KERNEL32.dll" start)
set(kernel32 "")
if(start GREATER_EQUAL 0)
  math(EXPR start "${start} + 22")  # past "DLL Name: KERNEL32.dll"
  string(SUBSTRING "${dump}" ${start} -1 kernel32)
  string(FIND "${kernel32}" "DLL Name:" end)
  string(SUBSTRING "${kernel32}" 0 ${end} kernel32)
endif()
if(NOT kernel32 MATCHES "[0-9]+  SetDefaultDllDirectories\n")
  message(FATAL_ERROR "${PROGRAM} does not import SetDefaultDllDirectories from KERNEL32.dll")
endif()
