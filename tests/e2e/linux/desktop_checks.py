"""What the Linux end-to-end tests share: waiting for a condition with a deadline, the
assertions GTK and GLib print when the program misuses them, the controls' rectangles
from the program's own window definition, and a private X display."""
import os
import re
import socket
import subprocess
import time

# A GTK or GLib assertion that failed, on X11 or Wayland, is a fault of the program.
CRITICAL = re.compile(r"^.*-CRITICAL \*\*.*$", re.M)


def criticals(log_path):
    with open(log_path, "rb") as log:
        return CRITICAL.findall(log.read().decode("utf-8", "replace"))


def poll(condition, timeout, what):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


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
