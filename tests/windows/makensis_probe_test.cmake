# The example installer's makensis probe (cmake/makensis_probe.cmake), in script mode:
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... [-DMAKENSIS=a real makensis] -P makensis_probe_test.cmake
# A makensis that stops at `Target amd64-unicode`, as Windows' own does, is refused; one that
# builds is taken; a real makensis, when given (Debian's has the stubs), builds the probe.
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/makensis_probe.cmake)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# fake(NAME EXIT_ON_AMD64): a makensis that exits EXIT_ON_AMD64 for a script holding that target.
function(fake name status)
  file(WRITE "${WORK_DIR}/${name}"
       "#!/bin/sh\nfor arg; do script=$arg; done\n"
       "if grep -q '^Target amd64-unicode' \"$script\"; then\n"
       "  echo 'Error: invalid target platform' >&2\n  exit ${status}\nfi\nexit 0\n")
  file(CHMOD "${WORK_DIR}/${name}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endfunction()
fake(without-stubs 1)
fake(with-stubs 0)

set(cases "without-stubs\;FALSE" "with-stubs\;TRUE")
if(MAKENSIS)
  list(APPEND cases "${MAKENSIS}\;TRUE")
endif()
foreach(case IN LISTS cases)
  list(GET case 0 program)
  list(GET case 1 expected)
  if(NOT IS_ABSOLUTE "${program}")
    set(program "${WORK_DIR}/${program}")
  endif()
  orvane_makensis_targets_amd64("${program}" "${WORK_DIR}/probe" found)
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "probe of ${program}: ${found}, expected ${expected}")
  endif()
  if(found AND NOT "${program}" MATCHES "/with-stubs$" AND NOT EXISTS "${WORK_DIR}/probe/probe.exe")
    message(FATAL_ERROR "${program} passed the probe without building its installer")
  endif()
endforeach()
