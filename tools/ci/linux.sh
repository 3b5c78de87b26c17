#!/usr/bin/env bash
# CI job `linux` (Debian 12): every build and test (.ci/run), then, in dist/, what the Windows job
# takes from it: the three Windows programs (adder, remover, check), the conformance suite's Windows
# build and the two example installers, as the Windows build made them.
# Usage: tools/ci/linux.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
# debian:12 sets no locale, and Wine needs a UTF-8 one for the folder outside ASCII (tools/test.sh).
export LANG=C.UTF-8 LC_ALL=C.UTF-8
.ci/run
rm -rf dist
mkdir dist
cp build/windows/bin/orvane-firewall.exe build/windows/bin/orvane-firewall-remove.exe \
  build/windows/bin/orvane-firewall-check.exe build/windows/bin/orvane_conformance.exe \
  build/windows/orvane-setup.exe build/windows/orvane.msi dist/
ls -l dist
