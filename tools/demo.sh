#!/usr/bin/env bash
# Builds the program against fwsim, runs it once from build/default/bin, prints the rules the
# simulated firewall holds afterwards and what orvane-firewall-check, from the same folder, says of
# them. The exit status is the adder's.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev
cmake --preset default >/dev/null
cmake --build --preset default --target orvane-firewall orvane-firewall-check fwsim
status=0
build/default/bin/orvane-firewall || status=$?
echo "orvane-firewall exited with status $status; the simulated firewall now holds:"
build/default/bin/fwsim list
echo "orvane-firewall-check says:"
check_status=0
build/default/bin/orvane-firewall-check || check_status=$?
echo "orvane-firewall-check exited with status $check_status"
exit "$status"
