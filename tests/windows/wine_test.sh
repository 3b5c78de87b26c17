#!/usr/bin/env bash
# The Windows programs run under Wine, as a user runs them:
#   wine_test.sh CASE PROGRAM RUNNER...
# RUNNER is the command that runs a Windows program (cmake/wine-run.sh and its prefix). PROGRAM is
# orvane-firewall.exe or orvane-firewall-remove.exe (the remover) unless the case says otherwise.
# CASE:
#   silent              it exits 0 and writes nothing
#   non-ascii-folder    copied into a folder named with characters outside ASCII, it exits 0
#   firewall-calls      the calls Wine's firewall receives, from that folder (Wine's trace)
#   firewall-missing    Wine's firewall classes cannot be created: the exact report, status 101
#   no-stderr           the same without a standard error: nothing written, status 101
#   check               PROGRAM is orvane-firewall-check.exe: Wine's look-up answers E_NOTIMPL,
#                       which is no missing rule, so the exact report, status 101, nothing on
#                       standard output
#   out-of-memory       PROGRAM is the out-of-memory probe: one line, then the fail-fast status
#   installer           PROGRAM is the NSIS installer of examples/nsis as built: installing,
#                       uninstalling, and stopping when either program fails with the report in its
#                       log, a failed reinstallation leaving the installation as it was
#   msi                 PROGRAM is the MSI of examples/wix as built, ORVANE_BIN_DIR the programs'
#                       folder (for a version 1.0.1 of it): installing, uninstalling, failing both
#                       ways, and a major upgrade
#   msi-tables          PROGRAM is that MSI: its custom actions and their sequence (no Wine)
#   planted-dll         a uxtheme.dll beside it is never loaded; it still asks for its six rules
#                       (ORVANE_PLANTED_DLL: the stand-in; ORVANE_PLANTED_DLL_CONTROL: a program
#                       that does load it)
#
# Wine's firewall (hnetcfg.dll, Wine 8) accepts every property and Add without keeping anything,
# and answers Item with E_NOTIMPL, which both programs take for a rule that does not exist (a
# firewall that keeps none): the adder adds each rule, the remover finds none to remove.
set -euo pipefail

case_name="$1"
program="$2"
shift 2
runner=("$@")
remover=false
[ "$(basename "$program")" = orvane-firewall-remove.exe ] && remover=true
# Each case says which DLLs Wine leaves out and what it logs; nothing comes from the caller.
unset WINEDLLOVERRIDES WINEDEBUG

work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-wine-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# A case made of steps names the one that failed and shows what the installer logged and Wine's
# own errors (its steps keep Wine's err class: with it off, a program that Wine fails to start or
# ends shows nothing at all).
step=""
log="$work/installer.log"
fail() {
  echo "FAIL${step:+ in step \"$step\"}: $*" >&2
  if [ -s "$log" ]; then
    echo "the installer's log:" >&2
    cat "$log" >&2
  fi
  if [ -n "$step" ] && grep -q ':err:' "$work/err" 2>/dev/null; then
    echo "Wine's errors:" >&2
    grep ':err:' "$work/err" | head -20 >&2
  fi
  exit 1
}

# begin_step NAME: what follows belongs to step NAME, with a log of its own.
begin_step() {
  step="$1"
  rm -f "$log"
}

# Whether Wine's process trace in $work/err (WINEDEBUG=+process) shows PROGRAM (a file name)
# started.
started() {
  grep -qE "CreateProcessInternalW .*cmdline L\".*\\\\$1\\\\\"" "$work/err"
}

# expect_logged TEXT: the installer's log holds TEXT in one of its lines.
expect_logged() {
  grep -qF -- "$1" "$log" || fail "the log does not show: $1"
}

# Runs a Windows program with the given arguments; its output lands in $work/out and $work/err,
# and its exit status in $status.
run() {
  status=0
  "${runner[@]}" "$@" >"$work/out" 2>"$work/err" || status=$?
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; standard error: $(cat "$work/err")"
}

# expect_empty out|err
expect_empty() {
  [ ! -s "$work/$1" ] || fail "std$1 is not empty: $(od -c "$work/$1" | head)"
}

# Wine's debug form of a text (debugstr_w): L"...", with \\ \" \n \r \t escaped and every other
# UTF-16 unit outside printable ASCII as a backslash and four lower-case hex digits.
wine_debug_text() {
  local hex unit i out='L"'
  hex="$(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16BE | od -An -v -tx1 | tr -d ' \n')"
  for ((i = 0; i < ${#hex}; i += 4)); do
    unit=$((16#${hex:i:4}))
    case "$unit" in
      92) out+='\\' ;;
      34) out+='\"' ;;
      10) out+='\n' ;;
      13) out+='\r' ;;
      9) out+='\t' ;;
      *)
        if ((unit >= 32 && unit < 127)); then
          out+="$(printf '%b' "\\x${hex:i+2:2}")"
        else
          out+="$(printf '\\%04x' "$unit")"
        fi
        ;;
    esac
  done
  printf '%s"' "$out"
}

# The firewall's calls as Wine logs them in FILE, without thread ids and object addresses:
# "0024:fixme:hnetcfg:netfw_rule_put_Protocol 00000000010A0840, 17" becomes "put_Protocol 17".
firewall_calls() {
  sed -nE 's/^[0-9a-f]+:[a-z]+:hnetcfg:netfw_rules?_(Item|Add|Remove|put_[A-Za-z]+) [0-9A-F]+,? ?(.*)$/\1 \2/p' \
    "$1" | sed -E 's/, [0-9A-F]{8,16}$//; s/^Add [0-9A-F]{8,16}$/Add/'
}

# expect_firewall_calls FILE REMOVER FOLDER: Wine's trace in FILE shows one run of the adder
# (REMOVER false) or of the remover (true) from FOLDER (a Linux or a Windows path), and nothing
# else. The adder
# looks each name up, then puts each property with its value and the exact application path and
# adds the rule; the remover only looks the six names up, as Wine's look-ups find nothing.
expect_firewall_calls() {
  local file="$1" remover="$2" folder lobby halvic pendrel rule name direction path object
  local expected destroyed
  firewall_calls "$file" >"$work/calls"
  # A Linux folder is the program's folder as Wine names it: its Z: drive path, with backslashes.
  folder="$3"
  [[ "$folder" == /* ]] && folder="Z:$(printf '%s' "$3" | tr / '\\')"
  lobby="$(wine_debug_text "$folder\\orvane-lobby.exe")"
  halvic="$(wine_debug_text "$folder\\emulator\\halvic-orvane\\halvic.exe")"
  pendrel="$(wine_debug_text "$folder\\emulator\\pendrel-orvane\\pendrel.exe")"
  for rule in "Orvane Lobby In|1|$lobby" "Orvane Lobby Out|2|$lobby" \
    "Orvane Lobby Halvic In|1|$halvic" "Orvane Lobby Halvic Out|2|$halvic" \
    "Orvane Lobby Pendrel In|1|$pendrel" "Orvane Lobby Pendrel Out|2|$pendrel"; do
    IFS='|' read -r name direction path <<<"$rule"
    name="$(wine_debug_text "$name")"
    printf '%s\n' "Item $name"
    "$remover" || printf '%s\n' "put_Name $name" "put_Direction $direction" \
      "put_Enabled 0xffffffff" "put_Action 1" "put_ApplicationName $path" "put_Protocol 17" "Add"
  done >"$work/expected"
  diff -u "$work/expected" "$work/calls" >&2 || fail "the firewall received other calls"

  # Every object Wine's firewall made was released again: the policy and its rule collection,
  # once per rule, and each new rule of the adder.
  for object in fwpolicy2 netfw_rules netfw_rule; do
    expected=6
    [ "$object" = netfw_rule ] && "$remover" && expected=0
    destroyed="$(grep -c ":hnetcfg:${object}_Release destroying" "$file" || true)"
    [ "$destroyed" -eq "$expected" ] \
      || fail "$object released to the end $destroyed times, expected $expected"
  done
}

# A copy of the program in a folder whose name holds characters outside ASCII (Latin and CJK);
# prints the copy's path.
copy_into_non_ascii_folder() {
  local folder="$work/Spiele Orvané 游戏"
  mkdir -p "$folder"
  cp "$program" "$folder/"
  printf '%s' "$folder/$(basename "$program")"
}

case "$case_name" in
  silent)
    # Started from another folder than its own: where it is started from does not matter.
    cd "$work"
    run "$program"
    expect_status 0
    expect_empty out
    expect_empty err
    ;;

  non-ascii-folder)
    copy="$(copy_into_non_ascii_folder)"
    run "$copy"
    expect_status 0
    expect_empty out
    expect_empty err
    ;;

  firewall-calls)
    copy="$(copy_into_non_ascii_folder)"
    WINEDEBUG=-all,+hnetcfg run "$copy"
    expect_status 0
    expect_empty out
    expect_firewall_calls "$work/err" "$remover" "$(dirname "$copy")"
    ;;

  firewall-missing | no-stderr)
    # With hnetcfg.dll disabled, CoCreateInstance cannot load the class's server. Wine's COM then
    # answers E_ACCESSDENIED (0x80070005) rather than a class-not-registered code, and leaves no
    # error information, so the message is Wine's own system text for that code.
    if [ "$case_name" = no-stderr ]; then
      status=0
      WINEDLLOVERRIDES=hnetcfg=d "${runner[@]}" "$program" >"$work/out" 2>&- || status=$?
      expect_status 101
      expect_empty out
      exit 0
    fi
    WINEDLLOVERRIDES=hnetcfg=d run "$program"
    expect_status 101
    expect_empty out
    # The bytes exactly: three lines ended by line feeds alone, the first one empty.
    ! grep -q $'\r' "$work/err" || fail "carriage return in standard error: $(od -c "$work/err")"
    [ "$(wc -l <"$work/err")" -eq 3 ] || fail "not three lines: $(od -c "$work/err")"
    third="$(sed -n 3p "$work/err")"
    site='src\main:48:10' failed='Failed to add lobby in rule if not exists'
    "$remover" && site='src\remove_main:26:3' failed='Failed to remove lobby in rule'
    pattern="^$failed"': WindowsError\(Error \{ code: HRESULT\(0x([0-9A-F]{8})\), message: "([^"\\]*[^"\\ ])" \}\)$'
    [[ "$third" =~ $pattern ]] || fail "third line has another shape: $third"
    [ "${BASH_REMATCH[1]}" = 80070005 ] || fail "code 0x${BASH_REMATCH[1]}, expected Wine's 0x80070005"
    printf '\n%s\n%s\n' "thread 'main' panicked at $site:" "$third" >"$work/expected"
    cmp "$work/expected" "$work/err" || fail "report differs: $(od -c "$work/err")"
    ;;

  check)
    copy="$(copy_into_non_ascii_folder)"
    run "$copy"
    expect_status 101
    expect_empty out
    third="$(sed -n 3p "$work/err")"
    pattern='^Failed to look up lobby in rule: WindowsError\(Error \{ code: HRESULT\(0x80004001\), message: "([^"\\]*)" \}\)$'
    [[ "$third" =~ $pattern ]] || fail "third line has another shape: $third"
    printf '\n%s\n%s\n' "thread 'main' panicked at src\\check_main:51:30:" "$third" >"$work/expected"
    cmp "$work/expected" "$work/err" || fail "report differs: $(od -c "$work/err")"
    # Only the first name was looked up, and the firewall's objects were all released.
    WINEDEBUG=-all,+hnetcfg run "$copy"
    expect_status 101
    [ "$(firewall_calls "$work/err")" = "Item $(wine_debug_text "Orvane Lobby In")" ] \
      || fail "the firewall received other calls: $(firewall_calls "$work/err")"
    for object in fwpolicy2 netfw_rules; do
      grep -q ":hnetcfg:${object}_Release destroying" "$work/err" || fail "$object not released"
    done
    ;;

  out-of-memory)
    run "$program"
    expect_empty out
    expected="memory allocation of 9223372036854775807 bytes failed"
    printf '%s\n' "$expected" | cmp - "$work/err" || fail "standard error: $(od -c "$work/err")"
    # A Linux parent sees only the low byte of the status; a batch file under Wine's cmd shows all
    # of it.
    expect_status 9
    cp "$program" "$work/probe.exe"
    printf '@probe.exe\r\n@echo status %%ERRORLEVEL%%\r\n' >"$work/probe.bat"
    (cd "$work" && "${runner[@]}" cmd /c probe.bat >"$work/out" 2>&1) || true
    grep -q "^status -1073740791"$'\r'"\?$" "$work/out" \
      || fail "not STATUS_STACK_BUFFER_OVERRUN (-1073740791): $(cat "$work/out")"
    ;;

  installer)
    # Installed into a folder of $work (Wine's Z: drive). The uninstaller runs with `_?=`, which
    # keeps it where it is and so lets the test wait for it (without it, NSIS's uninstaller starts
    # a copy of itself and exits at once). /LOG= (the example's own option) must come before `_?=`.
    dir="$work/Orvane"
    windows_dir="Z:$(printf '%s' "$dir" | tr / '\\')"
    windows_log="Z:$(printf '%s' "$log" | tr / '\\')"
    installed() { [ -f "$dir/orvane-firewall.exe" ] && [ -f "$dir/orvane-firewall-remove.exe" ]; }
    # The report's words, as Wine words them (Wine's code and text for a firewall that is missing).
    denied='WindowsError(Error { code: HRESULT(0x80070005), message: "Access denied." })'
    # Orvane's entry among the installed programs says whether it is installed on the machine: one
    # left by an earlier run that stopped half way would turn the first step into a reinstallation.
    "${runner[@]}" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane' \
      /f </dev/null >/dev/null 2>&1 || true

    begin_step "installation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run "$program" /S "/LOG=$windows_log" "/D=$windows_dir"
    expect_status 2
    [ ! -e "$dir" ] || fail "a failed installation left $(ls "$dir")"
    expect_logged "thread 'main' panicked at src\\main:48:10:"
    expect_logged "Failed to add lobby in rule if not exists: $denied"
    started orvane-firewall-remove.exe || fail "the remover did not take back the rules"

    begin_step "installation"
    WINEDEBUG=-all,err+all,+hnetcfg run "$program" /S "/LOG=$windows_log" "/D=$windows_dir"
    expect_status 0
    installed && [ -f "$dir/uninstall.exe" ] || fail "not installed: $(ls "$dir")"
    expect_firewall_calls "$work/err" false "$dir"
    mkdir "$work/installed"
    cp "$dir"/*.exe "$work/installed/"

    # Over an existing installation a failure takes back only what it did itself: the installation
    # keeps its files and its uninstaller, and its rules (the remover never runs).
    begin_step "reinstallation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run "$program" /S "/LOG=$windows_log" "/D=$windows_dir"
    expect_status 2
    expect_logged "Failed to add lobby in rule if not exists: $denied"
    started orvane-firewall.exe || fail "the adder did not run"
    ! started orvane-firewall-remove.exe || fail "the remover ran over an existing installation"
    diff -r "$work/installed" "$dir" >&2 || fail "the installation changed"

    begin_step "uninstallation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all \
      run "$dir/uninstall.exe" /S "/LOG=$windows_log" "_?=$windows_dir"
    expect_status 2
    installed || fail "a failed uninstallation removed the programs"
    expect_logged "thread 'main' panicked at src\\remove_main:26:3:"
    expect_logged "Failed to remove lobby in rule: $denied"

    begin_step "uninstallation"
    WINEDEBUG=-all,err+all,+hnetcfg \
      run "$dir/uninstall.exe" /S "/LOG=$windows_log" "_?=$windows_dir"
    expect_status 0
    [ ! -e "$dir/orvane-firewall.exe" ] && [ ! -e "$dir/orvane-firewall-remove.exe" ] \
      || fail "not uninstalled: $(ls "$dir")"
    expect_firewall_calls "$work/err" true "$dir"
    ;;

  msi-tables)
    # Every custom action's type bits, condition and place, as Windows Installer reads them.
    # Type 18: an installed file run as a program; 0x400 in-script (deferred), 0x800 without
    # impersonation, 0x100 rollback, 0x40 exit status ignored (Microsoft's "Custom Action In-Script
    # Execution Options" and "Custom Action Return Processing Options").
    table() { msiinfo export "$program" "$1" | tail -n +4 | tr -d '\r' | sort; }
    table CustomAction >"$work/actions"
    printf '%s\t%s\t%s\t\t\n' \
      AddFirewallRules $((18 + 0x400 + 0x800)) OrvaneFirewall \
      RemoveFirewallRules $((18 + 0x400 + 0x800)) OrvaneFirewallRemove \
      RemoveFirewallRulesOnRollback $((18 + 0x40 + 0x100 + 0x400 + 0x800)) OrvaneFirewallRemove \
      | sort >"$work/expected"
    diff -u "$work/expected" "$work/actions" >&2 || fail "custom actions differ"
    # The actions that matter, in the order they run, with their conditions.
    table InstallExecuteSequence | sort -t $'\t' -k3,3n | awk -F '\t' '
      $1 ~ /^(InstallValidate|RemoveExistingProducts|InstallInitialize)$/ ||
      $1 ~ /^(RemoveFiles|InstallFiles)$/ || $1 ~ /Firewall/ { print $1 "\t" $2 }' >"$work/sequence"
    printf '%s\t%s\n' InstallValidate "" RemoveExistingProducts "" InstallInitialize "" \
      RemoveFirewallRules 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE' RemoveFiles "" \
      InstallFiles "" RemoveFirewallRulesOnRollback 'NOT Installed AND NOT WIX_UPGRADE_DETECTED' \
      AddFirewallRules 'NOT REMOVE~="ALL"' >"$work/expected"
    diff -u "$work/expected" "$work/sequence" >&2 || fail "sequence differs"
    ;;

  msi)
    # Installed per machine under Program Files. Wine's msiexec gives a Linux parent 91 for a failed
    # installation or uninstallation (1627, ERROR_FUNCTION_FAILED, & 0xFF), where Windows' gives
    # 1603.
    windows_dir='C:\Program Files\Orvane'
    dir="$("${runner[@]}" winepath -u "$windows_dir" </dev/null 2>/dev/null)"
    [ -n "$dir" ] || fail "no Linux path for $windows_dir"
    installed() { [ -f "$dir/orvane-firewall.exe" ] && [ -f "$dir/orvane-firewall-remove.exe" ]; }
    [ -d "${ORVANE_BIN_DIR:-}" ] || fail "ORVANE_BIN_DIR must name the programs' folder"
    cp "$program" "$work/orvane-1.0.0.msi"
    "$(dirname "$0")/../../examples/wix/build-msi.sh" "$ORVANE_BIN_DIR" 1.0.1 \
      "$work/orvane-1.0.1.msi" >"$work/out" 2>&1 || fail "build-msi.sh: $(cat "$work/out")"
    msi() { printf 'Z:%s' "$work/orvane-$1.msi" | tr / '\\'; }
    # An earlier run that stopped half way may have left either version installed.
    for version in 1.0.0 1.0.1; do
      "${runner[@]}" msiexec /x "$(msi $version)" /qn </dev/null >/dev/null 2>&1 || true
    done

    begin_step "installation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process run msiexec /i "$(msi 1.0.0)" /qn
    expect_status 91
    started orvane-firewall.exe || fail "the adder did not run"
    [ ! -e "$dir" ] || fail "a failed installation left $(ls "$dir")"

    begin_step "installation"
    WINEDEBUG=-all,err+all,+hnetcfg run msiexec /i "$(msi 1.0.0)" /qn
    expect_status 0
    installed || fail "not installed"
    expect_firewall_calls "$work/err" false "$windows_dir"

    # Wine's msiexec does not set UPGRADINGPRODUCTCODE while it removes the old product, so the old
    # remover runs here (Windows skips it); the order is what shows the upgrade right: the old
    # product's look-ups, then the new adder's, whose rules are asked for last.
    begin_step "upgrade to 1.0.1"
    WINEDEBUG=-all,err+all,+hnetcfg,+process run msiexec /i "$(msi 1.0.1)" /qn
    expect_status 0
    installed || fail "not installed"
    grep -E 'CreateProcessInternalW .*cmdline|:hnetcfg:netfw_rules_(Item|Add) ' "$work/err" \
      | sed -nE 's/.*cmdline L".*\\(orvane-firewall[a-z-]*\.exe)\\"".*/\1/p;
                 s/.*netfw_rules_(Item|Add) .*/\1/p' | uniq -c \
      | sed -E 's/^ *//' >"$work/order"
    printf '%s\n' "1 orvane-firewall-remove.exe" "6 Item" "1 orvane-firewall.exe" \
      "1 Item" "1 Add" "1 Item" "1 Add" "1 Item" "1 Add" "1 Item" "1 Add" "1 Item" "1 Add" \
      "1 Item" "1 Add" >"$work/expected"
    diff -u "$work/expected" "$work/order" >&2 || fail "not the old removal, then the new adder"

    # After the upgrade: Wine's msiexec does not take a failed uninstallation fully back (the
    # product can no longer be found by its upgrade code), though it can still be uninstalled.
    begin_step "uninstallation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process run msiexec /x "$(msi 1.0.1)" /qn
    expect_status 91
    started orvane-firewall-remove.exe || fail "the remover did not run"
    installed || fail "a failed uninstallation removed the programs"

    begin_step "uninstallation"
    WINEDEBUG=-all,err+all,+hnetcfg run msiexec /x "$(msi 1.0.1)" /qn
    expect_status 0
    [ ! -e "$dir" ] || fail "not uninstalled: $(ls "$dir")"
    expect_firewall_calls "$work/err" true "$windows_dir"
    ;;

  planted-dll)
    # The program runs elevated from a folder users may be able to write to. Windows searches a
    # DLL that is not one of its known DLLs in the program's folder first, and with
    # uxtheme=n,b Wine does the same for uxtheme.dll, which its COM loads during CoInitializeEx.
    # The stand-in leaves planted-dll-ran beside itself when it is loaded.
    for file in "${ORVANE_PLANTED_DLL:-}" "${ORVANE_PLANTED_DLL_CONTROL:-}"; do
      [ -f "$file" ] || fail "ORVANE_PLANTED_DLL and ORVANE_PLANTED_DLL_CONTROL must name the files"
    done
    # The control first: a program that does not restrict the search loads the stand-in, so the
    # marker's absence below means something.
    mkdir "$work/control"
    cp "$ORVANE_PLANTED_DLL_CONTROL" "$work/control/control.exe"
    cp "$ORVANE_PLANTED_DLL" "$work/control/uxtheme.dll"
    WINEDLLOVERRIDES=uxtheme=n,b run "$work/control/control.exe"
    expect_status 0
    [ -e "$work/control/planted-dll-ran" ] \
      || fail "the control program did not load the planted uxtheme.dll; the test plants nothing"

    mkdir "$work/Orvane"
    cp "$program" "$work/Orvane/orvane-firewall.exe"
    cp "$ORVANE_PLANTED_DLL" "$work/Orvane/uxtheme.dll"
    WINEDLLOVERRIDES=uxtheme=n,b WINEDEBUG=-all,+hnetcfg run "$work/Orvane/orvane-firewall.exe"
    [ ! -e "$work/Orvane/planted-dll-ran" ] \
      || fail "the program loaded the uxtheme.dll planted in its folder"
    expect_status 0
    expect_empty out
    # Six rules asked for: Wine's firewall logs each Add.
    adds="$(grep -cE '^[0-9a-f]+:[a-z]+:hnetcfg:netfw_rules_Add ' "$work/err" || true)"
    [ "$adds" -eq 6 ] || fail "$adds rules asked for, expected 6"
    ;;

  *)
    fail "unknown case $case_name"
    ;;
esac
