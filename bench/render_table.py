#!/usr/bin/env python3
"""The speed tables of docs/performance.md from one run of vellora_bench.

Usage: vellora_bench --benchmark_filter='^(Render|Floor)/' --benchmark_repetitions=3 \
           --benchmark_format=json > run.json
       bench/render_table.py run.json

Each figure is the median over the run's repetitions of a case's x_floor (its
fastest frame over its floor's fastest frame, timed in the same loop); a figure
above its target is marked with a cross.
"""
import json
import statistics
import sys

FALLOFFS = ["linear", "quadratic", "cubic", "gamma", "gaussian", "exponential"]

# Targets by (depth, mask, falloff or "hard", feather); the first match wins.
TARGETS = [
    (("ae16", "ellipse", ("gamma", "gaussian", "exponential"), 400), 2.0),
    (("ae16", "ellipse", ("linear", "quadratic", "cubic"), 400), 1.6),
    (("ae16", "ellipse", ("gaussian",), 1500), 2.5),
    (("premiere_float", "ellipse", ("gamma",), 400), 2.0),
    (("premiere_float", "rectangle", tuple(FALLOFFS), 400), 2.0),
    (("ae8", "rectangle", tuple(FALLOFFS), 400), 1.6),
    (("ae8", "ellipse", tuple(FALLOFFS), 400), 1.5),
]


def target(depth, mask, falloff, feather):
    for (d, m, fs, f), value in TARGETS:
        if d == depth and m == mask and falloff in fs and f == feather:
            return value
    return None


def load(path):
    with open(path) as f:
        run = json.load(f)
    samples, frames = {}, {}
    for b in run["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = b["run_name"] if "run_name" in b else b["name"]
        name = name.replace("/manual_time", "")
        key = "x_floor" if "x_floor" in b else "ms_per_frame"
        samples.setdefault(name, []).append(b[key])
        frames.setdefault(name, []).append(b["ms_per_frame"])
    median = lambda d: {k: statistics.median(v) for k, v in d.items()}
    return median(samples), median(frames)


def cell(values, depth, mask, falloff, feather, threads):
    name = f"Render/{depth}_{mask}_{falloff}_feather{feather}/threads:{threads}"
    if name not in values:
        return "-"
    x = values[name]
    t = target(depth, mask, falloff, feather)
    return f"{x:.2f}" + (" ✗" if t is not None and x > t else "")


def shape_table(header, columns):
    """One row per mask and falloff; columns(mask, falloff, feather) gives its cells."""
    print(header)
    print("|" + "---|" * (header.count("|") - 1))
    for mask in ("ellipse", "rectangle"):
        for falloff, feather in [("hard", 0)] + [(f, 400) for f in FALLOFFS]:
            label = f"{mask}, hard edge" if feather == 0 else f"{mask}, {falloff} {feather} px"
            print(f"| {label} | " + " | ".join(columns(mask, falloff, feather)) + " |")
    print()


def or_dash(value):
    return str(value) if value else "-"


def main():
    values, frames = load(sys.argv[1])
    floors = [f"{n[len('Floor/'):].replace('threads:0', 'every core')} {values[n]:.2f} ms"
              for n in sorted(values) if n.startswith("Floor/")]
    print("Floors (a frame, median): " + ", ".join(floors))
    speedups = sorted(frames[n] / frames[n.replace(":0", ":1")] for n in frames
                      if n.startswith("Render/") and n.endswith("threads:0"))
    speedups = [1 / x for x in speedups]
    if speedups:
        print(f"Two threads against one: {min(speedups):.2f}x to {max(speedups):.2f}x as fast "
              f"(median {statistics.median(speedups):.2f}x)")
    print()
    shape_table("| 8-bit, x copy pass | AE 1 thread | AE 2 threads | Premiere 1 thread | Premiere 2 threads | target |",
                lambda m, f, w: [cell(values, d, m, f, w, n) for d in ("ae8", "premiere8") for n in (1, 0)]
                + [or_dash(target("ae8", m, f, w))])
    shape_table("| 16-bit and float | AE 16-bit 1 thread | AE 16-bit 2 threads | target | Premiere float | target |",
                lambda m, f, w: [cell(values, "ae16", m, f, w, 1), cell(values, "ae16", m, f, w, 0),
                                 or_dash(target("ae16", m, f, w)), cell(values, "premiere_float", m, f, w, 1),
                                 or_dash(target("premiere_float", m, f, w))])
    print("| Gaussian ellipse, feather | AE 8-bit 1 / 2 threads | Premiere 8-bit 1 / 2 threads "
          "| AE 16-bit 1 / 2 threads | Premiere float |")
    print("|---|---|---|---|---|")
    for feather in (0, 50, 400, 1500):
        falloff = "hard" if feather == 0 else "gaussian"
        pair = lambda d: " / ".join(cell(values, d, "ellipse", falloff, feather, n) for n in (1, 0))
        print(f"| {feather} px | {pair('ae8')} | {pair('premiere8')} | {pair('ae16')} | "
              f"{cell(values, 'premiere_float', 'ellipse', falloff, feather, 1)} |")


if __name__ == "__main__":
    main()
