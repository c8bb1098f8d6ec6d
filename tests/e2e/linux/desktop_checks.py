"""What the Linux end-to-end tests share: waiting for a condition with a deadline, and
the assertions GTK and GLib print when the program misuses them."""
import re
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
