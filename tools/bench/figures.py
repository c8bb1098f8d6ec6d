"""The benchmarks' tables: per program the median and maximum of each figure over the
runs, and the ratio of the first program's medians to the second's.

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
    first, second = list(medians)[:2]
    ratios = [a / b if b else math.inf for a, b in zip(medians[first], medians[second])]
    lines.append(f"{'ratio':<8} {'':>4} " + " ".join(f"{f'{x:.2f}':>{width}}" for x in ratios) +
                 f"   ({first} / {second}, medians)")
    return "\n".join(lines)


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
