"""What the Linux end-to-end tests share: waiting for a condition with a deadline, the
assertions GTK and GLib print when the program misuses them, a private X display and
sound server, recordings of the sound, the program's window with its controls clicked at
their rectangles in the program's own window definition, and its controls found and
pressed in the accessibility tree."""
import functools
import os
import re
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
import sound_bursts  # noqa: E402

# A GTK or GLib assertion that failed, on X11 or Wayland, is a fault of the program.
CRITICAL = re.compile(r"^.*-CRITICAL \*\*.*$", re.M)


def criticals(log_path):
    with open(log_path, "rb") as log:
        return CRITICAL.findall(log.read().decode("utf-8", "replace"))


# Every deadline is multiplied by this: a program run under emulation sets it higher.
SLOWDOWN = 1


def poll(condition, timeout, what):
    """The condition's first true value; what: text, or a function that tells what was seen."""
    deadline = time.time() + timeout * SLOWDOWN
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + (what() if callable(what) else what))


@functools.cache
def layout():
    """The window definition's rectangles, name -> (left, top, width, height) in client
    coordinates at 96 DPI, printed by the layout tool that CTest names in TOLVANE_LAYOUT."""
    tool = os.environ.get("TOLVANE_LAYOUT")
    if not tool:
        raise AssertionError("TOLVANE_LAYOUT does not name the layout tool")
    out = subprocess.run([tool], capture_output=True, check=True).stdout.decode("gbk")
    rects = {}
    for line in out.splitlines():
        name, *numbers = line.split()
        rects[name] = tuple(int(n) for n in numbers)
    return rects


def write_config(folder, **values):
    """config.ini beside the program, in GBK, with these settings."""
    lines = ["[系统设置]"] + [f"{k}={v}" for k, v in values.items()]
    with open(os.path.join(folder, "config.ini"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("gbk"))


def display_taken(number):
    # Servers of other network namespaces on this machine are seen only through
    # their abstract sockets, which clients try first.
    probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        probe.connect(f"\0/tmp/.X11-unix/X{number}")
        return True
    except OSError:
        return os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}")
    finally:
        probe.close()


def start_xvfb():
    """A private Xvfb on a free display: (":n", process)."""
    for number in range(200 + os.getpid() % 500, 1200):
        if display_taken(number):
            continue
        # No reset when one test's program ends: the next one could meet the server mid-reset.
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while xvfb.poll() is None and time.time() < deadline:
            if subprocess.run(["xdpyinfo", "-display", f":{number}"], capture_output=True).returncode == 0:
                return f":{number}", xvfb
            time.sleep(0.1)
        xvfb.kill()
        xvfb.wait()
    raise AssertionError("no display for Xvfb")


def start_pulse(folder):
    """The shell tests' sound server, whose only sink is a null sink, for this process and
    the programs it starts: its process id."""
    out = subprocess.run([os.path.join(HERE, "..", "pulse_server.sh"), folder], capture_output=True, text=True, timeout=60)
    if out.returncode != 0:
        raise AssertionError(f"no PulseAudio server: {out.stderr}")
    server = dict(line.split("=", 1) for line in out.stdout.splitlines())
    os.environ["PULSE_SERVER"] = server["PULSE_SERVER"]
    return int(server["PULSE_SERVER_PID"])


class Recording:
    """The null sink's monitor recorded into <folder>/<name>.raw (and .wav once stopped)."""

    def __init__(self, folder, name):
        self.path = os.path.join(folder, name + ".raw")
        with open(self.path, "wb") as raw:
            self.process = subprocess.Popen(["parec", "-d", "tolvane_e2e.monitor", "--format=s16le", "--rate=44100",
                                             "--channels=1", "--latency-msec=20"], stdout=raw, stderr=subprocess.DEVNULL)
        self.reaches(0.001)

    def reaches(self, seconds):
        """Waits until the recording is that long."""
        poll(lambda: os.path.getsize(self.path) / 2 / 44100 >= seconds, seconds + 20, f"{seconds:.1f} s of recording")

    def bursts(self, complete=True):
        """(start, length, peak, pitch) of each burst of sound; complete: settled ones only."""
        return sound_bursts.heard(self.path, complete, sound_bursts.BRIDGE_S)

    def wait_bursts(self, count, timeout):
        return poll(lambda: (lambda b: b if len(b) >= count else None)(self.bursts()), timeout,
                    lambda: f"{count} bursts of sound, heard {self.bursts(False)}")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            self.process.wait()
            subprocess.run(["sox", "-q", "-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "1", self.path,
                            self.path[:-4] + ".wav"], check=True)
        return self.bursts()


def start_accessibility_and_logind(test_class):
    """On a dbusmock test class's private buses: the accessibility bus (the private
    session bus has no service files, so it is started by hand) and logind with one
    session of this user. Sets a11y, logind and logind_obj on the class."""
    import dbus
    import dbusmock
    test_class.a11y = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                       stderr=subprocess.DEVNULL)
    test_class.wait_for_bus_object("org.a11y.Bus", "/org/a11y/bus")
    test_class.logind, test_class.logind_obj = test_class.spawn_server_template("logind", {}, stdout=subprocess.DEVNULL)
    test_class.logind_obj.AddSession("c1", "seat0", dbus.UInt32(os.getuid()), "user", True,
                                     dbus_interface=dbusmock.MOCK_IFACE)
    # As logind answers "auto": the caller's session, else the user's display session (c1).
    test_class.logind_obj.AddMethod("org.freedesktop.login1.Manager", "GetSession", "s", "o",
                                    "ret = '/org/freedesktop/login1/session/' + ('c1' if args[0] == 'auto' else args[0])",
                                    dbus_interface=dbusmock.MOCK_IFACE)


class XWindow:
    """The program's window on an X display, found by the program's process; its controls
    are clicked at their rectangles, scaled as the program scales them."""

    def __init__(self, display, program, log, scale=1):
        self.display, self.scale = display, scale
        try:
            self.id, self.origin, self.size = poll(lambda: self.find(program.pid), 30, "the Tolvane window")
        except AssertionError as e:
            state = "running" if program.poll() is None else f"ended with {program.returncode}"
            with open(log, "rb") as out:
                tail = out.read()[-2000:].decode("utf-8", "replace")
            raise AssertionError(f"{e} (display {display}, program {state}); its output:\n{tail}") from None

    def run(self, *command):
        return subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, DISPLAY=self.display))

    def windows(self, pid, *only):
        """(id, geometry) of the process's windows titled Tolvane, as xdotool gives them."""
        for window in self.run("xdotool", "search", *only, "--pid", str(pid), "--name", "^Tolvane$").stdout.split():
            geometry = self.run("xdotool", "getwindowgeometry", "--shell", window).stdout.split()
            yield window, {key: int(value) for key, value in (line.split("=") for line in geometry)}

    def find(self, pid):
        for window, geometry in self.windows(pid, "--onlyvisible"):
            if geometry["WIDTH"] > 100:  # not the program's small leader window
                # xdotool counts a window manager's frame twice; xwininfo gives the true place.
                info = self.run("xwininfo", "-id", window).stdout
                x, y = (int(line.split(":")[1]) for line in info.splitlines() if "Absolute upper-left" in line)
                return window, (x, y), (geometry["WIDTH"], geometry["HEIGHT"])
        return None

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=self.display))
        time.sleep(0.2)  # for the program to take the input in

    def centre(self, name, dx=None):
        left, top, width, height = layout()[name]
        x = left + (width // 2 if dx is None else dx)
        return self.origin[0] + x * self.scale, self.origin[1] + (top + height // 2) * self.scale

    def click(self, name, dx=None):
        """Clicks a control of the window definition; dx: that far right of its left edge."""
        x, y = self.centre(name, dx)
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def key(self, *keys):
        self.xdotool("key", "--delay", "50", *keys)

    def set_seconds(self, picker, seconds):
        # A click at the right end of a time picker's text selects its seconds.
        self.click(picker, dx=layout()[picker][2] - 40)
        self.key(*str(seconds))

    def shown(self, title):
        """Whether a window of this title (a message box's, a chooser's) is on the display."""
        return self.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$").returncode == 0


# The countdown board while a schedule runs: the time left.
REMAINING = re.compile(r"^\d+天\d+小时\d+分\d+秒$")


def application(pid):
    """The process's root in the accessibility tree, or None until it has one."""
    import pyatspi
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def descendant(root, test):
    """root's first descendant that test accepts, or None."""
    import pyatspi
    return None if root is None else pyatspi.findDescendant(root, lambda a: a is not None and test(a))


def named(root, name):
    return poll(lambda: descendant(root, lambda a: a.name == name), 10, name)


def press(accessible):
    """Clicks a control through its accessible action, as a screen reader's user does."""
    accessible.queryAction().doAction(0)
    time.sleep(0.2)  # for the program to take the click in


def controls(root, role):
    """root's controls of a role, top to bottom and left to right, in window coordinates."""
    import pyatspi
    found = []
    for a in pyatspi.findAllDescendants(root, lambda a: a is not None and a.getRole() == role):
        extents = a.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        if extents.x >= 0:
            found.append(((extents.y, extents.x), a))
    return [a for _, a in sorted(found, key=lambda f: f[0])]


def mode_radios(root):
    """The mode radios (countdown, idle, date and time): the bare indicators at the right."""
    import pyatspi
    return [a for a in controls(root, pyatspi.ROLE_RADIO_BUTTON) if not a.name]
