#!/usr/bin/env bash
# CI job `linux` (Debian 12): every build and test (.ci/run), then, in dist/, what the Windows job
# takes from it: the four Windows programs (adder, remover, check, repair), the conformance suite's
# Windows build and the two example installers, as the Windows build made them; and, for the
# installers' upgrade paths, the MSI as a later version (1.0.1) and both installers built from a folder whose
# adder is not a program (the MSI as 1.0.2), which must fail and leave the earlier installation.
# Usage: tools/ci/linux.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
# debian:12 sets no locale, and Wine needs a UTF-8 one for the folder outside ASCII (tools/test.sh).
export LANG=C.UTF-8 LC_ALL=C.UTF-8
.ci/run
rm -rf dist
mkdir dist
cp build/windows/bin/orvane-firewall.exe build/windows/bin/orvane-firewall-remove.exe \
  build/windows/bin/orvane-firewall-check.exe build/windows/bin/orvane-firewall-repair.exe \
  build/windows/bin/orvane_conformance.exe build/windows/orvane-setup.exe build/windows/orvane.msi \
  dist/
broken="$(mktemp -d)"
cp build/windows/bin/orvane-firewall*.exe "$broken/"
printf 'not a program\n' >"$broken/orvane-firewall.exe"
examples/wix/build-msi.sh build/windows/bin 1.0.1 dist/orvane-1.0.1.msi
examples/wix/build-msi.sh "$broken" 1.0.2 dist/orvane-1.0.2-broken.msi
makensis -V2 -WX "-DBIN_DIR=$broken" "-DOUT_FILE=$PWD/dist/orvane-setup-broken.exe" \
  examples/nsis/orvane.nsi
rm -rf "$broken"
ls -l dist
