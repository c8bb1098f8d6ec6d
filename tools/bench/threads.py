"""What a process does while it waits, from /proc: its threads' context switches
(voluntary + involuntary: each is the thread leaving the CPU, so once per wake-up)
and their time on the CPU (the first field of schedstat, in nanoseconds).

The threads are sampled every half second over the period, so a thread that starts
during it counts with everything it did, and one that ends counts up to its last
sample (up to half a second of its work may be missed; the table marks both).

As a command, for the shell benchmarks:
    threads.py <pid> <seconds> <table file>
prints "<wake-ups per second> <CPU milliseconds over the period>" and writes the
per-thread table to the file."""
import os
import sys
import time

SAMPLE_EVERY = 0.5


def snapshot(pid):
    """{tid: (name, context switches, CPU ns)} of the process's threads now."""
    threads = {}
    task = f"/proc/{pid}/task"
    for tid in os.listdir(task):
        try:
            with open(f"{task}/{tid}/comm") as f:
                name = f.read().strip()
            switches = 0
            with open(f"{task}/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                        switches += int(line.split()[1])
            with open(f"{task}/{tid}/schedstat") as f:
                cpu = int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            continue  # ended while being read
        threads[int(tid)] = (name, switches, cpu)
    return threads


def watch(pid, seconds):
    """Per thread over the next seconds: [(tid, name, wake-ups, CPU ns, note)], note
    being "", "started" or "ended" (or both) as the thread lived only part of the period."""
    first = snapshot(pid)
    last = dict(first)
    seen_last = set(first)
    end = time.monotonic() + seconds
    while True:
        time.sleep(max(0.0, min(SAMPLE_EVERY, end - time.monotonic())))
        now = snapshot(pid)
        last.update(now)
        seen_last = set(now)
        if time.monotonic() >= end:
            break
    rows = []
    for tid, (name, switches, cpu) in sorted(last.items()):
        _, switches0, cpu0 = first.get(tid, (name, 0, 0))
        notes = [n for n, lived in (("started", tid not in first), ("ended", tid not in seen_last)) if lived]
        rows.append((tid, name, switches - switches0, cpu - cpu0, "+".join(notes)))
    return rows


def totals(rows, seconds):
    """(wake-ups per second, CPU milliseconds over the period)."""
    return sum(r[2] for r in rows) / seconds, sum(r[3] for r in rows) / 1e6


def table(rows, seconds):
    lines = [f"{'tid':>8} {'thread':<16} {'wake-ups':>9} {'per s':>7} {'CPU ms':>9}  note"]
    for tid, name, wakes, cpu, note in rows:
        lines.append(f"{tid:>8} {name:<16} {wakes:>9} {wakes / seconds:>7.2f} {cpu / 1e6:>9.2f}  {note}")
    return "\n".join(lines)


if __name__ == "__main__":
    pid, seconds, out = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
    rows = watch(pid, seconds)
    with open(out, "w") as f:
        f.write(table(rows, seconds) + "\n")
    print("%.3f %.3f" % totals(rows, seconds))
