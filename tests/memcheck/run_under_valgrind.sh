#!/bin/sh
# Runs one of the four programs under valgrind's memcheck against a store of its own and checks that it ends with the expected exit status, with no memory
# error and no definite or indirect leak. memcheck's errors end the run with status 99, which no run
# of the programs ends with. FIRST, when given, is run before, without valgrind or faults, to fill
# the store (the adder, for the remover and the check to find the rules).
#
# Usage: run_under_valgrind.sh VALGRIND PROGRAM EXPECTED_STATUS [FWSIM_FAIL [FIRST]]
set -u
valgrind=$1 program=$2 expected=$3 faults=${4-} first=${5-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

if [ -n "$first" ]; then
  FWSIM_STORE="$dir/rules" FWSIM_MODULE_PATH='C:\Games\Orvane\setup.exe' "$first" || exit 1
fi

FWSIM_STORE="$dir/rules" FWSIM_TRACE="$dir/trace" FWSIM_MODULE_PATH='C:\Games\Orvane\setup.exe' \
  FWSIM_FAIL="$faults" \
  "$valgrind" --quiet --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
  --track-origins=yes --log-file="$dir/memcheck" \
  "$program" 2>"$dir/stderr"
status=$?

failed=0
if [ "$status" -ne "$expected" ]; then
  echo "exit status $status, expected $expected"
  failed=1
fi
if [ -s "$dir/memcheck" ]; then
  echo "memcheck reported:"
  cat "$dir/memcheck"
  failed=1
fi
# The run itself must also have released every platform resource.
balance=$(tail -n 1 "$dir/trace")
if [ "$balance" != "balance objects=0 bstrs=0 arrays=0 apartments=0 errorinfo=0" ]; then
  echo "trace ends with: $balance"
  failed=1
fi
if [ "$expected" -eq 101 ] && ! grep -q "panicked at src" "$dir/stderr"; then
  echo "no failure report on standard error:"
  cat "$dir/stderr"
  failed=1
fi
[ "$failed" -eq 0 ] && echo "memcheck clean, exit status $status, $(grep -c . "$dir/trace") trace lines"
exit "$failed"
