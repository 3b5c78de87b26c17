#!/usr/bin/env bash
# Runs every benchmark and measurement and writes them, with a description of the machine, to
# BENCHMARKS.md: the library benchmarks (orvane_bench), whole runs of the program against an
# empty process, instruction counts from callgrind, allocations per run, and the size (as built)
# of the Windows program when its build is there. Takes about ten minutes; run it on a quiet
# machine.
# Usage: tools/bench.sh [RUNS]   (RUNS: whole runs of each kind, default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-200}"
tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev libbenchmark-dev valgrind python3
cmake --preset default >/dev/null
cmake --build --preset default
bin=build/default/bin

work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
out="$work/BENCHMARKS.md"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"

echo "Library benchmarks..." >&2
# Repetitions in random order, so that a burst of other work on the machine (or on its disk)
# lands on a few repetitions of different benchmarks instead of all of one; medians are reported.
"$bin/orvane_bench" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$work/bench.json" --benchmark_out_format=json >&2

echo "Whole runs..." >&2
"$bin/whole_run" "$runs" "$bin/empty_process" "$bin/orvane-firewall" "$work/runs" > "$work/runs.md"
"$bin/whole_run" check "$runs" "$bin/empty_process" "$bin/orvane-firewall-check" \
  "$bin/orvane-firewall" "$work/runs" > "$work/check-runs.md"

echo "Instruction counts..." >&2
module='C:\Games\Orvane\orvane-firewall.exe'
callgrind() {  # NAME PROGRAM [VAR=VALUE...]: one run under callgrind, output in $work/NAME.cg
  local name="$1" program="$2"
  shift 2
  env "$@" valgrind --tool=callgrind --callgrind-out-file="$work/$name.cg" "$program" \
    >/dev/null 2>"$work/$name.log"
}
cg_split() { python3 tools/bench_report.py callgrind "$work/$1.cg" sim/include/fwsim/win32.h; }
thousands() { python3 -c 'import sys; print(f"{int(sys.argv[1]):,}")' "$1"; }
total() { thousands "$(grep '^totals:' "$work/$1.cg" | cut -d' ' -f2)"; }
callgrind empty "$bin/empty_process"
callgrind adding "$bin/orvane-firewall" FWSIM_STORE="$work/cg.rules" FWSIM_MODULE_PATH="$module"
callgrind present "$bin/orvane-firewall" FWSIM_STORE="$work/cg.rules" FWSIM_MODULE_PATH="$module"
rm -f "$work/cg.rules"
# The check, against the stores whole_run made (its own folder's six rules and 0 or 1,000 others).
callgrind check0 "$bin/orvane-firewall-check" FWSIM_STORE="$work/runs/check-0"
callgrind check1000 "$bin/orvane-firewall-check" FWSIM_STORE="$work/runs/check-1000"
# The repair with nothing to do reads as the check does, and writes nothing to the store.
callgrind repair1000 "$bin/orvane-firewall-repair" FWSIM_STORE="$work/runs/check-1000"

# Where INetFwRules::Add spends its instructions with 100,000 rules in the store: collection is
# on only inside Add, for the few calls of one short benchmark run.
valgrind --tool=callgrind --callgrind-out-file="$work/add.cg" \
  '--toggle-collect=fwsim::detail::(anonymous namespace)::NetFwRules::Add(INetFwRule*)' \
  "$bin/orvane_bench" --benchmark_filter='^BM_RulesAdd/100000/' --benchmark_min_time=0.001 \
  >/dev/null 2>"$work/add.log"
callgrind_annotate --inclusive=yes --auto=no "$work/add.cg" > "$work/add.txt" 2>/dev/null
share() { grep -m1 -F "$1" "$work/add.txt" | sed -n 's/.*(\([0-9.]*%\)).*/\1/p'; }
add_rewrite="$(share 'fwsim::detail::RuleStore::rewrite')"
add_memcpy="$(share '__memcpy')"

echo "Allocations..." >&2
counted() { FWSIM_STORE="$work/alloc.rules" FWSIM_MODULE_PATH="$module" \
  "$bin/orvane-firewall-counted" | sed -e 's/^allocations //' -e 's/ /, /g'; }
alloc_adding="$(counted)"
alloc_present="$(counted)"

echo "Windows program size..." >&2
exe=build/windows/bin/orvane-firewall.exe
if [ ! -f "$exe" ] && grep -q '"name": "windows"' CMakePresets.json; then
  (cmake --preset windows >/dev/null && cmake --build --preset windows --target orvane-firewall) >&2 \
    || true
fi
if [ -f "$exe" ]; then
  exe_size="$(thousands "$(stat -c %s "$exe")") bytes as built (preset \`windows\`, which strips it)"
else
  exe_size="not measured: no Windows build (build/windows/bin/orvane-firewall.exe)"
fi

cpu="$(lscpu | sed -n 's/^Model name: *//p' | head -1)"
{
  echo "# Benchmarks"
  echo
  echo "Written by \`tools/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'). Rerun it to refresh;"
  echo "numbers from another machine are not comparable with these."
  echo
  echo "## Machine"
  echo
  echo "| | |"
  echo "|---|---|"
  echo "| CPU | $cpu, $(nproc) cores available |"
  echo "| Memory | $(free -h | awk '/^Mem:/ {print $2}') |"
  echo "| Kernel | $(uname -sr) |"
  echo "| Compiler | $(g++ --version | head -1) |"
  echo "| Windows cross-compiler | $(x86_64-w64-mingw32-g++-posix --version 2>/dev/null | head -1 || echo none) |"
  echo "| CMake, Ninja | $(cmake --version | head -1 | cut -d' ' -f3), $(ninja --version) |"
  echo "| Google Benchmark | $(dpkg-query -W -f='${Version}' libbenchmark-dev) (Debian's build, which reports itself as a debug build; only the harness is affected) |"
  echo "| Valgrind | $(valgrind --version) |"
  echo "| Temporary folder | $(df -T "${TMPDIR:-/tmp}" | awk 'NR==2 {print $2}') on $(df "${TMPDIR:-/tmp}" | awk 'NR==2 {print $1}') (the rule stores live there) |"
  echo "| Load average | $load_before before, $(cut -d' ' -f1-3 /proc/loadavg) after |"
  echo "| Build | preset \`default\` (RelWithDebInfo: -O2 -g), against fwsim |"
  echo
  echo "## Whole runs of the program"
  echo
  echo "Wall time from spawning to reaping, the program taking turns with a statically linked"
  echo "process that only returns 0 (\`bench/empty_process.c\`). The program is linked statically"
  echo "too. The store is in the temporary folder; an add rewrites it with two fsyncs."
  echo
  cat "$work/runs.md"
  echo
  echo "### Instructions per run (callgrind, total Ir)"
  echo
  echo "| Run | Instructions |"
  echo "|---|---:|"
  echo "| empty process | $(total empty) |"
  echo "| orvane-firewall, six rules already there | $(total present) |"
  echo "| orvane-firewall, empty store (adds six) | $(total adding) |"
  echo
  echo "Where they go (the program is linked statically, so no dynamic loader runs):"
  echo
  echo "| Run | Total | Program's own code | fwsim | Dynamic loader | C/C++ runtime start-up and exit |"
  echo "|---|---:|---:|---:|---:|---:|"
  echo "| six rules already there | $(cg_split present) |"
  echo "| empty store (adds six) | $(cg_split adding) |"
  echo
  echo "\"Program's own code\" is \`main\` less its calls into fwsim: the driver, the library and"
  echo "the C++ standard library they call. fwsim's share is every call into fwsim with its callees."
  echo
  echo "## Whole runs of the check"
  echo
  echo "\`orvane-firewall-check\` reads every rule of the firewall, so its time grows with their"
  echo "number: against the six rules of its folder beside 0, 1,000 and 10,000 other rules, taking"
  echo "turns with the empty process as above."
  echo
  cat "$work/check-runs.md"
  echo
  echo "| Run of the check (callgrind) | Instructions |"
  echo "|---|---:|"
  echo "| six rules, no other | $(total check0) |"
  echo "| six rules, 1,000 others | $(total check1000) |"
  echo "| orvane-firewall-repair with nothing to do, six rules and 1,000 others | $(total repair1000) |"
  echo
  echo "The check's fixed part (about 100,000 instructions more than before it read the network's"
  echo "settings, the registered products and the six rules' conditions) does not grow with the"
  echo "rules. About 12,000 instructions for each other rule, nearly all of them fwsim's: reading its"
  echo "store (about 5,600 a rule: the line parsed into its properties, its two texts widened to"
  echo "UTF-16) and the walk (about 6,000: a rule object from the enumerator, two property gets with"
  echo "a BSTR each, SysStringLen and SysFreeString for each, QueryInterface and Release). The check"
  echo "itself reads only the name and program of such a rule, into strings it reuses. Only"
  echo "totals are given: \`bench_report.py\`'s split by caller gives the check's own code a share"
  echo "below zero here, which is not understood yet."
  echo
  echo "## Where an add's time goes"
  echo
  echo "From the last table below. With the rule there, \`add_if_not_exists\` costs the same"
  echo "whatever the store holds: the look-up goes through fwsim's name index. With the rule"
  echo "missing, nearly all of the call is \`INetFwRules::Add\`, and Add is the rewrite of the store"
  echo "file: its text formed whole in memory, written beside the store, flushed, renamed over it."
  echo "With few rules the flushes to the disk are most of the wall time (compare the rewrite with"
  echo "and without them); with 100,000 rules (a 14 MB file), forming and writing it is."
  echo
  echo "Profiled with callgrind, collecting only inside Add, with 100,000 rules in the store:"
  echo "$add_rewrite of Add's instructions are in \`RuleStore::rewrite\`, and $add_memcpy are"
  echo "copying bytes (memcpy) to form the new file. The system calls that write and flush it"
  echo "come on top, as system time."
  echo
  echo "## Allocations per run"
  echo
  echo "Counted by \`orvane-firewall-counted\` (tests/budget): the program with counting allocation"
  echo "functions and fwsim as a shared library, so that fwsim's allocations are told apart by the"
  echo "code that asks. Installation folder \`C:\\Games\\Orvane\`."
  echo
  echo "| Run | Allocations |"
  echo "|---|---|"
  echo "| empty store (adds six) | $alloc_adding |"
  echo "| six rules already there | $alloc_present |"
  echo
  echo "## Windows program size"
  echo
  echo "\`orvane-firewall.exe\`: $exe_size."
  echo
  echo "## Library benchmarks (\`build/default/bin/orvane_bench\`)"
  echo
  python3 tools/bench_report.py benchmarks "$work/bench.json"
} > "$out"
cp "$out" BENCHMARKS.md
echo "Wrote BENCHMARKS.md" >&2
