#!/usr/bin/env bash
# Builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev
cmake --preset default
cmake --build --preset default
ctest --preset default

# ----- Reliability: memcheck, the sanitizer build and fuzzing (README, "Reliability") -----
# The fault sweep already ran with the tests above. valgrind may be new here, so the default build
# is configured again to register the memcheck tests before they run.
tools/ensure-packages.sh valgrind
cmake --preset default >/dev/null
ctest --preset default -R '^memcheck_'
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
tools/fuzz.sh "${ORVANE_FUZZ_SECONDS:-30}"
