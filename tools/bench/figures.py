"""The benchmarks' tables: per program the median and maximum of each figure over the
runs, the ratio of the first program's medians to each other program's, and the cost
goals against the layout floor (the program named "layout").

As a command: figures.py <results file> <heading>... where each line of the file is
"<program> <figure>..." in the headings' order."""
import math
import statistics
import sys


def side_by_side(results, heads):
    """results: {program: [figures of one run]}, the program to compare first."""
    width = max(24, max(len(h) for h in heads) + 12)
    lines = [f"{'program':<8} {'runs':>4} " + " ".join(f"{h + ' (med/max)':>{width}}" for h in heads)]
    medians = {}
    for name, runs in results.items():
        medians[name] = [statistics.median(r[i] for r in runs) for i in range(len(heads))]
        cells = [f"{medians[name][i]:.2f} / {max(r[i] for r in runs):.2f}" for i in range(len(heads))]
        lines.append(f"{name:<8} {len(runs):>4} " + " ".join(f"{c:>{width}}" for c in cells))
    first, *others = medians
    for other in others:
        ratios = [a / b if b else math.inf for a, b in zip(medians[first], medians[other])]
        lines.append(f"{'ratio':<8} {'':>4} " + " ".join(f"{f'{x:.2f}':>{width}}" for x in ratios) +
                     f"   ({first} / {other}, medians)")
    if "layout" in medians:
        lines.append(layout_goals(medians[first], medians["layout"], heads))
    return "\n".join(lines)


def layout_goals(program, layout, heads):
    """The goals against the layout floor, on the medians: start-up at most 1.1 times
    the floor's, private memory at most 1.2 times, wake-ups at most one a second more."""
    def column(prefix):
        return next(i for i, h in enumerate(heads) if h.startswith(prefix))
    start, private, wakes = column("start-up"), column("private"), column("wake-ups")
    checks = [("start-up", f"{program[start] / layout[start]:.2f}x", program[start] <= 1.1 * layout[start], "1.1x"),
              ("private memory", f"{program[private] / layout[private]:.2f}x",
               program[private] <= 1.2 * layout[private], "1.2x"),
              ("wake-ups", f"{program[wakes] - layout[wakes]:+.2f}/s", program[wakes] <= layout[wakes] + 1, "+1/s")]
    cells = [f"{name} {value} (at most {goal}: {'met' if met else 'MISSED'})" for name, value, met, goal in checks]
    return "goals against the layout floor: " + "; ".join(cells)


def p95(values):
    """The 95th percentile, nearest rank."""
    return sorted(values)[math.ceil(0.95 * len(values)) - 1]


if __name__ == "__main__":
    results = {}
    with open(sys.argv[1]) as f:
        for line in f:
            name, *numbers = line.split()
            results.setdefault(name, []).append([float(n) for n in numbers])
    print(side_by_side(results, sys.argv[2:]))
