# Checks the resources Windows reads from PROGRAM:
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DCHECK=manifest -DMANIFEST=<file> -DLEVEL=<level>
#         -P resources_test.cmake
#     PROGRAM carries MANIFEST, byte for byte, as its only manifest: resource type RT_MANIFEST (24),
#     id 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID), the one Windows reads at start-up; the manifest
#     runs the program at LEVEL (asInvoker or requireAdministrator) and names Windows 10 and 11 as
#     supported.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DCHECK=version -DVERSION=X.Y.Z -P resources_test.cmake
#     PROGRAM carries a VS_VERSION_INFO (type RT_VERSION, 16, id 1) for product "Orvane" at
#     version X.Y.Z, in its fixed part and in its texts, with a file description and no company.
execute_process(COMMAND "${OBJDUMP}" -p -h "${PROGRAM}" OUTPUT_VARIABLE dump
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p -h ${PROGRAM} failed (${status})")
endif()

# Sets `out` to the bytes, in hex, of the one resource of `type` (as objdump writes it, e.g.
# 000018) and id 1. objdump lists the resource tree as type, name and language tables, each entry
# on its own line:
#   Entry: ID: 0x000018, ...      the type, RT_MANIFEST
#    Name Table: ...
#     Entry: ID: 0x000001, ...    the id
#      Language Table: ...
#       Entry: ID: 0x000409, ...
#        Leaf: Addr: 0x04a058, Size: 0x000283, Codepage: 0
function(read_resource type out)
  string(REGEX MATCHALL "Entry: ID: 0x${type}," entries "${dump}")
  list(LENGTH entries count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${PROGRAM} has ${count} resource types 0x${type}, expected 1:\n${dump}")
  endif()
  set(line "[^\n]*\n")
  if(NOT dump MATCHES "Entry: ID: 0x${type},${line}[^\n]*Name Table: [^\n]*IDs: 1\n[^\n]*Entry: ID: 0x000001,${line}[^\n]*Language Table: [^\n]*IDs: 1\n${line}[^\n]*Leaf: Addr: (0x[0-9a-f]+), Size: (0x[0-9a-f]+)")
    message(FATAL_ERROR "${PROGRAM} has no single resource 0x${type} with id 1:\n${dump}")
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
  file(READ "${PROGRAM}" bytes OFFSET ${offset} LIMIT ${size} HEX)
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

# ASCII text as UTF-16LE, in hex.
function(utf16_hex text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# The value of a version text `key`, or empty when there is none: a String structure's key is
# followed by its null, padding to 32 bits, and the value with its null (Microsoft docs, "String
# structure"). Texts here are ASCII, so the value is read back as such.
function(version_text key out)
  utf16_hex("${key}" key_hex)
  set(value "")
  if(version MATCHES "${key_hex}0000(0000)?((([2-7][0-9a-f])00)+)0000")
    string(REGEX MATCHALL "[2-7][0-9a-f]00" units "${CMAKE_MATCH_2}")
    foreach(unit IN LISTS units)
      string(SUBSTRING "${unit}" 0 2 code)
      math(EXPR code "0x${code}")
      string(ASCII ${code} character)
      string(APPEND value "${character}")
    endforeach()
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# HIGH << 16 | LOW as a 32-bit little-endian value, in hex.
function(le32 high low out)
  math(EXPR value "(${high} << 16) | ${low}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${value}" 2 -1 value)
  string(LENGTH "${value}" length)
  while(length LESS 8)
    set(value "0${value}")
    math(EXPR length "${length} + 1")
  endwhile()
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" value "${value}")
  string(TOLOWER "${value}" value)
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "manifest")
  read_resource(000018 embedded)
  file(READ "${MANIFEST}" expected HEX)
  if(NOT embedded STREQUAL expected)
    message(FATAL_ERROR "the manifest in ${PROGRAM} differs from ${MANIFEST}")
  endif()
  file(READ "${MANIFEST}" text)
  if(NOT text MATCHES "<requestedExecutionLevel level=\"${LEVEL}\"")
    message(FATAL_ERROR "${MANIFEST} does not ask to run at level ${LEVEL}")
  endif()
  # Windows 10 and 11's identifier (Microsoft docs, "Application manifests"); without any
  # supportedOS, Windows runs the program with Windows Vista's behaviour.
  if(NOT text MATCHES "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">[ \n]*<application>[^<]*(<!--[^>]*-->[ \n]*)?<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>")
    message(FATAL_ERROR "${MANIFEST} does not name Windows 10 and 11 as supported")
  endif()
elseif(CHECK STREQUAL "version")
  if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "VERSION must be X.Y.Z, got ${VERSION}")
  endif()
  set(major ${CMAKE_MATCH_1})
  set(minor ${CMAKE_MATCH_2})
  set(patch ${CMAKE_MATCH_3})
  read_resource(000010 version)
  # VS_VERSIONINFO: wLength, wValueLength, wType, then the key "VS_VERSION_INFO" and its null.
  utf16_hex("VS_VERSION_INFO" key_hex)
  string(SUBSTRING "${version}" 12 64 key)
  if(NOT key STREQUAL "${key_hex}0000")
    message(FATAL_ERROR "the version resource of ${PROGRAM} is no VS_VERSION_INFO: ${version}")
  endif()
  # Then VS_FIXEDFILEINFO, at a 32-bit boundary (offset 40): its signature 0xFEEF04BD, the
  # structure's version, and the file's and the product's versions as two 32-bit halves each,
  # little-endian: MS = major << 16 | minor, LS = patch << 16 | 0.
  string(SUBSTRING "${version}" 80 48 fixed)
  le32(${major} ${minor} ms)
  le32(${patch} 0 ls)
  set(expected_fixed "bd04effe00000100${ms}${ls}${ms}${ls}")
  if(NOT fixed STREQUAL expected_fixed)
    message(FATAL_ERROR "fixed version part of ${PROGRAM}: ${fixed}, expected ${expected_fixed}")
  endif()
  set(problems "")
  foreach(pair IN ITEMS "ProductName=Orvane" "FileVersion=${VERSION}"
                        "ProductVersion=${VERSION}" "OriginalFilename=${ORIGINAL_NAME}")
    string(REGEX MATCH "^[^=]+" key "${pair}")
    string(REGEX REPLACE "^[^=]+=" "" expected "${pair}")
    version_text(${key} got)
    if(NOT got STREQUAL expected)
      list(APPEND problems "${key} is \"${got}\", expected \"${expected}\"")
    endif()
  endforeach()
  version_text(FileDescription description)
  if(description STREQUAL "")
    list(APPEND problems "no FileDescription")
  endif()
  # The product names no company, so the file names none either.
  utf16_hex(CompanyName company)
  if(version MATCHES "${company}")
    list(APPEND problems "a CompanyName")
  endif()
  if(problems)
    string(JOIN "; " problems ${problems})
    message(FATAL_ERROR "version information of ${PROGRAM}: ${problems}")
  endif()
  message(STATUS "${PROGRAM}: Orvane ${VERSION}, \"${description}\"")
else()
  message(FATAL_ERROR "CHECK must be manifest or version")
endif()
