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
#   installer           PROGRAM is the NSIS installer of examples/nsis as built, ORVANE_BIN_DIR the
#                       programs' folder, ORVANE_MAKENSIS makensis (for one whose adder cannot
#                       start): installing, reinstalling into the same and another folder,
#                       uninstalling, each also failing, which leaves the earlier installation
#   msi                 PROGRAM is the MSI of examples/wix as built, ORVANE_BIN_DIR the programs'
#                       folder (for a version 1.0.1 of it): installing, repairing, a major upgrade
#                       into another folder, uninstalling, each also failing
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

# expect_started PATH...: Wine's process trace in $work/err (WINEDEBUG=+process) shows exactly these
# Orvane programs started, as Windows paths, in this order. Wine logs a program it cannot start as
# well. nsExec starts each program through a helper whose command line names it too; that line, and
# every other program, is left out.
expect_started() {
  sed -nE 's/.*CreateProcessInternalW .*cmdline L"(\\")?([^"]*\\orvane-firewall[a-z-]*\.exe)(\\")?"$/\2/p' \
    "$work/err" | sed 's/\\\\/\\/g' >"$work/started"
  printf '%s\n' "$@" | diff -u - "$work/started" >&2 || fail "other programs started, or in another order"
}

# windows_path PATH: a Linux path as Wine names it, on its Z: drive.
windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}

# expect_installed FOLDER: FOLDER holds every program of the build (ORVANE_BIN_DIR), byte for byte.
expect_installed() {
  local built
  for built in "$ORVANE_BIN_DIR"/orvane-firewall*.exe; do
    cmp -s "$built" "$1/$(basename "$built")" || fail "$(basename "$built") is not installed in $1"
  done
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

# expect_firewall_calls FILE (adder|remover FOLDER)...: Wine's trace in FILE shows these runs of the
# adder and the remover, each from its FOLDER (a Linux or a Windows path), in this order, and
# nothing else. The adder looks each name up, then puts each property with its value and the exact
# application path and adds the rule; the remover only looks the six names up, as Wine's look-ups
# find nothing.
expect_firewall_calls() {
  local file="$1" program folder lobby halvic pendrel rule name direction path object
  local expected destroyed runs=0 adders=0
  shift
  firewall_calls "$file" >"$work/calls"
  : >"$work/expected"
  while [ $# -gt 0 ]; do
    program="$1" folder="$2"
    shift 2
    runs=$((runs + 1))
    [ "$program" = adder ] && adders=$((adders + 1))
    # A Linux folder is the program's folder as Wine names it: its Z: drive path, with backslashes.
    [[ "$folder" == /* ]] && folder="$(windows_path "$folder")"
    lobby="$(wine_debug_text "$folder\\orvane-lobby.exe")"
    halvic="$(wine_debug_text "$folder\\emulator\\halvic-orvane\\halvic.exe")"
    pendrel="$(wine_debug_text "$folder\\emulator\\pendrel-orvane\\pendrel.exe")"
    for rule in "Orvane Lobby In|1|$lobby" "Orvane Lobby Out|2|$lobby" \
      "Orvane Lobby Halvic In|1|$halvic" "Orvane Lobby Halvic Out|2|$halvic" \
      "Orvane Lobby Pendrel In|1|$pendrel" "Orvane Lobby Pendrel Out|2|$pendrel"; do
      IFS='|' read -r name direction path <<<"$rule"
      name="$(wine_debug_text "$name")"
      printf '%s\n' "Item $name"
      [ "$program" = remover ] || printf '%s\n' "put_Name $name" "put_Direction $direction" \
        "put_Enabled 0xffffffff" "put_Action 1" "put_ApplicationName $path" "put_Protocol 17" "Add"
    done >>"$work/expected"
  done
  diff -u "$work/expected" "$work/calls" >&2 || fail "the firewall received other calls"

  # Every object Wine's firewall made was released again: the policy and its rule collection,
  # once per rule and run, and each new rule of an adder.
  for object in fwpolicy2 netfw_rules netfw_rule; do
    expected=$((6 * runs))
    [ "$object" = netfw_rule ] && expected=$((6 * adders))
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
    kind=adder
    "$remover" && kind=remover
    expect_firewall_calls "$work/err" "$kind" "$(dirname "$copy")"
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

  check | repair)
    # The repair reads the firewall as the check does, before it changes anything: the same stop,
    # at its own site.
    site='src\check_main:51:30'
    [ "$case_name" = repair ] && site='src\repair_main:53:20'
    copy="$(copy_into_non_ascii_folder)"
    run "$copy"
    expect_status 101
    expect_empty out
    third="$(sed -n 3p "$work/err")"
    pattern='^Failed to look up lobby in rule: WindowsError\(Error \{ code: HRESULT\(0x80004001\), message: "([^"\\]*)" \}\)$'
    [[ "$third" =~ $pattern ]] || fail "third line has another shape: $third"
    printf '\n%s\n%s\n' "thread 'main' panicked at $site:" "$third" >"$work/expected"
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
    # Wine's firewall keeps no rule (Item answers E_NOTIMPL, Add S_OK), so no step reads rules: each
    # observes which programs the installer ran, in which order and from which folder (Wine's
    # process trace), what they asked of the firewall (its hnetcfg trace), and the files left.
    # Installed into folders of $work (Wine's Z: drive). The uninstaller runs with `_?=`, which
    # keeps it where it is and so lets the test wait for it (without it, NSIS's uninstaller starts
    # a copy of itself and exits at once). /LOG= (the example's own option) must come before `_?=`.
    if [ ! -d "${ORVANE_BIN_DIR:-}" ] || [ ! -x "${ORVANE_MAKENSIS:-}" ]; then
      fail "ORVANE_BIN_DIR must name the programs' folder, ORVANE_MAKENSIS makensis"
    fi
    # No space in either folder: NSIS reads /D= only unquoted, and Wine quotes an argument with one.
    a="$work/Orvane" b="$work/OrvaneB"
    win_a="$(windows_path "$a")" win_b="$(windows_path "$b")"
    windows_log="$(windows_path "$log")"
    # The same installer built from a folder whose adder is not a program: it cannot start, and
    # nsExec says "error", which must fail the installation as any other status but 0.
    mkdir "$work/broken"
    cp "$ORVANE_BIN_DIR"/orvane-firewall*.exe "$work/broken/"
    printf 'not a program\n' >"$work/broken/orvane-firewall.exe"
    "$ORVANE_MAKENSIS" -V2 -WX "-DBIN_DIR=$work/broken" "-DOUT_FILE=$work/broken-setup.exe" \
      "$(dirname "$0")/../../examples/nsis/orvane.nsi" >"$work/out" 2>&1 \
      || fail "makensis: $(cat "$work/out")"
    # The report's words, as Wine words them (Wine's code and text for a firewall that is missing).
    denied='WindowsError(Error { code: HRESULT(0x80070005), message: "Access denied." })'
    # Orvane's entry among the installed programs says whether it is installed on the machine: one
    # left by an earlier run that stopped half way would turn the first step into a reinstallation.
    "${runner[@]}" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane' \
      /f </dev/null >/dev/null 2>&1 || true

    # Nothing installed before: the remover, first, fails, and the installation leaves nothing.
    begin_step "installation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run "$program" /S "/LOG=$windows_log" "/D=$win_a"
    expect_status 2
    [ ! -e "$a" ] || fail "a failed installation left $(ls "$a")"
    expect_logged "thread 'main' panicked at src\\remove_main:26:3:"
    expect_logged "Failed to remove lobby in rule: $denied"
    expect_started "$win_a\\orvane-firewall-remove.exe"

    begin_step "installation"
    WINEDEBUG=-all,err+all,+hnetcfg run "$program" /S "/LOG=$windows_log" "/D=$win_a"
    expect_status 0
    expect_installed "$a"
    [ -f "$a/uninstall.exe" ] || fail "no uninstaller: $(ls "$a")"
    expect_firewall_calls "$work/err" remover "$a" adder "$a"
    # The installed programs marked (bytes after the end of an executable change nothing when it
    # runs), so that a step that must leave them can tell them from the new ones.
    for file in "$a"/orvane-firewall*.exe; do printf 'installed' >>"$file"; done
    cp -r "$a" "$work/installed"

    # Over an existing installation in the same folder: the new remover fails; the installation's
    # own programs, put back, and its adder, which puts its rules back.
    begin_step "reinstallation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run "$program" /S "/LOG=$windows_log" "/D=$win_a"
    expect_status 2
    expect_logged "Failed to remove lobby in rule: $denied"
    expect_started "$win_a\\orvane-firewall-remove.exe" "$win_a\\orvane-firewall.exe"
    diff -r "$work/installed" "$a" >&2 || fail "the installation changed"

    # Into another folder, with an adder that cannot start: the new remover, the new adder, the
    # remover again for what the adder may have added, then the earlier installation's adder from
    # its own folder, whose rules are asked for last. A numeric comparison of nsExec's "error"
    # would pass this installation.
    begin_step "reinstallation into another folder with an adder that cannot start"
    WINEDEBUG=-all,err+all,+process,+hnetcfg \
      run "$work/broken-setup.exe" /S "/LOG=$windows_log" "/D=$win_b"
    expect_status 2
    expect_logged "orvane-firewall.exe ended with exit status error:"
    [ ! -e "$b" ] || fail "a failed installation left $(ls "$b")"
    diff -r "$work/installed" "$a" >&2 || fail "the earlier installation changed"
    expect_started "$win_b\\orvane-firewall-remove.exe" "$win_b\\orvane-firewall.exe" \
      "$win_b\\orvane-firewall-remove.exe" "$win_a\\orvane-firewall.exe"
    expect_firewall_calls "$work/err" remover "$b" remover "$b" adder "$a"

    # Into another folder: the rules name the new folder's programs, and the earlier installation's
    # programs and uninstaller are gone.
    begin_step "reinstallation into another folder"
    WINEDEBUG=-all,err+all,+hnetcfg run "$program" /S "/LOG=$windows_log" "/D=$win_b"
    expect_status 0
    expect_installed "$b"
    [ ! -e "$a" ] || fail "the earlier installation is still there: $(ls "$a")"
    expect_firewall_calls "$work/err" remover "$b" adder "$b"

    # The remover fails at the first rule; the adder puts back whatever it took (here nothing).
    begin_step "uninstallation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run "$b/uninstall.exe" /S "/LOG=$windows_log" "_?=$win_b"
    expect_status 2
    expect_installed "$b"
    expect_logged "thread 'main' panicked at src\\remove_main:26:3:"
    expect_logged "Failed to remove lobby in rule: $denied"
    expect_logged "Failed to add lobby in rule if not exists: $denied"
    expect_started "$win_b\\orvane-firewall-remove.exe" "$win_b\\orvane-firewall.exe"

    begin_step "uninstallation"
    WINEDEBUG=-all,err+all,+hnetcfg run "$b/uninstall.exe" /S "/LOG=$windows_log" "_?=$win_b"
    expect_status 0
    ! compgen -G "$b/orvane-firewall*" >/dev/null || fail "not uninstalled: $(ls "$b")"
    expect_firewall_calls "$work/err" remover "$b"
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
      RemoveEarlierFirewallRules $((18 + 0x400 + 0x800)) OrvaneFirewallRemove \
      RemoveFirewallRulesOnRollback $((18 + 0x40 + 0x100 + 0x400 + 0x800)) OrvaneFirewallRemove \
      RestoreFirewallRulesOnRollback $((18 + 0x40 + 0x100 + 0x400 + 0x800)) OrvaneFirewall \
      | sort >"$work/expected"
    diff -u "$work/expected" "$work/actions" >&2 || fail "custom actions differ"
    # The actions that matter, in the order they run, with their conditions: the old product's
    # removal inside the transaction (after InstallInitialize, before ProcessComponents, the first
    # action that writes to the script); in an installed product's runs the rollback adder before
    # the remover and both before the files go; after the files are in place the rollback remover,
    # then the remover, then the adder.
    table InstallExecuteSequence | sort -t $'\t' -k3,3n | awk -F '\t' '
      $1 ~ /^(InstallValidate|RemoveExistingProducts|InstallInitialize|ProcessComponents)$/ ||
      $1 ~ /^(RemoveFiles|InstallFiles|InstallFinalize)$/ || $1 ~ /Firewall/ { print $1 "\t" $2 }' \
      >"$work/sequence"
    printf '%s\t%s\n' InstallValidate "" InstallInitialize "" RemoveExistingProducts "" \
      ProcessComponents "" RestoreFirewallRulesOnRollback Installed \
      RemoveFirewallRules 'REMOVE~="ALL"' RemoveFiles "" InstallFiles "" \
      RemoveFirewallRulesOnRollback 'NOT REMOVE~="ALL"' RemoveEarlierFirewallRules 'NOT REMOVE~="ALL"' \
      AddFirewallRules 'NOT REMOVE~="ALL"' InstallFinalize "" >"$work/expected"
    diff -u "$work/expected" "$work/sequence" >&2 || fail "sequence differs"
    ;;

  msi)
    # Wine's firewall keeps no rule (Item answers E_NOTIMPL, Add S_OK), so no step reads rules: each
    # observes which programs the installation ran, in which order and from which folder (Wine's
    # process trace), what they asked of the firewall (its hnetcfg trace), and the files left.
    # Wine 8's msiexec differs from Windows' here (docs/installers.md): it removes the old product
    # of an upgrade in a run of its own, outside the upgrade's transaction, where a failure is not
    # rolled back; it runs a rollback script forwards; a folder given by INSTALLDIR is forgotten by
    # later runs of the product (so the old product of an upgrade is in the default folder, and an
    # uninstallation is given INSTALLDIR again); after a failed removal the product is no longer
    # found by its upgrade code. A failed installation or uninstallation gives a Linux parent 91
    # (1627, ERROR_FUNCTION_FAILED, & 0xFF), where Windows' gives 1603.
    [ -d "${ORVANE_BIN_DIR:-}" ] || fail "ORVANE_BIN_DIR must name the programs' folder"
    win_a='C:\Program Files\Orvane'
    a="$("${runner[@]}" winepath -u "$win_a" </dev/null 2>/dev/null)"
    [ -n "$a" ] || fail "no Linux path for $win_a"
    b="$work/OrvaneB" win_b="$(windows_path "$work/OrvaneB")"
    cp "$program" "$work/orvane-1.0.0.msi"
    "$(dirname "$0")/../../examples/wix/build-msi.sh" "$ORVANE_BIN_DIR" 1.0.1 \
      "$work/orvane-1.0.1.msi" >"$work/out" 2>&1 || fail "build-msi.sh: $(cat "$work/out")"
    msi() { windows_path "$work/orvane-$1.msi"; }
    # An earlier run that stopped half way may have left either version installed, or files Wine
    # did not remove.
    for version in 1.0.0 1.0.1; do
      "${runner[@]}" msiexec /x "$(msi $version)" /qn </dev/null >/dev/null 2>&1 || true
    done
    rm -rf "$a"

    begin_step "installation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process run msiexec /i "$(msi 1.0.0)" /qn
    expect_status 91
    expect_started "$win_a\\orvane-firewall-remove.exe"
    [ ! -e "$a" ] || fail "a failed installation left $(ls "$a")"

    begin_step "installation"
    WINEDEBUG=-all,err+all,+hnetcfg,+process run msiexec /i "$(msi 1.0.0)" /qn
    expect_status 0
    expect_installed "$a"
    expect_started "$win_a\\orvane-firewall-remove.exe" "$win_a\\orvane-firewall.exe"
    expect_firewall_calls "$work/err" remover "$win_a" adder "$win_a"

    begin_step "repair"
    WINEDEBUG=-all,err+all,+process \
      run msiexec /i "$(msi 1.0.0)" REINSTALL=ALL REINSTALLMODE=vomus /qn
    expect_status 0
    expect_installed "$a"
    expect_started "$win_a\\orvane-firewall-remove.exe" "$win_a\\orvane-firewall.exe"

    # The old product's removal fails at its remover and is rolled back: its rollback adder runs
    # from its folder, which keeps its programs. Wine then goes on with the new product, whose
    # remover fails too (Windows stops the upgrade at the removal's failure).
    begin_step "upgrade to 1.0.1 in another folder without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run msiexec /i "$(msi 1.0.1)" "INSTALLDIR=$win_b" /qn
    expect_status 91
    expect_started "$win_a\\orvane-firewall-remove.exe" "$win_a\\orvane-firewall.exe" \
      "$win_b\\orvane-firewall-remove.exe"
    expect_installed "$a"
    [ ! -e "$b" ] || fail "a failed upgrade left $(ls "$b")"

    # Wine no longer finds 1.0.0 by its upgrade code: uninstalled and installed again by package.
    begin_step "uninstallation"
    WINEDEBUG=-all,err+all,+hnetcfg run msiexec /x "$(msi 1.0.0)" /qn
    expect_status 0
    [ ! -e "$a" ] || fail "not uninstalled: $(ls "$a")"
    expect_firewall_calls "$work/err" remover "$win_a"
    begin_step "installation again"
    run msiexec /i "$(msi 1.0.0)" /qn
    expect_status 0

    # The old product's remover, then the new product's remover and adder from the new folder.
    begin_step "upgrade to 1.0.1 in another folder"
    WINEDEBUG=-all,err+all,+hnetcfg,+process run msiexec /i "$(msi 1.0.1)" "INSTALLDIR=$win_b" /qn
    expect_status 0
    expect_installed "$b"
    [ ! -e "$a" ] || fail "the old product's folder is still there: $(ls "$a")"
    expect_started "$win_a\\orvane-firewall-remove.exe" "$win_b\\orvane-firewall-remove.exe" \
      "$win_b\\orvane-firewall.exe"
    expect_firewall_calls "$work/err" remover "$win_a" remover "$win_b" adder "$win_b"

    # The remover fails; the rollback adder runs (forwards under Wine, before the files could go).
    begin_step "uninstallation without a firewall"
    WINEDLLOVERRIDES=hnetcfg=d WINEDEBUG=-all,err+all,+process \
      run msiexec /x "$(msi 1.0.1)" "INSTALLDIR=$win_b" /qn
    expect_status 91
    expect_started "$win_b\\orvane-firewall-remove.exe" "$win_b\\orvane-firewall.exe"
    expect_installed "$b"

    begin_step "uninstallation of 1.0.1"
    WINEDEBUG=-all,err+all,+hnetcfg run msiexec /x "$(msi 1.0.1)" "INSTALLDIR=$win_b" /qn
    expect_status 0
    [ ! -e "$b" ] || fail "not uninstalled: $(ls "$b")"
    expect_firewall_calls "$work/err" remover "$win_b"
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
