#!/usr/bin/env bash
# Builds the program against fwsim, runs it once from build/default/bin, and prints the rules the
# simulated firewall holds afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev
cmake --preset default >/dev/null
cmake --build --preset default --target orvane-firewall fwsim
status=0
build/default/bin/orvane-firewall || status=$?
echo "orvane-firewall exited with status $status; the simulated firewall now holds:"
build/default/bin/fwsim list
exit "$status"
