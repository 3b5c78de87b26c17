#!/usr/bin/env bash
# CI job `windows` (windows-2022, Git Bash, as an administrator): the shipped, cross-built programs
# against Windows' own firewall, then the conformance suite, then the two example installers
# installed and uninstalled silently. Takes the linux job's files from DIST (default dist/) and writes the
# suite's results to RESULTS (default ci-results/). Refuses to start on a machine that already has
# a rule of the programs' names: it removes such rules, and they are not its own.
# Usage: tools/ci/windows.sh [DIST [RESULTS]]
set -euo pipefail
dist="$(cd "${1:-dist}" && pwd)"
mkdir -p "${2:-ci-results}"
results="$(cd "${2:-ci-results}" && pwd)"
# Git Bash turns arguments that look like POSIX paths (/S) into Windows paths; not here.
export MSYS_NO_PATHCONV=1

names=("Orvane Lobby In" "Orvane Lobby Out" "Orvane Lobby Halvic In" "Orvane Lobby Halvic Out"
  "Orvane Lobby Pendrel In" "Orvane Lobby Pendrel Out")
applications=('orvane-lobby.exe' 'orvane-lobby.exe' 'emulator\halvic-orvane\halvic.exe'
  'emulator\halvic-orvane\halvic.exe' 'emulator\pendrel-orvane\pendrel.exe'
  'emulator\pendrel-orvane\pendrel.exe')
directions=(In Out In Out In Out)

fail() {
  echo "windows.sh: $*" >&2
  exit 1
}

# The rules of one name as netsh shows them (English Windows), without carriage returns.
show_rules() {
  netsh advfirewall firewall show rule name="$1" verbose | tr -d '\r' || true
}

# The value of FIELD in netsh's listing of one rule.
field() {
  sed -n "s/^$1: *//p" <<<"$2"
}

# Exactly one rule of each name: enabled, UDP, allow, its direction, its application in FOLDER.
expect_rules() {
  local folder="$1" i rules
  for i in "${!names[@]}"; do
    rules="$(show_rules "${names[$i]}")"
    if [ "$(grep -c '^Rule Name:' <<<"$rules")" != 1 ]; then
      fail "expected one rule named ${names[$i]}; netsh shows:"$'\n'"$rules"
    fi
    if [ "$(field Enabled "$rules")" != Yes ] ||
      [ "$(field Direction "$rules")" != "${directions[$i]}" ] ||
      [ "$(field Protocol "$rules")" != UDP ] || [ "$(field Action "$rules")" != Allow ] ||
      [ "$(field Program "$rules")" != "$folder\\${applications[$i]}" ]; then
      fail "rule ${names[$i]} is not as asked for:"$'\n'"$rules"
    fi
  done
}

expect_no_rules() {
  local name rules
  for name in "${names[@]}"; do
    rules="$(show_rules "$name")"
    if grep -q '^Rule Name:' <<<"$rules"; then fail "a rule named $name is there:"$'\n'"$rules"; fi
  done
}

# Runs a program, which must exit 0 and write nothing.
run_silent() {
  local status=0
  "$@" >"$results/out.txt" 2>"$results/err.txt" || status=$?
  [ "$status" = 0 ] || fail "$1 exited with status $status; standard error: $(cat "$results/err.txt")"
  if [ -s "$results/out.txt" ] || [ -s "$results/err.txt" ]; then fail "$1 wrote output"; fi
}

expect_no_rules

echo "== The programs, installed by hand into C:\\Games\\Orvane"
folder='C:\Games\Orvane'
rm -rf /c/Games/Orvane
mkdir -p /c/Games/Orvane
cp "$dist/orvane-firewall.exe" "$dist/orvane-firewall-remove.exe" /c/Games/Orvane/
run_silent /c/Games/Orvane/orvane-firewall.exe
expect_rules "$folder"
run_silent /c/Games/Orvane/orvane-firewall.exe
expect_rules "$folder"
run_silent /c/Games/Orvane/orvane-firewall-remove.exe
expect_no_rules
run_silent /c/Games/Orvane/orvane-firewall-remove.exe

# A fact that Windows answers otherwise fails the suite; the installer is checked all the same.
echo "== The conformance suite against the firewall"
conformance=0
"$dist/orvane_conformance.exe" --gtest_output="xml:$(cygpath -w "$results/conformance.xml")" ||
  conformance=$?

# NSIS takes /D= unquoted, so the folder has no space.
echo "== The example installer, silently, into C:\\Games\\OrvaneSetup"
folder='C:\Games\OrvaneSetup'
rm -rf /c/Games/OrvaneSetup
run_silent "$dist/orvane-setup.exe" /S "/D=$folder"
[ -f /c/Games/OrvaneSetup/orvane-firewall-remove.exe ] || fail "the installer installed nothing"
expect_rules "$folder"
run_silent /c/Games/OrvaneSetup/uninstall.exe /S "_?=$folder"
expect_no_rules
[ ! -e /c/Games/OrvaneSetup/orvane-firewall.exe ] || fail "the uninstaller left the programs"

echo "== The example MSI, quietly, into C:\\Program Files\\Orvane"
# msiexec is a GUI program: PowerShell waits for it and hands on its status; its log is kept.
msiexec_wait() {
  local status=0
  powershell -NoProfile -Command "exit (Start-Process msiexec -Wait -PassThru -ArgumentList \
    '$1','\"$(cygpath -w "$dist/orvane.msi")\"','/qn','/l*v','\"$(cygpath -w "$results/msi-$2.log")\"').ExitCode" ||
    status=$?
  [ "$status" = 0 ] || fail "msiexec $1 exited with status $status; see msi-$2.log"
}
folder='C:\Program Files\Orvane'
msiexec_wait /i install
[ -f "/c/Program Files/Orvane/orvane-firewall-remove.exe" ] || fail "the MSI installed nothing"
expect_rules "$folder"
msiexec_wait /x uninstall
expect_no_rules
[ ! -e "/c/Program Files/Orvane/orvane-firewall.exe" ] || fail "the MSI's removal left the programs"

[ "$conformance" = 0 ] || fail "the conformance suite failed (status $conformance); see conformance.xml"
echo "windows.sh: all passed"
