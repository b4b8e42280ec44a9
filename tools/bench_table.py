#!/usr/bin/env python3
"""The closing table of `make bench`: each libmvx benchmark against its anchor.

Reads Google Benchmark's JSON output of one run (one file per benchmark
program, merged) and the goal lines of the benchmark sources, which sit next to the benchmarks they judge:

    // goal: BM_TreeInsert_otm / BM_TreeInsert_tsearch <= 1.0

A goal line names a libmvx benchmark, its anchor and the largest ratio of
their times per iteration (CPU time, or wall-clock time for benchmarks that
use real time) that the project accepts (a throughput goal of
"at least 0.8x the anchor's" is a time ratio of at most 1.25). A line

    // anchor: BM_Format_mpmPlain / BM_Format_snprintf

pairs the two without setting a goal. A line

    // floor: BM_RestoreModel bytes_per_s >= 150e6

sets the least value of a counter that a benchmark reports (a throughput
that has no anchor to be a ratio of); those follow the table. Benchmarks
with arguments pair up by equal arguments (BM_DofHeadFit_dof/1000 with
BM_DofHeadFit_map/1000). With repetitions, the medians are compared;
without, the single runs.

usage: bench_table.py RESULTS.json... SOURCE.cpp...
"""
import json
import re
import sys

GOAL = re.compile(r"//\s*(?:goal|anchor):\s*(\w+)\s*/\s*(\w+)(?:\s*<=\s*([0-9.]+))?")
FLOOR = re.compile(r"//\s*floor:\s*(\w+)\s+(\w+)\s*>=\s*([0-9.eE+]+)")
TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def matches(sources, pattern):
    """Every match of pattern in the lines of the source files."""
    for path in sources:
        with open(path, encoding="utf-8") as source:
            for line in source:
                match = pattern.search(line)
                if match:
                    yield match


def goals(sources):
    return [(m.group(1), m.group(2), float(m.group(3)) if m.group(3) else None)
            for m in matches(sources, GOAL)]


def floors(sources):
    return [(m.group(1), m.group(2), float(m.group(3))) for m in matches(sources, FLOOR)]


def counters(results, wanted):
    """The median (or single) value of each (benchmark, counter) wanted."""
    single, median = {}, {}
    for run in results["benchmarks"]:
        base = split(run.get("run_name", run["name"]))[0]
        for name, counter, _ in wanted:
            if base != name or counter not in run or run.get("error_occurred"):
                continue
            if run.get("run_type") != "aggregate":
                single[(name, counter)] = run[counter]
            elif run.get("aggregate_name") == "median":
                median[(name, counter)] = run[counter]
    single.update(median)
    return single


def times(results):
    """Nanoseconds per iteration of each run name: the median when there are
    repetitions, else the one run."""
    single, median = {}, {}
    for run in results["benchmarks"]:
        name = run.get("run_name", run["name"])
        # A benchmark measured in wall-clock time (UseRealTime: file I/O) is
        # compared by it; the others by CPU time, which other processes on
        # a shared machine disturb far less.
        clock = "real_time" if name.endswith("/real_time") else "cpu_time"
        ns = run[clock] * TO_NS[run.get("time_unit", "ns")]
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                median[name] = ns
        elif run.get("error_occurred"):
            continue
        else:
            single[name] = ns
    single.update(median)
    return single


def split(name):
    """Base name and the rest (arguments, /real_time ...)."""
    base, _, rest = name.partition("/")
    return base, rest


def rows(goal_list, measured):
    by_base = {}
    for name in measured:
        base, rest = split(name)
        by_base.setdefault(base, {})[rest] = name
    out = []
    for ours, anchor, limit in goal_list:
        for rest, name in sorted(by_base.get(ours, {}).items()):
            other = by_base.get(anchor, {}).get(rest)
            if other is None:
                continue
            ratio = measured[name] / measured[other]
            out.append((name, other, ratio, limit))
    return out


def load(paths):
    """The runs of every results file in one list; a file that a crashed
    program left empty or cut short is named and skipped."""
    merged = {"benchmarks": []}
    for path in paths:
        try:
            with open(path, encoding="utf-8") as handle:
                merged["benchmarks"] += json.load(handle)["benchmarks"]
        except (OSError, ValueError, KeyError) as error:
            print(f"{path}: no results ({error})")
    return merged


def main(argv):
    results_files = [arg for arg in argv[1:] if arg.endswith(".json")]
    sources = [arg for arg in argv[1:] if not arg.endswith(".json")]
    if not results_files or not sources:
        sys.stderr.write(__doc__)
        return 2
    results = load(results_files)
    table = rows(goals(sources), times(results))
    floor_list = floors(sources)
    values = counters(results, floor_list)
    if not table and not values:
        print("no benchmark with a goal and its anchor in this run")
        return 0
    if table:
        print_table(table)
    if values:
        print()
        print("counters: the median of this run; floor: the least value accepted")
        for name, counter, least in floor_list:
            if (name, counter) in values:
                value = values[(name, counter)]
                verdict = "  missed" if value < least else ""
                print(f"{name} {counter}  {value:.4g}  floor {least:.4g}{verdict}")
    return 0


def print_table(table):
    width = max(len(row[0]) for row in table)
    anchor_width = max(len(row[1]) for row in table)
    print()
    print("ratio: libmvx time / anchor time per iteration (CPU; wall clock for /real_time),")
    print("medians of this run; goal: the largest ratio accepted, - where none is set")
    print(f"{'libmvx benchmark':<{width}}  {'anchor':<{anchor_width}}  {'ratio':>7}  {'goal':>7}")
    for name, anchor, ratio, limit in table:
        goal = "-" if limit is None else f"{limit:.2f}"
        verdict = "  missed" if limit is not None and ratio > limit else ""
        print(f"{name:<{width}}  {anchor:<{anchor_width}}  {ratio:7.2f}  {goal:>7}{verdict}")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
