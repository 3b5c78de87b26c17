# GoogleTest for the tests. Where ORVANE_GOOGLETEST_SOURCE names its sources (Debian's googletest
# package puts them in /usr/src/googletest), it is built along with the tests, with the build's own
# compiler, flags and standard library: the Windows cross-build needs that, and so does the libc++
# build, since Debian's prebuilt GoogleTest is made for libstdc++. Otherwise an installed one is
# found (Debian's libgtest-dev, or vcpkg's on Windows).
if(WIN32)
  set(default_source "/usr/src/googletest")
else()
  set(default_source "")
endif()
set(ORVANE_GOOGLETEST_SOURCE "${default_source}"
    CACHE PATH "GoogleTest's sources, built along with the tests (empty: an installed GoogleTest)")
if(ORVANE_GOOGLETEST_SOURCE AND EXISTS "${ORVANE_GOOGLETEST_SOURCE}/CMakeLists.txt")
  set(BUILD_GMOCK OFF CACHE BOOL "Build GoogleMock")
  set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest")
  add_subdirectory("${ORVANE_GOOGLETEST_SOURCE}" googletest EXCLUDE_FROM_ALL)
  # GoogleTest's warnings are its own business: they must not stop this build.
  foreach(target IN ITEMS gtest gtest_main)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
      target_compile_options(${target} PRIVATE -Wno-error)
    elseif(MSVC)
      target_compile_options(${target} PRIVATE /WX-)
    endif()
  endforeach()
elseif(ORVANE_GOOGLETEST_SOURCE AND NOT (WIN32 AND NOT CMAKE_CROSSCOMPILING))
  # An installed GoogleTest would be made for another compiler or standard library.
  message(FATAL_ERROR "No GoogleTest sources in ${ORVANE_GOOGLETEST_SOURCE}: install Debian's "
                      "googletest package (tools/ensure-packages.sh googletest)")
else()
  find_package(GTest REQUIRED)
endif()
