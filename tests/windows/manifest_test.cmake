# Fails unless PROGRAM carries MANIFEST, byte for byte, as its only manifest: resource type
# RT_MANIFEST (24), id 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID), the one Windows reads at start-up.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DMANIFEST=<file> -P manifest_test.cmake
execute_process(COMMAND "${OBJDUMP}" -p -h "${PROGRAM}" OUTPUT_VARIABLE dump
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p -h ${PROGRAM} failed (${status})")
endif()

# objdump lists the resource tree as type, name and language tables, each entry on its own line:
#   Entry: ID: 0x000018, ...      the type, RT_MANIFEST
#    Name Table: ...
#     Entry: ID: 0x000001, ...    the id
#      Language Table: ...
#       Entry: ID: 0x000409, ...
#        Leaf: Addr: 0x04a058, Size: 0x000283, Codepage: 0
string(REGEX MATCHALL "Entry: ID: 0x000018," manifests "${dump}")
list(LENGTH manifests count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "${PROGRAM} has ${count} manifest resource types, expected 1:\n${dump}")
endif()
set(line "[^\n]*\n")
if(NOT dump MATCHES "Entry: ID: 0x000018,${line}[^\n]*Name Table: [^\n]*IDs: 1\n[^\n]*Entry: ID: 0x000001,${line}[^\n]*Language Table: [^\n]*IDs: 1\n${line}[^\n]*Leaf: Addr: (0x[0-9a-f]+), Size: (0x[0-9a-f]+)")
  message(FATAL_ERROR "${PROGRAM} has no single manifest with id 1:\n${dump}")
endif()
set(address ${CMAKE_MATCH_1})
set(size ${CMAKE_MATCH_2})

# The leaf's address is relative to the image base; the .rsrc section header says where that
# lies in the file: "  5 .rsrc  000002e0  000000014004a000  000000014004a000  00047e00  2**2".
if(NOT dump MATCHES "ImageBase[\t ]+([0-9a-f]+)")
  message(FATAL_ERROR "no image base in the headers of ${PROGRAM}")
endif()
set(image_base 0x${CMAKE_MATCH_1})
if(NOT dump MATCHES "\\.rsrc +[0-9a-f]+ +([0-9a-f]+) +[0-9a-f]+ +([0-9a-f]+)")
  message(FATAL_ERROR "no .rsrc section in ${PROGRAM}")
endif()
math(EXPR offset "${address} - (0x${CMAKE_MATCH_1} - ${image_base}) + 0x${CMAKE_MATCH_2}")
math(EXPR size "${size}")

file(READ "${PROGRAM}" embedded OFFSET ${offset} LIMIT ${size} HEX)
file(READ "${MANIFEST}" expected HEX)
if(NOT embedded STREQUAL expected)
  message(FATAL_ERROR "the manifest in ${PROGRAM} differs from ${MANIFEST}")
endif()
file(READ "${MANIFEST}" text)
if(NOT text MATCHES "<requestedExecutionLevel level=\"asInvoker\"")
  message(FATAL_ERROR "${MANIFEST} does not ask to run as the invoker")
endif()
