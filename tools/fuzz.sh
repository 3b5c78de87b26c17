#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`, clang-19) and runs each for SECONDS (default 30),
# starting from its committed seeds in fuzz/corpus/TARGET. Fails on any finding; the input that
# caused it is kept in build/fuzz/findings/. New inputs go to a scratch folder, not to the seeds.
# Usage: tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
tools/ensure-packages.sh cmake ninja-build clang-19 libclang-rt-19-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# In memory where the system has a RAM folder: the store fuzzer writes a file for every input.
scratch=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
findings=build/fuzz/findings
rm -rf "$findings"
status=0
for seeds in fuzz/corpus/*/; do
  target=$(basename "$seeds")
  mkdir -p "$scratch/$target" "$findings/$target"
  log="$scratch/$target.log"
  if "build/fuzz/bin/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/$target/" "$scratch/$target" "$seeds" \
      >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: ${executions:-?} executions in ${seconds} s, no finding"
    rmdir "$findings/$target"
  else
    echo "fuzz $target: FINDING"
    grep -E "property broken|ERROR|runtime error|SUMMARY" "$log" | head -20
    ls -l "$findings/$target"
    status=1
  fi
done
exit "$status"
