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
#   installer           PROGRAM is orvane-firewall.exe, with the remover beside it: the NSIS
#                       installer of examples/nsis built with $MAKENSIS, installing, uninstalling
#                       and stopping when either program fails
#   planted-dll         a uxtheme.dll beside it is never loaded; it still asks for its six rules
#                       (ORVANE_PLANTED_DLL: the stand-in; ORVANE_PLANTED_DLL_CONTROL: a program
#                       that does load it)
#
# Wine's firewall (hnetcfg.dll, Wine 8) accepts every property and Add without keeping anything,
# and answers Item with E_NOTIMPL, which both programs take for a rule that does not exist: the
# adder adds each rule, the remover finds none to remove.
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

fail() {
  echo "FAIL: $*" >&2
  exit 1
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
# (REMOVER false) or of the remover (true) from the Linux folder FOLDER, and nothing else. The adder
# looks each name up, then puts each property with its value and the exact application path and
# adds the rule; the remover only looks the six names up, as Wine's look-ups find nothing.
expect_firewall_calls() {
  local file="$1" remover="$2" folder lobby halvic pendrel rule name direction path object
  local expected destroyed
  firewall_calls "$file" >"$work/calls"
  # Wine names the program's folder as its Z: drive path, with backslashes.
  folder="Z:$(printf '%s' "$3" | tr / '\\')"
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
    # Built from the two programs in PROGRAM's folder and installed into a folder of $work (Wine's
    # Z: drive). The uninstaller runs with `_?=`, which keeps it where it is and so lets the test
    # wait for it (without it, NSIS's uninstaller starts a copy of itself and exits at once).
    "${MAKENSIS:-makensis}" -V2 -WX -DBIN_DIR="$(dirname "$program")" \
      -DOUT_FILE="$work/orvane-setup.exe" \
      "$(dirname "$0")/../../examples/nsis/orvane.nsi" >"$work/makensis" 2>&1 \
      || fail "makensis: $(cat "$work/makensis")"
    dir="$work/Orvane"
    windows_dir="Z:$(printf '%s' "$dir" | tr / '\\')"
    installed() { [ -f "$dir/orvane-firewall.exe" ] && [ -f "$dir/orvane-firewall-remove.exe" ]; }

    # Without Wine's firewall either program fails; the installer or the uninstaller stops with
    # NSIS's status 2 (aborted by the script), and nothing is installed or nothing uninstalled.
    WINEDLLOVERRIDES=hnetcfg=d run "$work/orvane-setup.exe" /S "/D=$windows_dir"
    expect_status 2
    [ ! -e "$dir" ] || fail "a failed installation left $(ls "$dir")"

    WINEDEBUG=-all,+hnetcfg run "$work/orvane-setup.exe" /S "/D=$windows_dir"
    expect_status 0
    installed && [ -f "$dir/uninstall.exe" ] || fail "not installed: $(ls "$dir")"
    expect_firewall_calls "$work/err" false "$dir"

    WINEDLLOVERRIDES=hnetcfg=d run "$dir/uninstall.exe" /S "_?=$windows_dir"
    expect_status 2
    installed || fail "a failed uninstallation removed the programs"

    WINEDEBUG=-all,+hnetcfg run "$dir/uninstall.exe" /S "_?=$windows_dir"
    expect_status 0
    [ ! -e "$dir/orvane-firewall.exe" ] && [ ! -e "$dir/orvane-firewall-remove.exe" ] \
      || fail "not uninstalled: $(ls "$dir")"
    expect_firewall_calls "$work/err" true "$dir"
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
