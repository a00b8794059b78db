#!/usr/bin/env bash
# Plots frames/s against frame size from sim_bench's JSON output (the
# sizeSweep runs), and prints the table of every figure for
# docs/performance.md.
#
#   build/default/bin/sim_bench --benchmark_out=after.json --benchmark_out_format=json
#   scripts/plot-performance.sh after.json docs/performance/fps-by-size.svg [before.json]
set -euo pipefail

after=${1:?usage: plot-performance.sh AFTER.json OUT.svg [BEFORE.json]}
out=${2:?usage: plot-performance.sh AFTER.json OUT.svg [BEFORE.json]}
before=${3:-}
data=$(mktemp)
trap 'rm -f "$data"' EXIT

# One line per sizeSweep run: frame bytes and frames/s.
/usr/bin/python3 - "$after" > "$data" <<'PY'
import json, sys
for run in json.load(open(sys.argv[1]))["benchmarks"]:
    if run["name"].startswith("sizeSweep/") and "fps" in run:
        print(int(run["bytes"]), run["fps"])
PY

gnuplot <<GNUPLOT
set terminal svg size 720,420 font "sans,12"
set output "$out"
set title "Frames/s a host waiting on every frame receives (camera period 100 µs)"
set xlabel "frame size (bytes)"
set ylabel "frames/s"
set logscale xy
set grid
set key off
plot "$data" using 1:2 with linespoints lw 2 pt 7
GNUPLOT

# The table: one row per run, before and after side by side when given.
/usr/bin/python3 - "$after" "$before" <<'PY'
import json, sys
def load(path):
    if not path:
        return {}
    return {r["name"]: r for r in json.load(open(path))["benchmarks"]}
after, before = load(sys.argv[1]), load(sys.argv[2])
keys = ["fps", "cpu_us", "memcpy_us", "fixed_us", "floor_us", "ratio", "missed", "missed_pct",
        "late_pct", "floor_missed_pct", "period_us"]
def cell(run):
    if run is None:
        return "—"
    if "error_message" in run:
        return "refused: " + run["error_message"]
    shown = [f"{k} {run[k]:.4g}" for k in keys if k in run]
    return ", ".join(shown) if shown else f"{run['real_time']:.4g} {run['time_unit']}"
print("| benchmark | before | after |")
print("|---|---|---|")
for name, run in after.items():
    print(f"| {name} | {cell(before.get(name))} | {cell(run)} |")

# The wrappers' overhead: CPU time of the library's call over the bare SDK
# calls it makes, measured in the same run.
def overhead(runs, wrapped, bare):
    if wrapped in runs and bare in runs:
        return f"{runs[wrapped]['cpu_time'] / runs[bare]['cpu_time']:.3f}"
    return "—"
print()
print("| wrapper | before | after |")
print("|---|---|---|")
for wrapped, bare in (("regPeekWrapped", "regPeekBare"), ("waitWrapped", "waitBare")):
    print(f"| {wrapped} / {bare} | {overhead(before, wrapped, bare)} | {overhead(after, wrapped, bare)} |")
PY
