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
