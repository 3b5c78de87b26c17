#!/usr/bin/env bash
# Builds every configuration and runs every test: the native build against fwsim (unit, program,
# fault-sweep and valgrind tests), the same under AddressSanitizer and UBSan, the Windows program
# under Wine, and each fuzzer for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev valgrind
# The benchmarks build with everything else, so that they never rot (tools/bench.sh runs them).
tools/ensure-packages.sh libbenchmark-dev
cmake --preset default
cmake --build --preset default
ctest --preset default

# ----- Reliability: the sanitizer build (README, "Reliability") -----
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# ----- Windows: the programs cross-compiled with MinGW-w64, their tests run under Wine -----
# The first run makes a Wine prefix in build/windows, which takes a while once. nsis, wixl and
# msitools build the example installers (examples/nsis, examples/wix), which wine.installer and
# wine.msi run and windows.msi_tables reads; osslsigncode and openssl
# prove tools/sign.sh on a throwaway certificate (windows.signing); the reproducibility test builds
# the programs once more in a copy of the sources.
tools/ensure-packages.sh g++-mingw-w64-x86-64-posix wine64 wine googletest nsis wixl msitools \
  osslsigncode openssl
cmake --preset windows
cmake --build --preset windows
ctest --preset windows

# ----- Reliability: fuzzing, each target for a bounded time -----
tools/fuzz.sh "${ORVANE_FUZZ_SECONDS:-30}"
