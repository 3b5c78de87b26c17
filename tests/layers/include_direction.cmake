# Fails when a source file under SOURCE_DIR includes a header of a layer above its own.
#   cmake -DSOURCE_DIR=<src> -DLAYERS="text;platform;report;firewall;driver" -P include_direction.cmake
# A file in <layer>/ may include "<same or lower layer>/..." only; the programs' mains at the top
# may include any layer. A quoted include of a folder that is no layer (fwsim's own, say) is an
# error too: the program reaches the platform through platform/win32.h alone.
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(problems "")
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+/" folder "${file}")
  if(NOT folder)
    continue()  # a main
  endif()
  string(REGEX REPLACE "/$" "" folder "${folder}")
  list(FIND LAYERS "${folder}" own)
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"/]*)/?[^\"]*\".*$" "\\1" target "${line}")
    list(FIND LAYERS "${target}" used)
    if(used EQUAL -1 OR own EQUAL -1 OR used GREATER own)
      string(APPEND problems "  ${file}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "Includes that point up the layers (${LAYERS}):\n${problems}")
endif()
list(LENGTH files count)
message(STATUS "${count} files include only their own layer and those below it")
