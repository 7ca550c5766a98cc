#!/usr/bin/env python3
"""The table of a bench/compare_builds.sh run: for each benchmark the median over the rounds
of each build's median of three repetitions, wall clock and CPU time, and the change from the
first build to the second.

    bench/compare_report.py OUT_DIR [--alias FIRST_NAME=SECOND_NAME ...]

An alias pairs two benchmarks that measure the same thing under different names in the two
builds; it is listed under the second name. Benchmarks only one build has are listed apart.
"""
import glob
import json
import os
import statistics
import sys


def load(out_dir):
    # {(program, benchmark): {side: [(real, cpu, unit, counters), ...]}}
    runs = {}
    for path in sorted(glob.glob(os.path.join(out_dir, "*.json"))):
        program, side, _round = os.path.basename(path)[:-5].rsplit(".", 2)
        try:
            with open(path) as f:
                data = json.load(f)
        except json.JSONDecodeError:
            print(f"{os.path.basename(path)}: unfinished, left out", file=sys.stderr)
            continue
        for b in data["benchmarks"]:
            if b.get("aggregate_name") != "median":
                continue
            counters = {k: v for k, v in b.items() if k in ("driver_ms", "bare_ms", "overhead_pct")}
            runs.setdefault((program, b["run_name"]), {}).setdefault(side, []).append(
                (b["real_time"], b["cpu_time"], b["time_unit"], counters))
    return runs


def fmt(value, unit):
    return f"{value:.3g} {unit.replace('us', 'µs')}"


def main():
    out_dir = sys.argv[1]
    aliases = dict(a.split("=", 1) for a in sys.argv[3::2]) if len(sys.argv) > 2 else {}
    runs = load(out_dir)
    for (program, name), sides in list(runs.items()):
        if name in aliases and "first" in sides:
            target = runs.setdefault((program, aliases[name]), {})
            target["first"] = sides.pop("first")
            if not sides:
                del runs[(program, name)]
    print("| Benchmark | Before: wall (CPU) | After: wall (CPU) | Change, wall / CPU | Rounds |")
    print("|---|---|---|---|---|")
    alone = []
    for (program, name), sides in sorted(runs.items()):
        if set(sides) != {"first", "second"}:
            alone.append(f"{program} {name}: only in the {'first' if 'first' in sides else 'second'} build")
            continue
        cells = []
        medians = {}
        for side in ("first", "second"):
            real = statistics.median(r[0] for r in sides[side])
            cpu = statistics.median(r[1] for r in sides[side])
            unit = sides[side][0][2]
            medians[side] = (real, cpu)
            cells.append(f"{fmt(real, unit)} ({fmt(cpu, unit)})")
        (r1, c1), (r2, c2) = medians["first"], medians["second"]
        change = f"{100 * (r2 - r1) / r1:+.1f} % / {100 * (c2 - c1) / c1:+.1f} %"
        rounds = min(len(sides["first"]), len(sides["second"]))
        print(f"| `{program}` {name} | {cells[0]} | {cells[1]} | {change} | {rounds} |")
        for side in ("first", "second"):
            counters = [r[3] for r in sides[side] if r[3]]
            if counters:
                keys = counters[0].keys()
                text = ", ".join(f"{k} {statistics.median(c[k] for c in counters):.3g}" for k in keys)
                print(f"|  ↳ counters, {'before' if side == 'first' else 'after'} | {text} | | | |")
    for line in alone:
        print(line)


if __name__ == "__main__":
    main()
