#!/usr/bin/python3
"""Benchmark, not a test: the Linux program tolvane side by side with two GTK floor
programs, one label given the time (tolvane_bench_empty_gtk) and the window definition
in GTK's plain widgets (tolvane_bench_layout_gtk), on one private Xvfb with private session and system
buses, the accessibility bus and python3-dbusmock's logind, as in the end-to-end tests.

Per run and program:
  - start-up: from just before the process is started to the X server mapping its
    window, seen as the MapNotify event on the root window (there is no window manager,
    so top-level windows are the root's children) of a window whose _NET_WM_PID is the
    process; the same watch for both programs;
  - memory two seconds after that: private = Private_Clean + Private_Dirty
    (smaps_rollup), resident = VmRSS (status);
  - while waiting (tolvane with a 30-minute standby countdown running, the floors just
    running): wake-ups per second and CPU milliseconds over the period, summed over the
    threads (threads.py).
Then short standby countdowns: from the start of the target second (the program's own
target text) to the Suspend call reaching logind (the mock notes time.time()).

Usage: bench_linux.py [--runs N] [--wait S] [--countdowns N] [--build DIR] [--smaps]
Needs the build's tolvane, tools/bench/tolvane_bench_empty_gtk and tolvane_bench_layout_gtk,
and tests/tolvane_layout (the window definition's rectangles, to click by).
"""
import argparse
import ctypes
import os
import re
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from datetime import datetime

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e", "linux"))
sys.path.insert(0, HERE)

import dbusmock  # noqa: E402

import figures  # noqa: E402
import threads  # noqa: E402
from desktop_checks import layout, poll, start_accessibility_and_logind, start_xvfb  # noqa: E402

MANAGER = "org.freedesktop.login1.Manager"
TARGET = re.compile(r"^(\d+)年(\d+)月(\d+)日(?:(\d+)时)?(?:(\d+)分)?(?:(\d+)秒)?$")


class MapWatch:
    """MapNotify events of the root window's children, read through Xlib."""
    MAP_NOTIFY, SUBSTRUCTURE_NOTIFY_MASK = 19, 1 << 19

    def __init__(self, display):
        x = self.x = ctypes.cdll.LoadLibrary("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
                                         ctypes.c_int, ctypes.c_ulong] + [ctypes.c_void_p] * 5
        for f in ("XPending", "XConnectionNumber", "XFlush", "XNextEvent", "XFree"):
            getattr(x, f).argtypes = [ctypes.c_void_p] * (2 if f == "XNextEvent" else 1)
        self.d = x.XOpenDisplay(display.encode())
        self.pid_atom = x.XInternAtom(self.d, b"_NET_WM_PID", 0)
        x.XSelectInput(self.d, x.XDefaultRootWindow(self.d), self.SUBSTRUCTURE_NOTIFY_MASK)
        x.XFlush(self.d)

    def pid_of(self, window):
        kind, fmt, count, after, data = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        self.x.XGetWindowProperty(self.d, window, self.pid_atom, 0, 1, 0, 0, ctypes.byref(kind), ctypes.byref(fmt),
                                  ctypes.byref(count), ctypes.byref(after), ctypes.byref(data))
        if not data.value:
            return None
        pid = ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[0] if count.value else None
        self.x.XFree(data)
        return pid

    def wait(self, pid, timeout=30):
        """(monotonic time the process's first top-level window was mapped, its id)."""
        event = (ctypes.c_long * 24)()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            while self.x.XPending(self.d):
                self.x.XNextEvent(self.d, event)
                at = time.monotonic()
                override_redirect = event[6] & 0xFFFFFFFF
                if event[0] & 0xFFFFFFFF == self.MAP_NOTIFY and not override_redirect and self.pid_of(event[5]) == pid:
                    return at, event[5]
            select.select([self.x.XConnectionNumber(self.d)], [], [], 0.5)
        raise AssertionError(f"no window of process {pid} was mapped")


class Ended(Exception):
    """The program ended before its time, ended from outside (another program of the
    machine that ends processes by name, say): the run is done again."""


def again(what, attempt):
    for _ in range(3):
        try:
            return attempt()
        except Ended as e:
            print(f"{what}: {e}; once more", file=sys.stderr)
    raise AssertionError(f"{what}: the program ended before its time three times")


class Desktop(dbusmock.DBusTestCase):
    """Only for its private buses and mock servers; no test runs."""


def smaps_by_file(pid):
    """{mapped file or [kind]: private kB}."""
    sizes, name = {}, None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            fields = line.split()
            if re.match(r"^[0-9a-f]+-[0-9a-f]+$", fields[0]):
                name = fields[5] if len(fields) > 5 else "[anonymous]"
            elif fields[0] in ("Private_Clean:", "Private_Dirty:"):
                sizes[name] = sizes.get(name, 0) + int(fields[1])
    return sizes


def memory(pid):
    """(private kB, resident kB)."""
    with open(f"/proc/{pid}/smaps_rollup") as f:
        private = sum(int(line.split()[1]) for line in f if line.startswith(("Private_Clean:", "Private_Dirty:")))
    with open(f"/proc/{pid}/status") as f:
        rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    return private, rss


class Bench:
    def __init__(self, args):
        self.args = args
        self.rects = layout()
        self.display, self.xvfb = start_xvfb()
        os.environ["DISPLAY"] = self.display
        Desktop.start_session_bus()
        Desktop.start_system_bus()
        start_accessibility_and_logind(Desktop)
        self.logind = Desktop.logind_obj
        self.requests = tempfile.NamedTemporaryFile(prefix="tolvane-bench-suspend-", delete=False).name
        self.logind.AddMethod(MANAGER, "Suspend", "b", "",
                              f"open({self.requests!r}, 'a').write(repr(time.time()) + '\\n')",
                              dbus_interface=dbusmock.MOCK_IFACE)
        self.watch = MapWatch(self.display)
        self.env = dict(os.environ, XDG_SESSION_ID="c1", GDK_SCALE="1", GDK_BACKEND="x11")
        self.log = open(os.path.join(tempfile.gettempdir(), "tolvane-bench-linux.log"), "ab")

    def close(self):
        for process in (Desktop.logind, Desktop.a11y, self.xvfb):
            process.terminate()
            process.wait()
        Desktop.tearDownClass()
        os.unlink(self.requests)

    def start(self, program):
        """(process, start-up ms, window id)."""
        started = time.monotonic()
        process = self.process = subprocess.Popen([program], env=self.env, stdout=self.log, stderr=self.log)
        shown, window = self.watch.wait(process.pid)
        return process, (shown - started) * 1000, window

    def stop(self, process):
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=10)

    # Clicking and typing into tolvane, by the window definition's rectangles.
    def click(self, origin, name, dx=None):
        left, top, width, height = self.rects[name]
        x, y = origin[0] + left + (width // 2 if dx is None else dx), origin[1] + top + height // 2
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True)
        time.sleep(0.2)

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True)
        time.sleep(0.2)

    def start_standby_countdown(self, window, minutes, seconds):
        info = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True).stdout
        origin = [int(line.split(":")[1]) for line in info.splitlines() if "Absolute upper-left" in line]
        self.logind.ClearCalls(dbus_interface=dbusmock.MOCK_IFACE)
        self.click(origin, "单选框3")  # 待机
        self.click(origin, "单选框6")  # countdown
        # A click at the right end of the picker's text selects its seconds; Left, the minutes.
        self.click(origin, "日期框2", dx=self.rects["日期框2"][2] - 40)
        self.key(*str(seconds))
        if minutes:
            self.key("Left", *str(minutes))
        self.click(origin, "按钮1")
        # Running once it holds its lock with logind.
        poll(lambda: self.process.poll() is not None or
             any(str(i[1]) == "Tolvane" for i in self.logind.ListInhibitors(dbus_interface=MANAGER)), 10,
             "the countdown to start")
        self.check_running()

    def check_running(self):
        if self.process.poll() is not None:
            raise Ended(f"the program ended with exit code {self.process.returncode}")

    def measure(self, program, is_tolvane, smaps):
        process, startup, window = self.start(program)
        try:
            time.sleep(2)
            private, rss = memory(process.pid)
            files = smaps_by_file(process.pid) if smaps else None
            if is_tolvane:
                self.start_standby_countdown(window, 30, 0)
            time.sleep(1)
            rows = threads.watch(process.pid, self.args.wait)
        except (FileNotFoundError, ProcessLookupError):
            self.check_running()
            raise
        self.check_running()
        wakes, cpu = threads.totals(rows, self.args.wait)
        self.stop(process)
        return (startup, private / 1024, rss / 1024, wakes, cpu), rows, files

    def target_text(self):
        import pyatspi

        def find():
            for app in pyatspi.Registry.getDesktop(0):
                if app is None or app.name != "tolvane":
                    continue
                boxes = pyatspi.findAllDescendants(app, lambda a: a is not None and a.getRole() == pyatspi.ROLE_TEXT)
                for box in boxes:
                    text = box.queryText().getText(0, -1)
                    if TARGET.match(text):
                        return text
            return None
        return poll(find, 10, "the target text")

    def trigger_delay(self, program):
        """Milliseconds from the start of the target second to logind's Suspend call."""
        open(self.requests, "w").close()
        process, _, window = self.start(program)
        self.start_standby_countdown(window, 0, 6)
        text = self.target_text()
        process.wait(timeout=30)  # the program ends after its request
        with open(self.requests) as f:
            requests = [float(line) for line in f]
        if not requests and process.returncode < 0:
            raise Ended(f"the program ended by signal {-process.returncode}")
        if len(requests) != 1:
            raise AssertionError(f"{len(requests)} Suspend calls")
        y, mo, d, h, mi, s = (int(g) if g else 0 for g in TARGET.match(text).groups())
        return (requests[0] - datetime(y, mo, d, h, mi, s).timestamp()) * 1000


def report(results, tables, files, args):
    print(figures.side_by_side(results, ("start-up ms", "private MB", "resident MB", "wake-ups/s",
                                         f"CPU ms in {args.wait:g} s")))
    for name in results:
        print(f"\n{name}: threads over the last run's {args.wait:g} s of waiting")
        print(tables[name])
    if args.smaps:
        for name in results:
            print(f"\n{name}: the 20 largest mappings by private memory (kB), last run")
            for file, kb in sorted(files[name].items(), key=lambda item: -item[1])[:20]:
                print(f"{kb:>9}  {file}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--wait", type=float, default=60)
    parser.add_argument("--countdowns", type=int, default=10)
    parser.add_argument("--build", default=os.path.join(HERE, "..", "..", "build", "native"))
    parser.add_argument("--smaps", action="store_true")
    args = parser.parse_args()
    programs = {"tolvane": os.path.join(args.build, "tolvane"),
                "floor": os.path.join(args.build, "tools", "bench", "tolvane_bench_empty_gtk"),
                "layout": os.path.join(args.build, "tools", "bench", "tolvane_bench_layout_gtk")}
    os.environ.setdefault("TOLVANE_LAYOUT", os.path.join(args.build, "tests", "tolvane_layout"))
    for path in (*programs.values(), os.environ["TOLVANE_LAYOUT"]):
        if not os.access(path, os.X_OK):
            sys.exit(f"no {path}: build the targets tolvane, tolvane_bench_empty_gtk, tolvane_bench_layout_gtk and "
                     "tolvane_layout")
    bench = Bench(args)
    try:
        # One start of each first, not counted: the session's services start with the first program.
        for name, program in programs.items():
            bench.stop(bench.start(program)[0])
        results, tables, files = {name: [] for name in programs}, {}, {}
        for run in range(1, args.runs + 1):
            for name, program in programs.items():
                one_run, rows, files[name] = again(f"run {run}, {name}",
                                                   lambda: bench.measure(program, name == "tolvane", args.smaps))
                results[name].append(one_run)
                tables[name] = threads.table(rows, args.wait)
            print(f"run {run} of {args.runs} done", file=sys.stderr)
        delays = []
        for countdown in range(1, args.countdowns + 1):
            delays.append(again(f"countdown {countdown}", lambda: bench.trigger_delay(programs["tolvane"])))
            print(f"countdown {countdown} of {args.countdowns} done", file=sys.stderr)
    finally:
        bench.close()
    report(results, tables, files, args)
    if delays:
        print(f"\ntarget second start -> Suspend reaches logind: n={len(delays)} median {statistics.median(delays):.1f} ms, "
              f"p95 {figures.p95(delays):.1f} ms, max {max(delays):.1f} ms, min {min(delays):.1f} ms")


if __name__ == "__main__":
    main()
