#!/usr/bin/env bash
# CI job `windows` (windows-2022, Git Bash, as an administrator): the linux job's files from DIST
# (default dist/) against Windows' own firewall, results in RESULTS (default ci-results/).
#   programs     the adder, the remover and the check by hand in two folders (one with a space
#                and letters outside ASCII), the check after each and after a block rule, the
#                repair after a rule was disabled and one pointed elsewhere, then as
#                a standard user the check and the adder; then the two example installers:
#                installing, a failing and a working reinstallation or upgrade into another
#                folder, uninstalling.
#   conformance  the conformance suite, as an administrator and, for its standard-user tests, as
#                a standard user.
# Hosted runners run elevated, so a standard user's behaviour is seen only under a user made for
# the purpose: this script makes one and removes it on exit, with every rule, folder and
# installation it made, also when it fails or is stopped (run by hand as well). It refuses to
# start where a rule of the programs' names, one of its folders or its user exists: those are not
# its own.
# Usage: tools/ci/windows.sh programs|conformance [DIST [RESULTS]]
set -euo pipefail
part="${1:-}"
dist="$(cd "${2:-dist}" && pwd)"
mkdir -p "${3:-ci-results}"
results="$(cd "${3:-ci-results}" && pwd)"
# Git Bash turns arguments that look like POSIX paths (/S, /add) into Windows paths; not here.
export MSYS_NO_PATHCONV=1
# The folder outside ASCII is named in UTF-8 here; Git Bash converts by the locale's charset.
export LC_ALL=C.UTF-8

names=("Orvane Lobby In" "Orvane Lobby Out" "Orvane Lobby Halvic In" "Orvane Lobby Halvic Out"
  "Orvane Lobby Pendrel In" "Orvane Lobby Pendrel Out")
applications=('orvane-lobby.exe' 'orvane-lobby.exe' 'emulator\halvic-orvane\halvic.exe'
  'emulator\halvic-orvane\halvic.exe' 'emulator\pendrel-orvane\pendrel.exe'
  'emulator\pendrel-orvane\pendrel.exe')
directions=(In Out In Out In Out)
user=orvane-ci-user
block_rule=orvane-ci-block-lobby

fail() {
  echo "windows.sh: $*" >&2
  exit 1
}

# ----- What this run made, taken away on exit -----
made_folders=()
made_user=false
own_rules=false
made_block_rule=false
installed_nsis=""
installed_msi=""

cleanup() {
  local status=$? folder name
  set +e
  if $made_block_rule; then netsh advfirewall firewall delete rule name="$block_rule" >/dev/null; fi
  if [ -n "$installed_nsis" ] && [ -f "$installed_nsis/uninstall.exe" ]; then
    "$installed_nsis/uninstall.exe" /S "_?=$(cygpath -w "$installed_nsis")" </dev/null
  fi
  if [ -n "$installed_msi" ]; then msiexec_status /x "$installed_msi" cleanup >/dev/null; fi
  # Checked absent at the start, so every rule of these names is this run's.
  if $own_rules; then
    for name in "${names[@]}"; do
      netsh advfirewall firewall delete rule name="$name" >/dev/null 2>&1
    done
  fi
  for ((i = ${#made_folders[@]} - 1; i >= 0; i--)); do rm -rf "${made_folders[$i]}"; done
  if $made_user; then net user "$user" /delete >/dev/null; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# make_folder PATH: a folder of this run's (its parent too, when that is made here).
make_folder() {
  [ ! -e "$1" ] || fail "$1 exists already; it is not this run's"
  [ -d "$(dirname "$1")" ] || make_folder "$(dirname "$1")"
  mkdir "$1"
  made_folders+=("$1")
}

# ----- The firewall's rules, as netsh shows them (English Windows) -----
show_rules() {
  netsh advfirewall firewall show rule name="$1" verbose | tr -d '\r' || true
}

# The value of FIELD in netsh's listing of one rule.
field() {
  sed -n "s/^$1: *//p" <<<"$2"
}

# Exactly one rule of each name: enabled, UDP, allow, its direction, and, where FOLDER is ASCII,
# its application in FOLDER (netsh writes in the console's code page, so a path outside ASCII is
# compared by the check instead, whose output is UTF-8).
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
      { LC_ALL=C grep -q '^[ -~]*$' <<<"$folder" &&
        [ "$(field Program "$rules")" != "$folder\\${applications[$i]}" ]; }; then
      fail "rule ${names[$i]} is not as asked for:"$'\n'"$rules"
    fi
  done
}

# expect_installed FOLDER: FOLDER holds every Orvane program of DIST, byte for byte.
expect_installed() {
  local program
  for program in "$dist"/orvane-firewall*.exe; do
    cmp -s "$program" "$1/$(basename "$program")" || fail "$(basename "$program") is not installed in $1"
  done
}

expect_no_rules() {
  local name rules
  for name in "${names[@]}"; do
    rules="$(show_rules "$name")"
    if grep -q '^Rule Name:' <<<"$rules"; then fail "a rule named $name is there:"$'\n'"$rules"; fi
  done
}

# ----- Running programs -----
# run NAME PROGRAM [ARG...]: runs it as the administrator this job is; its output lands in
# $results/NAME.out and NAME.err, its exit status in $status.
run() {
  local name="$1"
  shift
  status=0
  "$@" >"$results/$name.out" 2>"$results/$name.err" </dev/null || status=$?
}

# run_as_user NAME PROGRAM [ARGUMENTS]: the same as the standard user, through PowerShell's
# Start-Process -Credential, which waits and hands on the exit status; the output goes through
# files, as a process started under other credentials has no pipe to this one. PROGRAM's folder
# is its working folder, so it must be one the user may read. ARGUMENTS is one string.
run_as_user() {
  local name="$1" program="$2"
  status=0
  # shellcheck disable=SC2016 # the single-quoted variables are PowerShell's
  ORVANE_CI_USER="$user" ORVANE_CI_PASSWORD="$password" ORVANE_CI_PROGRAM="$(cygpath -w "$program")" \
    ORVANE_CI_FOLDER="$(cygpath -w "$(dirname "$program")")" ORVANE_CI_ARGUMENTS="${3:-}" \
    ORVANE_CI_OUT="$(cygpath -w "$results/$name.out")" ORVANE_CI_ERR="$(cygpath -w "$results/$name.err")" \
    powershell -NoProfile -NonInteractive -Command '
      $ErrorActionPreference = "Stop"
      $secret = ConvertTo-SecureString $env:ORVANE_CI_PASSWORD -AsPlainText -Force
      $start = @{
        FilePath = $env:ORVANE_CI_PROGRAM
        Credential = New-Object System.Management.Automation.PSCredential($env:ORVANE_CI_USER, $secret)
        WorkingDirectory = $env:ORVANE_CI_FOLDER
        RedirectStandardOutput = $env:ORVANE_CI_OUT
        RedirectStandardError = $env:ORVANE_CI_ERR
        Wait = $true
        PassThru = $true
      }
      if ($env:ORVANE_CI_ARGUMENTS) { $start.ArgumentList = $env:ORVANE_CI_ARGUMENTS }
      $process = Start-Process @start
      if ($null -eq $process.ExitCode) { Write-Error "no exit status from $($start.FilePath)" }
      exit $process.ExitCode' </dev/null || status=$?
}

expect_status() {
  [ "$status" = "$1" ] || fail "$2 exited with status $status, expected $1; it wrote:
$(cat "$results/$2.out" "$results/$2.err" 2>/dev/null)"
}

# Runs a program that must exit 0 and write nothing.
run_silent() {
  local name="$1"
  run "$@"
  expect_status 0 "$name"
  if [ -s "$results/$name.out" ] || [ -s "$results/$name.err" ]; then fail "$name wrote output"; fi
}

# make_user: a standard user (net user puts it in Users only) with a random password, which net
# user gets on its command line and PowerShell through the environment. 14 characters: net user
# asks before taking a longer one.
make_user() {
  if net user "$user" >/dev/null 2>&1; then fail "a user named $user exists already; it is not this run's"; fi
  password="Oc1!$(od -An -tx1 -N5 /dev/urandom | tr -d ' \n')"
  net user "$user" "$password" /add >/dev/null </dev/null
  made_user=true
}

# ----- The programs' part -----
all_right='The Windows Firewall lets Orvane through: its six rules are in place and no block rule stops its programs.'

# check NAME STATUS FOLDER: the check from FOLDER exits STATUS with nothing on standard error, and
# the standard user's run gives the same status and the same words.
check() {
  local name="$1" expected="$2" folder="$3"
  run "$name" "$folder/orvane-firewall-check.exe"
  expect_status "$expected" "$name"
  [ ! -s "$results/$name.err" ] || fail "$name wrote to standard error: $(cat "$results/$name.err")"
  if [ -n "$password" ]; then
    run_as_user "$name-standard-user" "$folder/orvane-firewall-check.exe"
    expect_status "$expected" "$name-standard-user"
    cmp -s "$results/$name.out" "$results/$name-standard-user.out" ||
      fail "the check says otherwise to a standard user:"$'\n'"$(cat "$results/$name-standard-user.out")"
  fi
}

expect_words() {
  grep -qF -- "$2" <(tr -d '\r' <"$results/$1.out") || fail "$1 does not say: $2"$'\n'"$(cat "$results/$1.out")"
}

programs() {
  local folder unix
  expect_no_rules
  own_rules=true
  password=""
  make_user

  echo "== By hand into C:\\Games\\Orvane: the adder, the check, the remover, a block rule"
  folder='C:\Games\Orvane'
  unix=/c/Games/Orvane
  make_folder "$unix"
  cp "$dist/orvane-firewall.exe" "$dist/orvane-firewall-remove.exe" \
    "$dist/orvane-firewall-check.exe" "$dist/orvane-firewall-repair.exe" "$unix/"
  run_silent adder "$unix/orvane-firewall.exe"
  expect_rules "$folder"
  check check-after-adder 0 "$unix"
  expect_words check-after-adder "$all_right"
  run_silent adder-again "$unix/orvane-firewall.exe"
  expect_rules "$folder"
  # With the six rules in place a standard user's adder has nothing to add, and succeeds.
  run_as_user adder-standard-user-rules-present "$unix/orvane-firewall.exe"
  expect_status 0 adder-standard-user-rules-present

  run_silent remover "$unix/orvane-firewall-remove.exe"
  expect_no_rules
  check check-after-remover 1 "$unix"
  [ "$(tr -d '\r' <"$results/check-after-remover.out" | grep -c ': missing\. ')" = 6 ] ||
    fail "the check does not find the six rules missing:"$'\n'"$(cat "$results/check-after-remover.out")"
  run_silent remover-again "$unix/orvane-firewall-remove.exe"
  # A standard user may not add a rule: the first one stops the adder with the firewall's refusal.
  run_as_user adder-standard-user "$unix/orvane-firewall.exe"
  expect_status 101 adder-standard-user
  grep -qF 'HRESULT(0x80070005)' "$results/adder-standard-user.err" ||
    fail "the standard user's adder does not report 0x80070005: $(cat "$results/adder-standard-user.err")"
  expect_no_rules

  # A block rule for the lobby, as Windows makes one when its security alert is cancelled.
  run_silent adder-before-block "$unix/orvane-firewall.exe"
  made_block_rule=true
  netsh advfirewall firewall add rule name="$block_rule" dir=in action=block protocol=UDP \
    program="$folder\\orvane-lobby.exe" enable=yes >/dev/null
  check check-block-rule 1 "$unix"
  expect_words check-block-rule "Block rule \"$block_rule\""
  # The repair mends what the product may: one rule disabled and one pointed elsewhere by hand,
  # and the block rule, which it disables and keeps. The check then lets Orvane through. (Its
  # manifest asks for administrator rights, so a standard user cannot start it without UAC.)
  netsh advfirewall firewall set rule name="Orvane Lobby In" new enable=no >/dev/null
  netsh advfirewall firewall set rule name="Orvane Lobby Out" new program='C:\Elsewhere\orvane-lobby.exe' >/dev/null
  run repair "$unix/orvane-firewall-repair.exe"
  expect_status 0 repair
  expect_words repair "Orvane Lobby In: replaced: it was disabled."
  expect_words repair "Orvane Lobby Out: replaced: it was for \"C:\\Elsewhere\\orvane-lobby.exe\""
  expect_words repair "Block rule \"$block_rule\" for inbound UDP: disabled."
  expect_words repair "$all_right"
  [ "$(field Enabled "$(show_rules "$block_rule")")" = No ] || fail "the repair did not disable $block_rule"
  expect_rules "$folder"
  check check-after-repair 0 "$unix"
  run repair-again "$unix/orvane-firewall-repair.exe"
  expect_status 0 repair-again
  [ "$(tr -d '\r' <"$results/repair-again.out")" = "$all_right" ] ||
    fail "the repair changed something the second time: $(cat "$results/repair-again.out")"
  netsh advfirewall firewall delete rule name="$block_rule" >/dev/null
  made_block_rule=false
  run_silent remover-after-block "$unix/orvane-firewall-remove.exe"
  expect_no_rules

  echo "== By hand into a folder with a space and letters outside ASCII"
  unix='/c/Games/Spiele Orvané 游戏'
  folder="$(cygpath -w "$unix")"
  make_folder "$unix"
  cp "$dist/orvane-firewall.exe" "$dist/orvane-firewall-remove.exe" \
    "$dist/orvane-firewall-check.exe" "$unix/"
  run_silent adder-non-ascii "$unix/orvane-firewall.exe"
  expect_rules "$folder"
  # The check compares each rule's application with this folder's programs.
  check check-non-ascii 0 "$unix"
  run_silent remover-non-ascii "$unix/orvane-firewall-remove.exe"
  expect_no_rules

  # NSIS takes /D= unquoted and last; Git Bash would quote a folder with a space. The broken
  # installer's adder is not a program: the reinstallation fails, after its remover has taken the
  # rules, and the earlier installation's adder puts them back.
  echo "== The example installer into C:\\Games\\OrvaneSetup, reinstalled into C:\\Games\\OrvaneSetup2"
  folder='C:\Games\OrvaneSetup'
  unix=/c/Games/OrvaneSetup
  for other in "$unix" "${unix}2"; do
    [ ! -e "$other" ] || fail "$other exists already; it is not this run's"
    made_folders+=("$other")
  done
  installed_nsis="$unix"
  run_silent nsis-install "$dist/orvane-setup.exe" /S "/D=$folder"
  expect_installed "$unix"
  expect_rules "$folder"
  run nsis-reinstall-broken "$dist/orvane-setup-broken.exe" /S "/D=${folder}2"
  expect_status 2 nsis-reinstall-broken
  [ ! -e "${unix}2/orvane-firewall.exe" ] || fail "the failed reinstallation left its programs"
  expect_installed "$unix"
  expect_rules "$folder"
  run_silent nsis-reinstall "$dist/orvane-setup.exe" /S "/D=${folder}2"
  installed_nsis="${unix}2"
  expect_installed "${unix}2"
  [ ! -e "$unix/orvane-firewall.exe" ] || fail "the reinstallation left the earlier programs"
  expect_rules "${folder}2"
  run_silent nsis-uninstall "${unix}2/uninstall.exe" /S "_?=${folder}2"
  installed_nsis=""
  expect_no_rules
  [ ! -e "${unix}2/orvane-firewall.exe" ] || fail "the uninstaller left the programs"

  # The broken MSI (a later version, 1.0.2) has such an adder too: Windows Installer fails the
  # upgrade and rolls it back, the old product's removal with it, whose rollback adder puts the old
  # rules back once its files are back.
  echo "== The example MSI into C:\\Program Files\\Orvane, upgraded into C:\\Games\\OrvaneMsi"
  folder='C:\Program Files\Orvane'
  unix='/c/Program Files/Orvane'
  for other in "$unix" /c/Games/OrvaneMsi; do
    [ ! -e "$other" ] || fail "$other exists already; it is not this run's"
    made_folders+=("$other")
  done
  installed_msi=orvane.msi
  msiexec_status /i orvane.msi install || fail "msiexec /i exited with status $?; see msi-install.log"
  expect_installed "$unix"
  expect_rules "$folder"
  status=0
  msiexec_status /i orvane-1.0.2-broken.msi upgrade-broken 'INSTALLDIR=C:\Games\OrvaneMsi' || status=$?
  if [ "$status" = 0 ]; then installed_msi=orvane-1.0.2-broken.msi; fi
  [ "$status" = 1603 ] || fail "the broken upgrade exited with status $status; see msi-upgrade-broken.log"
  [ ! -e /c/Games/OrvaneMsi/orvane-firewall.exe ] || fail "the failed upgrade left its programs"
  expect_installed "$unix"
  expect_rules "$folder"
  msiexec_status /i orvane-1.0.1.msi upgrade 'INSTALLDIR=C:\Games\OrvaneMsi' ||
    fail "the upgrade exited with status $?; see msi-upgrade.log"
  installed_msi=orvane-1.0.1.msi
  expect_installed /c/Games/OrvaneMsi
  [ ! -e "$unix/orvane-firewall.exe" ] || fail "the upgrade left the old product's programs"
  expect_rules 'C:\Games\OrvaneMsi'
  msiexec_status /x orvane-1.0.1.msi uninstall || fail "msiexec /x exited with status $?; see msi-uninstall.log"
  installed_msi=""
  expect_no_rules
  [ ! -e /c/Games/OrvaneMsi/orvane-firewall.exe ] || fail "the MSI's removal left the programs"
}

# msiexec_status /i|/x PACKAGE LOG [PROPERTY]: msiexec on DIST/PACKAGE is a GUI program: PowerShell
# waits for it and hands on its status; its verbose log is kept in the results as msi-LOG.log.
msiexec_status() {
  # shellcheck disable=SC2016 # the single quotes are PowerShell's; $4 is expanded here
  powershell -NoProfile -Command "exit (Start-Process msiexec -Wait -PassThru -ArgumentList \
    '$1','\"$(cygpath -w "$dist/$2")\"','/qn','/l*v','\"$(cygpath -w "$results/msi-$3.log")\"'${4:+,'$4'}).ExitCode" \
    </dev/null
}

# ----- The conformance suite's part -----
# A fact Windows answers otherwise than fwsim models fails the suite, and this step: fwsim must
# then follow Windows. The results say which fact.
conformance() {
  local failed=""
  echo "== The conformance suite against the firewall, as an administrator"
  run conformance "$dist/orvane_conformance.exe" \
    "--gtest_output=xml:$(cygpath -w "$results/conformance.xml")"
  cat "$results/conformance.out"
  [ "$status" = 0 ] || failed="as an administrator, status $status (conformance.xml)"

  echo "== Its standard-user tests, as a standard user"
  password=""
  make_user
  local unix=/c/Games/OrvaneConformance
  make_folder "$unix"
  cp "$dist/orvane_conformance.exe" "$unix/"
  run_as_user conformance-standard-user "$unix/orvane_conformance.exe" \
    '--gtest_filter=Conformance.AStandardUser*'
  cat "$results/conformance-standard-user.out"
  # Elevated, these tests skip; here they must run, both of them.
  if [ "$status" != 0 ]; then
    failed="${failed:+$failed; }as a standard user, status $status (conformance-standard-user.out)"
  elif ! grep -qF '[  PASSED  ] 4 tests.' "$results/conformance-standard-user.out" ||
    grep -qF '[  SKIPPED ]' "$results/conformance-standard-user.out"; then
    failed="${failed:+$failed; }as a standard user the two tests did not both run"
  fi
  if [ -n "$failed" ]; then
    echo "::error title=Conformance suite::Windows answered otherwise than fwsim models: $failed"
    fail "the conformance suite failed: $failed"
  fi
}

case "$part" in
  programs) programs ;;
  conformance) conformance ;;
  *)
    echo "usage: tools/ci/windows.sh programs|conformance [DIST [RESULTS]]" >&2
    exit 2
    ;;
esac
echo "windows.sh $part: all passed"
