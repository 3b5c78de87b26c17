# orvane_makensis_targets_amd64(MAKENSIS FOLDER RESULT): sets RESULT to TRUE when MAKENSIS builds
# an installer for `Target amd64-unicode`, which the example installer needs (wine64 runs no 32-bit
# installer). Debian's NSIS ships those stubs; Windows' own NSIS (as on GitHub's windows-2022
# image) does not, and stops at that line. FOLDER receives the probe's script and installer.
# Usable from a build (examples/) and in script mode (its test).
function(orvane_makensis_targets_amd64 makensis folder result)
  file(MAKE_DIRECTORY "${folder}")
  file(WRITE "${folder}/probe.nsi"
       "Unicode true\nTarget amd64-unicode\nOutFile \"probe.exe\"\nSection\nSectionEnd\n")
  execute_process(COMMAND "${makensis}" -V1 probe.nsi
                  WORKING_DIRECTORY "${folder}"
                  RESULT_VARIABLE status
                  OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(status EQUAL 0)
    set(${result} TRUE PARENT_SCOPE)
  else()
    string(STRIP "${output}" output)
    message(STATUS "${makensis} cannot build for Target amd64-unicode (status ${status}): ${output}")
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
