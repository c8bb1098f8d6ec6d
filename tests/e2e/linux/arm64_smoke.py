#!/usr/bin/python3
"""The arm64 Debian package as a user of an arm64 machine meets it, on this machine
through qemu-user: the package unpacked, its /usr/bin/tolvane run by qemu-aarch64-static
against the machine's :arm64 libraries, on a private Xvfb with python3-dbusmock's logind
(the desktop tests' own set-up). The window appears, and a short countdown ends in
logind's PowerOff.

Usage: arm64_smoke.py <tolvane_<version>_arm64.deb> <output folder>
"""
import os
import shutil
import subprocess
import sys
import unittest

import desktop_checks
import gtk_e2e

EMULATOR = "qemu-aarch64-static"
PIXBUF = "/usr/lib/aarch64-linux-gnu/gdk-pixbuf-2.0"


def image_loaders(out):
    """The arm64 image loaders' list, which dpkg could not write on this machine (its
    trigger runs an arm64 program): made under qemu, as on an arm64 machine. Without it
    GTK's theme draws no check marks."""
    listing = subprocess.run([EMULATOR, os.path.join(PIXBUF, "gdk-pixbuf-query-loaders")], capture_output=True,
                             check=True).stdout
    path = os.path.join(out, "loaders.cache")
    with open(path, "wb") as cache:
        cache.write(listing)
    return path


def unpack(deb, out):
    """The package's files under out/root and a launcher that starts its program
    emulated: the path the tests run."""
    root = os.path.join(out, "root")
    shutil.rmtree(root, ignore_errors=True)
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    program = os.path.join(root, "usr", "bin", "tolvane")
    launcher = os.path.join(out, "tolvane-arm64")
    with open(launcher, "w") as script:
        # exec: the window's process is the launcher's, as the tests find it by its id.
        script.write(f'#!/bin/sh\nexec {EMULATOR} "{program}" "$@"\n')
    os.chmod(launcher, 0o755)
    return launcher


class Arm64Package(gtk_e2e.TolvaneDesktop):
    def test_window_then_countdown_reaches_logind(self):
        emulator = shutil.which(EMULATOR)
        self.assertEqual(os.path.realpath(f"/proc/{self.program.pid}/exe"), os.path.realpath(emulator))
        self.screenshot("tolvane-arm64.png")
        self.start_countdown(6)
        self.program.wait(timeout=20 * desktop_checks.SLOWDOWN)  # the program closes itself after the request
        self.assertEqual(self.program.returncode, 0)
        self.assertEqual(self.manager_calls(), [("PowerOff", [False])])


if __name__ == "__main__":
    deb, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    gtk_e2e.OUT = out
    gtk_e2e.TOLVANE = unpack(deb, out)
    # Every deadline of the shared checks: qemu-user runs the program some times slower.
    desktop_checks.SLOWDOWN = 5
    os.environ["GDK_PIXBUF_MODULE_FILE"] = image_loaders(out)
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
