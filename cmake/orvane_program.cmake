# orvane_program(TARGET [ELEVATED] DESCRIPTION TEXT): what makes an executable one the product
# ships.
#   - Linux: linked statically, as the Windows program is (ORVANE_STATIC_PROGRAMS; off for the
#     sanitizer builds, which cannot link statically).
#   - Windows: the resources made from src/program.rc.in: the application manifest (made from
#     src/program.manifest.in as <TARGET>.manifest in the target's build folder, asking to run as
#     the invoker, or with ELEVATED as an administrator) as resource 1 of type RT_MANIFEST, and a
#     VERSIONINFO whose
#     FileDescription is TEXT and whose versions are the project's version.
# The compile and link settings of a release-grade Windows build (static runtime, stack protector,
# stripped, reproducible) are the top CMakeLists.txt's and apply to every target.
function(orvane_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ELEVATED" "DESCRIPTION" "")
  if(NOT arg_DESCRIPTION)
    message(FATAL_ERROR "orvane_program(${target}) needs a DESCRIPTION")
  endif()

  if(NOT WIN32)
    if(ORVANE_STATIC_PROGRAMS)
      target_link_options(${target} PRIVATE -static)
    endif()
    return()
  endif()

  set(ORVANE_RC_NAME "${target}")
  set(ORVANE_RC_FILE_NAME "${target}${CMAKE_EXECUTABLE_SUFFIX}")
  set(ORVANE_RC_DESCRIPTION "${arg_DESCRIPTION}")
  set(ORVANE_EXECUTION_LEVEL asInvoker)
  if(arg_ELEVATED)
    set(ORVANE_EXECUTION_LEVEL requireAdministrator)
  endif()
  set(ORVANE_RC_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  configure_file("${PROJECT_SOURCE_DIR}/src/program.manifest.in" "${ORVANE_RC_MANIFEST}" @ONLY)
  set(ORVANE_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/src/program.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  # The resource compiler reads the manifest; a changed manifest must rebuild the resources.
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${ORVANE_RC_MANIFEST}")
  if(MSVC)
    # The linker would otherwise make a manifest of its own and embed it beside ours.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
