#!/usr/bin/env bash
# Builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev
# The benchmarks build with everything else, so that they never rot (tools/bench.sh runs them).
tools/ensure-packages.sh libbenchmark-dev
cmake --preset default
cmake --build --preset default
ctest --preset default

# Windows: the program cross-compiled with MinGW-w64, its tests run under Wine (the first run
# makes a Wine prefix in build/windows, which takes a while once).
tools/ensure-packages.sh g++-mingw-w64-x86-64-posix wine64 wine googletest
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
