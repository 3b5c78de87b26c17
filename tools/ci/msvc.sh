#!/usr/bin/env bash
# CI job `msvc` (windows-2022, Git Bash): preset `msvc` configured, built with warnings as errors
# and tested: the portable unit tests and, as an administrator, the conformance suite against the
# real firewall. GoogleTest comes from vcpkg (vcpkg.json), found through VCPKG_ROOT, or through
# VCPKG_INSTALLATION_ROOT as GitHub's Windows images set it.
# Usage: tools/ci/msvc.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root="${VCPKG_ROOT:-${VCPKG_INSTALLATION_ROOT:-}}"
if [ -z "$root" ]; then
  echo "msvc.sh: set VCPKG_ROOT to a vcpkg checkout" >&2
  exit 2
fi
# The preset names the toolchain file under it; CMake wants forward slashes.
VCPKG_ROOT="$(cygpath -m "$root")"
export VCPKG_ROOT
cmake --preset msvc
cmake --build --preset msvc
ctest --preset msvc
