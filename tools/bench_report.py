#!/usr/bin/env python3
"""Turns raw benchmark output into the Markdown of BENCHMARKS.md (used by tools/bench.sh).

  bench_report.py benchmarks RESULTS.json   Google Benchmark JSON (median aggregates) as tables
  bench_report.py callgrind OUT WIN32_H     one callgrind output's instruction count, split into
                                            the program's own code (main less its calls into
                                            fwsim), fwsim, the dynamic loader (none in a static
                                            program) and the rest (the C and C++ runtimes'
                                            start-up and exit), as table cells
"""
import json
import re
import sys


def fmt_time(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e5:
        return f"{ns / 1e3:.0f} µs"
    if ns >= 1e3:
        return f"{ns / 1e3:.1f} µs"
    return f"{ns:.0f} ns"


def fmt_rate(per_second, unit):
    for scale, prefix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if per_second >= scale:
            return f"{per_second / scale:.1f} {prefix}{unit}/s"
    return f"{per_second:.0f} {unit}/s"


TO_NS = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}


def medians(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        # A benchmark with its own minimum time carries it in its name; the tables do not.
        name = re.sub(r"/min_time:[0-9.]+", "", b.get("run_name", b["name"]))
        b["real_ns"] = b["real_time"] * TO_NS[b["time_unit"]]
        b["cpu_ns"] = b["cpu_time"] * TO_NS[b["time_unit"]]
        out[name] = b
    return out


def benchmarks(path):
    runs = medians(path)
    reps = next(iter(runs.values())).get("repetitions", 1) if runs else 1
    print(f"Each figure is the median of {reps} repetitions; time is wall-clock per call.\n")

    print("### Encoders (against fwsim: each text or array comes from its SysAllocStringLen "
          "and SafeArray calls)\n")
    print("| Benchmark | Items | Time | Rate |")
    print("|---|---:|---:|---:|")
    families = ["PortsToBstr", "AddressText", "AddressesToBstr", "InterfaceTypesToBstr",
                "InterfaceNamesToVariant"]
    rows = []
    for name, b in runs.items():
        label, _, arg = name[3:].partition("/")
        if label not in families:
            continue
        parts = arg.split("/") if arg else []
        items = int(parts[-1]) if parts and parts[-1].isdigit() else 1
        if label == "InterfaceTypesToBstr":
            items = 4
        variant = "/".join(p for p in parts if not p.isdigit())
        rows.append((families.index(label), variant, items, label, b))
    for _, variant, items, label, b in sorted(rows, key=lambda r: r[:3]):
        shown = f"{label} ({variant})" if variant else label
        rate = fmt_rate(b["items_per_second"], "items") if "items_per_second" in b else ""
        print(f"| {shown} | {items} | {fmt_time(b['real_ns'])} | {rate} |")

    print("\n### Text: UTF-8 to UTF-16, BSTR, UTF-16 to UTF-8, quoting\n")
    print("`text_to_wide` and `wide_to_text` are the program's converters alone; `from_text` adds "
          "fwsim's SysAllocStringLen. Rates are bytes of UTF-8 text per second.\n")
    print("| Function | Text | 64 B | 4 KiB |")
    print("|---|---|---:|---:|")
    rows = {}
    for name, b in runs.items():
        m = re.match(r"(text_to_wide|from_text|wide_to_text|quote_text)/(\w+)/(\d+)$", name)
        if m:
            rows.setdefault((m.group(1), m.group(2)), {})[m.group(3)] = b
    functions = ["text_to_wide", "from_text", "wide_to_text", "quote_text"]
    texts = ["ascii", "mixed_script", "mostly_escapes"]
    for (function, text), by_size in sorted(
            rows.items(), key=lambda r: (functions.index(r[0][0]), texts.index(r[0][1]))):
        cells = []
        for size in ("64", "4096"):
            b = by_size.get(size)
            cells.append(f"{fmt_rate(b['bytes_per_second'], 'B')} ({fmt_time(b['real_ns'])})"
                         if b else "")
        print(f"| `{function}` | {text.replace('_', ' ')} | {cells[0]} | {cells[1]} |")

    print("\n### add_if_not_exists against fwsim's rule store, by rules already in the store\n")
    print("Wall time per call, and in brackets the CPU time (user and system) of the process. A "
          "flush to the disk waits without using the CPU, and how long it waits depends on "
          "whatever else the machine's disk is doing, so the CPU time is the steadier figure.\n")
    print("| Benchmark | 0 rules | 1,000 rules | 100,000 rules |")
    print("|---|---:|---:|---:|")
    labels = [
        ("BM_AddIfNotExists_Existing", "add_if_not_exists, rule exists (look-up only)"),
        ("BM_AddIfNotExists_Add", "add_if_not_exists, rule missing (look-up, build, Add)"),
        ("BM_RulesAdd", "INetFwRules::Add alone"),
        ("BM_StoreRewrite/durable", "the store file's atomic rewrite alone (with fsync)"),
        ("BM_StoreRewrite/without_flush", "the same rewrite without the two fsyncs"),
        ("BM_FirstLookUp", "a process's first look-up (reads the whole store)"),
    ]
    for prefix, label in labels:
        cells = []
        for size in ("0", "1000", "100000"):
            b = runs.get(f"{prefix}/{size}")
            cells.append(f"{fmt_time(b['real_ns'])} ({fmt_time(b['cpu_ns'])})" if b else "")
        print(f"| {label} | " + " | ".join(cells) + " |")


def callgrind(path, win32_h):
    with open(win32_h) as f:
        api = set(re.findall(r"WINAPI\s+(\w+)\s*\(", f.read()))

    names = {}
    objects = {}

    def define(table, text):
        m = re.match(r"\((\d+)\)(?: (.*))?$", text)
        if not m:
            return text
        if m.group(2) is not None:
            table[m.group(1)] = m.group(2)
        return table.get(m.group(1), "?")

    def is_fwsim(function):
        # Callgrind names a C++ function with its parameters: "SysFreeString(char16_t*)".
        return "fwsim" in function or function.split("(")[0] in api

    total = 0
    loader = 0
    fwsim = 0
    fwsim_at_exit = 0
    main = 0
    ob = fn = cfn = ""
    pending_call = False
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("summary:") or line.startswith("totals:"):
                total = int(line.split()[1])
            elif line.startswith("ob="):
                ob = define(objects, line[3:])
            elif line.startswith("cob="):
                define(objects, line[4:])
            elif line.startswith("fn="):
                fn = define(names, line[3:])
            elif line.startswith("cfn="):
                cfn = define(names, line[4:])
            elif line.startswith("calls="):
                pending_call = True
            elif line and (line[0].isdigit() or line[0] in "+-*"):
                parts = line.split()
                cost = int(parts[1]) if len(parts) > 1 else 0
                if pending_call:
                    # Inclusive cost of calls from `fn` to `cfn`.
                    if is_fwsim(cfn) and not is_fwsim(fn):
                        fwsim += cost
                        # The C library calls fwsim only from its exit handlers, after main
                        # (in a statically linked program, the C library is no object of its own).
                        if "libc.so" in ob or fn.startswith("__run_exit_handlers"):
                            fwsim_at_exit += cost
                    if cfn == "main":
                        main += cost
                    pending_call = False
                elif "ld-linux" in ob:
                    loader += cost
    program = main - (fwsim - fwsim_at_exit)
    rest = total - program - fwsim - loader
    print(f"{total:,} | {program:,} | {fwsim:,} | {loader:,} | {rest:,}")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "benchmarks":
        benchmarks(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "callgrind":
        callgrind(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
