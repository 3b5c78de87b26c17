#!/usr/bin/env bash
# CI job `msvc` (windows-2022, Git Bash): preset `msvc` configured, built with warnings as errors
# and tested: the portable unit tests. The conformance suite (label `conformance`) is left out: the
# `windows` job runs it as a step of its own, so that a fact Windows answers otherwise does not
# hide this job's result. GoogleTest comes from vcpkg (vcpkg.json, pinned by its
# builtin-baseline), found through VCPKG_INSTALLATION_ROOT, the full clone GitHub's Windows images
# carry, else through VCPKG_ROOT (which Visual Studio's Developer Command Prompt points at its own
# copy, one that may not resolve a baseline).
# Usage: tools/ci/msvc.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root="${VCPKG_INSTALLATION_ROOT:-${VCPKG_ROOT:-}}"
if [ -z "$root" ]; then
  echo "msvc.sh: set VCPKG_INSTALLATION_ROOT or VCPKG_ROOT to a vcpkg checkout" >&2
  exit 2
fi
# The preset names the toolchain file under VCPKG_ROOT; CMake wants forward slashes.
VCPKG_ROOT="$(cygpath -m "$root")"
export VCPKG_ROOT
cmake --preset msvc
cmake --build --preset msvc
ctest --preset msvc -LE conformance
