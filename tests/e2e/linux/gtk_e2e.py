#!/usr/bin/python3
"""End-to-end tests of the Linux program tolvane: the real program on a private
Xvfb display, with private session and system buses on which python3-dbusmock's
logind template answers. Controls are found by their rectangles in the window
definition, clicked and typed into with xdotool, and read back through the
accessibility tree (AT-SPI) and X window geometry; the program has no test hooks.

Usage: gtk_e2e.py <path to tolvane> <output folder> [unittest test names...]
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import dbus
import dbusmock

import desktop_checks
from desktop_checks import (REMAINING, XWindow, application, criticals, descendant, layout, mode_radios, poll,
                            start_accessibility_and_logind, start_xvfb)

TOLVANE = None
OUT = None

ACTION_RADIO = {1: "单选框1", 2: "单选框2", 3: "单选框5", 4: "单选框3", 5: "单选框4"}


def given(**fixture):
    """What a test needs in place before its program starts, read by its class's setUp."""
    def mark(test):
        test.fixture = fixture
        return test
    return mark


class TolvaneDesktop(dbusmock.DBusTestCase):
    scale = 1

    @classmethod
    def setUpClass(cls):
        cls.display, cls.xvfb = start_xvfb()
        os.environ["DISPLAY"] = cls.display
        cls.start_session_bus()
        cls.start_system_bus()
        start_accessibility_and_logind(cls)

    @classmethod
    def tearDownClass(cls):
        for process in (cls.logind, cls.a11y):
            process.terminate()
            process.wait()
        cls.xvfb.terminate()
        cls.xvfb.wait()
        super().tearDownClass()

    def setUp(self, **env):
        """Starts the program with these variables added to its environment."""
        self.logind_obj.ClearCalls(dbus_interface=dbusmock.MOCK_IFACE)
        self.log = os.path.join(OUT, f"{self.id().split('.', 1)[1]}.log")
        open(self.log, "wb").close()
        self.launch(TOLVANE, **env)

    def launch(self, program, **env):
        env = {**os.environ, "XDG_SESSION_ID": "c1", "GDK_SCALE": str(self.scale), "GDK_BACKEND": "x11", **env}
        with open(self.log, "ab") as log:
            self.program = subprocess.Popen([program], env=env, stderr=log)
        self.x = XWindow(self.display, self.program, self.log, self.scale)
        self.window, self.origin, self.size = self.x.id, self.x.origin, self.x.size
        self.click, self.key, self.set_seconds = self.x.click, self.x.key, self.x.set_seconds

    def tearDown(self):
        if self.program.poll() is None:
            self.program.terminate()
        self.program.wait(timeout=10 * desktop_checks.SLOWDOWN)
        self.assertEqual(criticals(self.log), [])

    def fixture(self, name, default=None):
        return getattr(getattr(self, self._testMethodName), "fixture", {}).get(name, default)

    # The window and its controls.
    def window_size(self):
        return self.x.find(self.program.pid)[2]

    def start_countdown(self, seconds, action=1, force=True):
        self.click(ACTION_RADIO[action])
        if not force:
            self.click("选择框1")
        self.click("单选框6")
        self.set_seconds("日期框2", seconds)
        self.click("按钮1")

    def run_own_copy(self):
        """The program again, as a copy of its own whose settings file beside it no other
        test writes: that file's path."""
        self.program.terminate()
        self.program.wait(timeout=10)
        folder = tempfile.mkdtemp(dir=OUT)
        shutil.copy(TOLVANE, folder)
        self.launch(os.path.join(folder, os.path.basename(TOLVANE)))
        return os.path.join(folder, "config.ini")

    def accessible(self, name):
        return self.accessible_matching(lambda text: text == name, "accessible " + name)

    def accessible_matching(self, test, what):
        return poll(lambda: descendant(application(self.program.pid), lambda a: test(a.name or "")), 15, what)

    def stand_in(self, name, path, interface, *methods):
        """A dbusmock server of this test's own, with these (method, in, out, code)."""
        process = self.spawn_server(name, path, interface, stdout=subprocess.DEVNULL)
        self.addCleanup(process.wait)
        self.addCleanup(process.terminate)
        stand_in = self.get_dbus().get_object(name, path)
        for method, in_signature, out_signature, code in methods:
            stand_in.AddMethod(interface, method, in_signature, out_signature, code, dbus_interface=dbusmock.MOCK_IFACE)
        return stand_in

    def calls(self, stand_in, method):
        return [list(c[2]) for c in stand_in.GetCalls(dbus_interface=dbusmock.MOCK_IFACE) if c[1] == method]

    def manager_calls(self):
        return [(c[1], list(c[2])) for c in self.logind_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)
                if c[1] in ("PowerOff", "Reboot", "Suspend", "Hibernate")]

    def session_calls(self):
        session = self.get_dbus(system_bus=True).get_object("org.freedesktop.login1", "/org/freedesktop/login1/session/c1")
        return [c[1] for c in session.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)]

    def inhibitors(self, what="idle"):
        return [tuple(str(x) for x in i[:4]) for i in self.logind_obj.ListInhibitors(dbus_interface="org.freedesktop.login1.Manager")
                if str(i[0]) == what]

    def screenshot(self, name):
        # After the clock's first tick: until then it shows the layout's placeholder.
        clock = re.compile(r"^\d+年\d+月\d+日\d+时\d+分\d+秒$")
        self.accessible_matching(clock.match, "the clock's first tick")
        width, height = self.window_size()
        subprocess.run(["import", "-display", self.display, "-window", "root", "-crop",
                        f"{width}x{height}+{self.origin[0]}+{self.origin[1]}", "+repage", os.path.join(OUT, name)], check=True)


class Window(TolvaneDesktop):
    def test_layout_and_panel(self):
        self.assertEqual(self.size, (534, 441))
        for name, caption in (("标签1", "现在日期时间："), ("按钮1", "启 动")):
            extents = self.accessible(caption).queryComponent().getExtents(0)
            self.assertEqual((extents.x - self.origin[0], extents.y - self.origin[1], extents.width, extents.height),
                             layout()[name])
        self.screenshot("tolvane-gtk.png")
        self.click("选择框3")
        poll(lambda: self.window_size() == (534, 606), 5, "the expanded height")
        self.screenshot("tolvane-gtk-expanded.png")
        self.click("选择框3")
        poll(lambda: self.window_size() == (534, 441), 5, "the collapsed height")


class WindowAtScale2(TolvaneDesktop):
    scale = 2

    def test_layout_at_scale_2(self):
        self.assertEqual(self.size, (1068, 882))
        self.screenshot("tolvane-gtk-scale2.png")


class Contrast(TolvaneDesktop):
    """The sampled texts against the face the GTK theme draws: the light theme keeps the
    layout's colours exactly; under a dark and a high-contrast theme each stands out. A
    test given no theme has the desktop's settings name it, and change it while it runs."""
    # The control and how far its caption starts right of its left edge (after a check or
    # radio box's mark); the top and bottom 6 pixels are left out (标签1 reaches into the clock).
    SAMPLES = (("标签1", 0), ("选择框3", 24), ("单选框1", 24))

    def setUp(self):
        self.xsettings = None
        theme = self.fixture("theme")
        if theme is not None:
            return super().setUp(GTK_THEME=theme)
        # The theme the desktop's settings name, served as a settings daemon does.
        self.xsettings_conf = os.path.join(OUT, "xsettingsd.conf")
        self.set_desktop_theme("Adwaita")
        self.xsettings = subprocess.Popen(["xsettingsd", "-c", self.xsettings_conf], stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        super().setUp()

    def tearDown(self):
        super().tearDown()
        if self.xsettings is not None:
            self.xsettings.terminate()
            self.xsettings.wait()

    def set_desktop_theme(self, name):
        with open(self.xsettings_conf, "w") as conf:
            conf.write(f'Net/ThemeName "{name}"\n')
        if self.xsettings is not None:
            self.xsettings.send_signal(signal.SIGHUP)

    def sampled_texts(self, shot):
        sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
        from text_pixels import text_colours
        self.screenshot(shot)
        texts = {}
        for name, skip in self.SAMPLES:
            left, top, width, height = layout()[name]
            texts[name] = text_colours(os.path.join(OUT, shot), left + skip, top + 6, width - skip, height - 12)
            print(f"{name}: background {texts[name][0]}, text {texts[name][1]} ({texts[name][2]} pixels, "
                  f"contrast {texts[name][3]:.2f})", file=sys.stderr)
        return texts

    LAYOUT = {"标签1": (0, 0, 0), "选择框3": (0, 0, 0), "单选框1": (0, 0, 255)}

    def assert_readable(self, shot):
        for name, (background, ink, count, ratio) in self.sampled_texts(shot).items():
            self.assertLess(sum(background) / 3, 128, f"{name} stands on {background}, not the theme's dark face")
            self.assertGreaterEqual(count, 50, f"{name}: no text drawn")
            self.assertGreaterEqual(ratio, 3.0, f"{name}: text {ink} on {background}")

    def inks(self, shot):
        return {name: t[1] for name, t in self.sampled_texts(shot).items()}

    @given(theme="Adwaita")
    def test_light_theme_keeps_the_layouts_colours(self):
        self.assertEqual(self.inks("tolvane-gtk-light.png"), self.LAYOUT)

    @given(theme="Adwaita:dark")
    def test_dark_theme(self):
        self.assert_readable("tolvane-gtk-dark.png")

    @given(theme="HighContrastInverse")
    def test_high_contrast_inverse_theme(self):
        self.assert_readable("tolvane-gtk-high-contrast-inverse.png")

    def test_theme_switched_while_running(self):
        self.assertEqual(self.inks("tolvane-gtk-switch-light.png"), self.LAYOUT)
        self.set_desktop_theme("HighContrastInverse")
        shot = "tolvane-gtk-switch-high-contrast.png"
        poll(lambda: all(t[3] >= 3 and sum(t[0]) < 3 * 128 for t in self.sampled_texts(shot).values()), 10,
             "readable texts after the switch")
        self.assert_readable(shot)
        self.set_desktop_theme("Adwaita")
        poll(lambda: self.inks("tolvane-gtk-switch-back.png") == self.LAYOUT, 10, "the layout's colours back")


class Schedule(TolvaneDesktop):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.notifier, cls.notifier_obj = cls.spawn_server_template("notification_daemon", {}, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        cls.notifier.terminate()
        cls.notifier.wait()
        super().tearDownClass()

    def test_actions(self):
        # The radios and the force box wired to each road once: logind's manager asked to
        # act unforced and forced, and the session ended. Every action's call is the unit tests'.
        # (action, forced, logind's call; None: the session's Terminate)
        for action, force, call in ((2, False, ("Reboot", [True])), (5, True, ("Hibernate", [False])), (3, False, None)):
            with self.subTest(action=action, force=force):
                if self.program.poll() is not None:
                    self.tearDown()
                    self.setUp()
                self.notifier_obj.ClearCalls(dbus_interface=dbusmock.MOCK_IFACE)
                self.start_countdown(6, action, force)
                self.program.wait(timeout=20)  # the program closes itself after the request
                self.assertEqual(self.manager_calls(), [call] if call else [])
                if call is None:
                    self.assertIn("Terminate", self.session_calls())
                # The window came to the front in the last seconds: no notification stands in for it.
                self.assertEqual([c[1] for c in self.notifier_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)], [])

    def test_board_click_pauses_and_resumes_and_lock_is_held(self):
        self.start_countdown(59)
        # Without a desktop inhibitor, logind's idle lock: the user's own suspend is not held off.
        poll(lambda: ("idle", "Tolvane") in [i[:2] for i in self.inhibitors()], 5, "the inhibitor lock")
        self.assertEqual([i[3] for i in self.inhibitors()], ["block"])
        self.assertEqual([i for i in self.inhibitors("sleep") + self.inhibitors("sleep:idle")], [])
        self.click("标签2")
        self.accessible("计时暂停中...")
        time.sleep(0.6)  # past the double-click time: a separate click
        self.click("标签2")
        self.accessible_matching(REMAINING.match, "the countdown again")
        self.click("按钮2")
        poll(lambda: not self.inhibitors(), 5, "the lock released")

    def test_too_close_is_refused(self):
        self.click("单选框6")
        self.click("按钮1")
        poll(lambda: self.x.shown("信息："), 10, "the refusal box")
        self.accessible("关机时间设置错误！")
        self.key("Return")
        self.assertEqual(self.manager_calls(), [])
        self.assertEqual(self.program.poll(), None)

    def answer_power_off_with(self, code):
        self.logind_obj.AddMethod("org.freedesktop.login1.Manager", "PowerOff", "b", "", code,
                                  dbus_interface=dbusmock.MOCK_IFACE)
        self.addCleanup(self.logind_obj.AddMethod, "org.freedesktop.login1.Manager", "PowerOff", "b", "", "",
                        dbus_interface=dbusmock.MOCK_IFACE)

    def test_request_answered_after_30_seconds_counts_as_done(self):
        # As logind answers once the user has taken 30 s to authenticate.
        self.answer_power_off_with("time.sleep(30)")
        self.start_countdown(6, force=False)
        asked = time.time()

        def ended_without_a_box():
            self.assertFalse(self.x.shown("信息："), "a failure shown before logind answered")
            return self.program.poll() is not None
        poll(ended_without_a_box, 60, "the program ending once logind answers")
        self.assertEqual(self.program.returncode, 0)
        self.assertGreater(time.time() - asked, 29)
        self.assertEqual(self.manager_calls(), [("PowerOff", [True])])

    def test_refusal_shows_loginds_reason(self):
        self.answer_power_off_with("raise dbus.exceptions.DBusException('Access denied by the administrator', "
                                   "name='org.freedesktop.DBus.Error.AccessDenied')")
        self.start_countdown(6, force=False)
        self.accessible_matching(lambda text: "无法执行关机" in text and "Access denied by the administrator" in text,
                                 "the refusal with logind's reason")
        self.assertIsNone(self.program.poll())
        self.key("Return")
        self.assertEqual(self.program.wait(timeout=10), 0)


MUTTER_IDLE = "org.gnome.Mutter.IdleMonitor"
MUTTER_IDLE_PATH = "/org/gnome/Mutter/IdleMonitor/Core"
LOST_IDLE_BOX = "无法再读取键盘鼠标空闲时间，本次定时已取消。"


class Idle(TolvaneDesktop):
    def setUp(self):
        # The program chooses its idle source once, at start: a test given its own
        # ("notify": a Wayland compositor; "monitor": GNOME's idle monitor on the
        # session bus) has it ready first.
        self.compositor = self.monitor = None
        source = {"notify": self.start_compositor, "monitor": self.start_idle_monitor}.get(self.fixture("idle"), dict)
        super().setUp(**source())

    def tearDown(self):
        super().tearDown()
        if self.compositor is not None:
            self.compositor.stdin.close()
            self.compositor.wait(timeout=10)
            shutil.rmtree(self.runtime, ignore_errors=True)
        if self.monitor is not None and self.monitor.poll() is None:
            self.monitor.terminate()
            self.monitor.wait()

    def start_compositor(self):
        self.runtime = tempfile.mkdtemp(prefix="tolvane-idle-")
        self.compositor = subprocess.Popen([os.environ["TOLVANE_IDLE_COMPOSITOR"], "tolvane-idle"], stdin=subprocess.PIPE,
                                           stdout=subprocess.PIPE, env=dict(os.environ, XDG_RUNTIME_DIR=self.runtime))
        self.assertEqual(self.compositor.stdout.readline(), b"ready\n")
        return {"XDG_RUNTIME_DIR": self.runtime, "WAYLAND_DISPLAY": "tolvane-idle", "XDG_SESSION_TYPE": "wayland"}

    def tell(self, notices):
        """Sends the compositor's notices and returns once they are all on their way."""
        self.compositor.stdin.write(notices.encode() + b"?")
        self.compositor.stdin.flush()
        self.assertEqual(self.compositor.stdout.readline(), b"!\n")

    def start_idle_monitor(self):
        self.monitor = self.spawn_server(MUTTER_IDLE, MUTTER_IDLE_PATH, MUTTER_IDLE, stdout=subprocess.DEVNULL)
        mock = dbus.Interface(self.get_dbus().get_object(MUTTER_IDLE, MUTTER_IDLE_PATH), dbusmock.MOCK_IFACE)
        mock.AddMethod(MUTTER_IDLE, "GetIdletime", "", "t", "ret = dbus.UInt64(0)")  # the user is always at work
        return {"XDG_SESSION_TYPE": "wayland", "WAYLAND_DISPLAY": "/nonexistent/wayland-0"}

    def idle_mode_offered(self):
        import pyatspi
        return mode_radios(self.accessible("关机").getApplication())[1].getState().contains(pyatspi.STATE_SENSITIVE)

    def start_idle(self, seconds):
        self.click("单选框8")
        self.set_seconds("日期框3", seconds)
        self.click("按钮1")

    def wait_for_the_action_after(self, keep_working, seconds, stop=lambda: None):
        """Input for a while, then none: the action comes the idle time after the last input."""
        for i in range(16):  # 8 seconds of input
            keep_working(i)
            time.sleep(0.5)
        self.assertEqual(self.manager_calls(), [])
        stopped = time.time()
        stop()
        self.program.wait(timeout=seconds + 10)
        waited = time.time() - stopped
        self.assertEqual(self.manager_calls(), [("PowerOff", [False])])
        self.assertGreater(waited, seconds - 1.5)
        self.assertLess(waited, seconds + 3.5)

    def test_idle_mode_waits_for_the_input_to_stop(self):
        self.start_idle(5)
        self.wait_for_the_action_after(
            lambda i: subprocess.run(["xdotool", "mousemove_relative", "--", str(1 - 2 * (i % 2)), "0"], check=True), 5)

    @given(idle="notify")
    def test_notify_hours_of_pauses_then_an_idle_schedule_fires_on_time(self):
        # Every pause of the user while no schedule runs: idled after a second, resumed at the next input.
        for _ in range(50):
            self.tell("ir" * 100)
        self.assertTrue(self.idle_mode_offered())
        self.start_idle(5)
        # At work: the compositor tells of each pause and return; then the last pause.
        self.wait_for_the_action_after(lambda i: self.tell("ir"), 5, stop=lambda: self.tell("i"))

    @given(idle="notify")
    def test_notify_a_dropped_connection_greys_the_idle_mode(self):
        self.assertTrue(self.idle_mode_offered())
        self.tell("d")
        poll(lambda: not self.idle_mode_offered(), 5, "the idle mode greyed")

    @given(idle="monitor")
    def test_monitor_gone_ends_a_running_idle_schedule_with_a_box(self):
        self.start_idle(5)
        poll(lambda: self.inhibitors(), 5, "the schedule running")
        time.sleep(6)  # the monitor says the user is at work: the target moves on
        self.assertEqual(self.manager_calls(), [])
        self.monitor.terminate()
        self.monitor.wait()
        self.accessible(LOST_IDLE_BOX)
        poll(lambda: not self.inhibitors(), 5, "the schedule cancelled")
        self.assertFalse(self.idle_mode_offered())
        self.assertEqual(self.manager_calls(), [])


WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
DBUSMENU = "com.canonical.dbusmenu"
WATCHER_TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "status_watcher_template.py")
PORTAL = "org.freedesktop.portal.Desktop"


class Tray(TolvaneDesktop):
    """The notification-area item read and driven over D-Bus as a panel would: the test
    owns the StatusNotifierWatcher name (unless it is given watcher=None; else the watcher
    template's parameters: no host registered, items refused), a test given system_tray
    has the older panel that embeds X windows too, and openbox is the window manager that
    minimises."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        poll(lambda: "window id" in subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
                                                   text=True).stdout, 10, "the window manager")

    @classmethod
    def tearDownClass(cls):
        cls.wm.terminate()
        cls.wm.wait()
        super().tearDownClass()

    def setUp(self):
        self.watcher = self.system_tray = None
        if self.fixture("system_tray"):
            self.system_tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "left", "--width", "100",
                                                 "--widthtype", "pixel", "--height", "24"],
                                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        watcher = self.fixture("watcher", {})
        if watcher is not None:
            self.watcher, self.watcher_obj = self.start_watcher(**watcher)
        super().setUp()
        self.item = self.find_item()

    def tearDown(self):
        try:
            super().tearDown()
        finally:
            for process in (self.watcher, self.system_tray):
                if process is not None and process.poll() is None:
                    process.terminate()
                    process.wait()

    def start_watcher(self, **parameters):
        """A watcher that has its methods before it answers anything, as a real one does;
        its log tells what it was asked."""
        self.watcher_log = os.path.join(OUT, f"{self.id().split('.', 1)[1]}.watcher.log")
        with open(self.watcher_log, "wb") as log:
            process = subprocess.Popen([sys.executable, "-m", "dbusmock", "--session", "--template", WATCHER_TEMPLATE,
                                        "--parameters", json.dumps(parameters)], stdout=log)
        names = self.get_dbus().get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        poll(lambda: names.NameHasOwner(WATCHER, dbus_interface="org.freedesktop.DBus"), 10, "the watcher")
        return process, self.get_dbus().get_object(WATCHER, "/StatusNotifierWatcher")

    def settled(self):
        """Returns once the program has the watcher's answers to its registration and to its
        read of the host: the watcher answers calls in turn, and so does the program."""
        poll(lambda: "IsStatusNotifierHostRegistered" in open(self.watcher_log, encoding="utf-8").read(), 10,
             "the host read")
        self.watcher_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)
        self.item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)

    def find_item(self):
        bus = self.get_dbus()
        names = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        def ours():
            for name in names.ListNames(dbus_interface="org.freedesktop.DBus"):
                if name.startswith(":") and names.GetConnectionUnixProcessID(name, dbus_interface="org.freedesktop.DBus") == self.program.pid:
                    try:
                        item = bus.get_object(name, "/StatusNotifierItem", introspect=False)
                        # The accessibility bridge has a connection of its own, which answers nothing.
                        item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE, timeout=2)
                        return item
                    except dbus.exceptions.DBusException:
                        pass
            return None
        item = poll(ours, 15, "the notification item")
        if self.watcher is not None:
            registered = poll(lambda: [c[2] for c in self.watcher_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)
                                       if c[1] == "RegisterStatusNotifierItem"], 10, "the item registered")
            self.assertEqual(str(registered[0][0]), f"org.kde.StatusNotifierItem-{self.program.pid}-1")
        return item

    def menu(self):
        path = self.item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
        return self.get_dbus().get_object(self.item.bus_name, path, introspect=False)

    def menu_items(self):
        """(caption, enabled) per visible item, "-" for a separator; and the ids by caption."""
        _, (_, _, children) = self.menu().GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=DBUSMENU)
        items, ids = [], {}
        for child_id, props, _ in children:
            if not props.get("visible", True):
                continue
            if props.get("type") == "separator":
                items.append(("-",))
                continue
            items.append((str(props["label"]), bool(props.get("enabled", True))))
            ids[str(props["label"])] = child_id
        return items, ids

    def menu_click(self, caption):
        _, ids = self.menu_items()
        self.menu().Event(dbus.Int32(ids[caption]), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0), dbus_interface=DBUSMENU)

    def enabled(self, caption):
        return dict((i[0], i[1]) for i in self.menu_items()[0] if len(i) == 2)[caption]

    def wm_state(self):
        """Normal, Iconic, or None for a window withdrawn (hidden)."""
        out = subprocess.run(["xprop", "-id", self.window, "WM_STATE"], capture_output=True, text=True).stdout
        for state in ("Normal", "Iconic", "Withdrawn"):
            if "window state: " + state in out:
                return None if state == "Withdrawn" else state
        return None

    def minimise(self):
        subprocess.run(["xdotool", "windowminimize", self.window], check=True)

    def test_menu_states_show_window_and_cancel(self):
        self.assertEqual(self.menu_items()[0], [("显示窗口", False), ("-",), ("立即执行", True), ("取消执行", False), ("-",),
                                                ("退出程序", True)])
        # The icon is the program's own, drawn at the sizes panels use, opaque at its centre.
        pixmaps = self.item.Get(ITEM, "IconPixmap", dbus_interface=dbus.PROPERTIES_IFACE)
        self.assertEqual([(int(w), int(h), len(data)) for w, h, data in pixmaps],
                         [(s, s, s * s * 4) for s in (16, 22, 24, 32, 48)])
        for size, _, data in pixmaps:
            centre = (size // 2 * size + size // 2) * 4
            self.assertEqual(data[centre], 255, size)
        self.assertEqual(str(self.item.Get(ITEM, "ToolTip", dbus_interface=dbus.PROPERTIES_IFACE)[2]), "Tolvane")

        self.start_countdown(59)
        poll(lambda: self.enabled("取消执行"), 5, "取消执行 enabled while a schedule runs")
        self.menu_click("取消执行")
        poll(lambda: not self.enabled("取消执行") and not self.inhibitors(), 5, "the schedule cancelled")

        self.minimise()
        poll(lambda: self.wm_state() is None and self.enabled("显示窗口"), 5, "the window hidden in the tray")
        self.item.Activate(0, 0, dbus_interface=ITEM)  # a left click on the icon
        poll(lambda: self.wm_state() == "Normal" and not self.enabled("显示窗口"), 5, "the window shown by the item")
        self.minimise()
        poll(lambda: self.wm_state() is None, 5, "the window hidden again")
        self.item.SecondaryActivate(0, 0, dbus_interface=ITEM)  # the middle button
        poll(lambda: self.wm_state() == "Normal", 5, "the window shown by the middle button")
        self.minimise()
        poll(lambda: self.enabled("显示窗口"), 5, "the window hidden again")
        self.menu_click("显示窗口")
        poll(lambda: self.wm_state() == "Normal" and not self.enabled("显示窗口"), 5, "the window shown by the menu")

        # The panel going away gives a hidden window back: it must never be lost.
        self.minimise()
        poll(lambda: self.wm_state() is None, 5, "the window hidden")
        self.watcher.terminate()
        self.watcher.wait()
        poll(lambda: self.wm_state() == "Normal", 5, "the window back without a panel")

    def test_item_registers_again_with_a_new_panel(self):
        self.watcher.terminate()
        self.watcher.wait()
        self.watcher, self.watcher_obj = self.start_watcher()
        self.find_item()  # registered with the new panel
        self.settled()
        self.minimise()
        poll(lambda: self.wm_state() is None, 5, "the window hidden in the new panel")

    def test_context_menu_opens_the_popup(self):
        import pyatspi
        def popup_item():
            return descendant(application(self.program.pid),
                              lambda a: a.name == "退出程序" and a.getState().contains(pyatspi.STATE_SHOWING))
        self.item.ContextMenu(100, 100, dbus_interface=ITEM)
        poll(popup_item, 10, "the popup menu")
        self.key("Escape")
        poll(lambda: not popup_item(), 5, "the popup closed")
        self.item.Activate(0, 0, dbus_interface=ITEM, timeout=5)  # the program answers again

    def test_execute_now_asks_first_and_quit_ends(self):
        box = lambda: self.x.shown("请确认")
        self.menu_click("立即执行")
        poll(box, 10, "the confirmation")
        self.key("Escape")
        poll(lambda: not box(), 5, "the confirmation closed")
        self.assertEqual(self.manager_calls(), [])
        self.menu_click("立即执行")
        poll(box, 10, "the confirmation")
        self.key("Return")
        self.assertEqual(self.program.wait(timeout=10), 0)
        self.assertEqual(self.manager_calls(), [("PowerOff", [False])])

    def test_quit_cancels_and_ends(self):
        self.start_countdown(59)
        poll(lambda: self.inhibitors(), 5, "the schedule running")
        self.menu_click("退出程序")
        self.assertEqual(self.program.wait(timeout=10), 0)
        self.assertEqual(self.manager_calls(), [])

    def system_tray_takes_the_window(self):
        def tray_icon():
            for _, g in self.x.windows(self.program.pid):
                # Inside the panel, at its top left corner: not the program's 10-pixel leader window.
                if 10 < g["WIDTH"] < 100 and g["X"] < 100 and g["Y"] < 24:
                    return g["X"] + g["WIDTH"] // 2, g["Y"] + g["HEIGHT"] // 2
            return None
        x, y = poll(tray_icon, 10, "the icon in the system tray")
        self.minimise()
        poll(lambda: self.wm_state() is None and self.enabled("显示窗口"), 5, "the window hidden in the tray")
        self.x.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")
        poll(lambda: self.wm_state() == "Normal" and not self.enabled("显示窗口"), 5, "the window shown by a click")

    @given(system_tray=True, watcher=None)
    def test_system_tray_without_watcher_takes_the_window(self):
        self.system_tray_takes_the_window()

    @given(watcher=None)
    def test_minimise_without_watcher_keeps_the_window(self):
        self.minimised_in_place()

    def minimised_in_place(self):
        """The window minimised as any other, not withdrawn: there is nothing to bring it back from."""
        self.minimise()
        poll(lambda: self.wm_state() == "Iconic", 5, "the window minimised")
        # A withdraw would come as the program takes the minimise in: within the 5 s the
        # tests of hiding give it, none may come.
        with self.assertRaises(AssertionError, msg="the window left its minimised state"):
            poll(lambda: self.wm_state() != "Iconic" or self.enabled("显示窗口"), 5, "a withdraw")
        subprocess.run(["xdotool", "windowactivate", self.window], check=True)
        poll(lambda: self.wm_state() == "Normal", 5, "the window restored")

    @given(watcher={"host": False})
    def test_watcher_without_host_until_one_comes_and_goes(self):
        self.settled()
        self.minimised_in_place()
        self.watcher_obj.RegisterStatusNotifierHost("org.kde.StatusNotifierHost-1", dbus_interface=WATCHER)
        self.item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)  # answered after the host's signal is taken
        self.minimise()
        poll(lambda: self.wm_state() is None and self.enabled("显示窗口"), 5, "the window hidden in the panel")
        # The host leaving gives the hidden window back, and minimising keeps it reachable.
        self.watcher_obj.UnregisterStatusNotifierHost("org.kde.StatusNotifierHost-1", dbus_interface=WATCHER)
        poll(lambda: self.wm_state() == "Normal", 5, "the window back when the host went")
        self.minimised_in_place()

    @given(watcher={"refuse": True})
    def test_refused_item_keeps_the_window(self):
        self.settled()
        self.minimised_in_place()

    @given(system_tray=True, watcher={"host": False})
    def test_system_tray_with_watcher_without_host_takes_the_window(self):
        self.system_tray_takes_the_window()


class SessionEnd(TolvaneDesktop):
    """The desktop ending the session as logind announces a shutdown (GNOME's session
    manager asking its clients is session_managers_e2e.py's, for real), and the
    inhibitors of GNOME's session manager and the portal, as stand-ins answering late.
    The close request shows as the schedule cancelled and the program ending with code 0."""
    def setUp(self):
        if self.fixture("manager") == "gnome":
            self.manager = self.stand_in("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager")
        if self.fixture("manager") == "portal":
            self.manager = self.stand_in(PORTAL, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit")
        super().setUp()

    def test_logind_shutdown(self):
        poll(lambda: self.inhibitors("shutdown"), 10, "the delay lock")
        self.assertEqual(self.inhibitors("shutdown")[0][3], "delay")
        self.start_countdown(59)
        poll(lambda: self.inhibitors(), 5, "the schedule running")
        self.logind_obj.EmitSignal("org.freedesktop.login1.Manager", "PrepareForShutdown", "b", [True],
                                   dbus_interface=dbusmock.MOCK_IFACE)
        self.assertEqual(self.program.wait(timeout=10), 0)
        self.assertEqual(self.manager_calls(), [])

    @given(manager="gnome")
    def test_gnome_inhibitor_holds_off_automatic_suspend_only(self):
        manager = self.manager
        # Each answer comes a second late, with a cookie of its own.
        manager.AddMethod("org.gnome.SessionManager", "Inhibit", "susu", "u",
                          "time.sleep(1); self.cookie = getattr(self, 'cookie', 0) + 1; ret = dbus.UInt32(self.cookie)")
        manager.AddMethod("org.gnome.SessionManager", "Uninhibit", "u", "", "")
        # Cancelled before the answer: the late lock is given back at once.
        self.start_countdown(59)
        self.click("按钮2")
        poll(lambda: self.calls(manager, "Uninhibit") == [[1]], 10, "the late lock given back")
        self.assertEqual(self.calls(manager, "Inhibit")[0][3], 4)  # suspend only: the screen still locks
        # Answered while running: kept until the schedule ends.
        self.start_countdown(59)
        poll(lambda: len(self.calls(manager, "Inhibit")) == 2, 10, "the second lock")
        self.assertEqual(self.calls(manager, "Uninhibit"), [[1]])
        self.assertEqual(self.inhibitors(), [])  # logind's own lock is not taken as well
        self.assertEqual(self.inhibitors("sleep"), [])
        self.click("按钮2")
        poll(lambda: self.calls(manager, "Uninhibit") == [[1], [2]], 10, "the lock released on cancel")

    @given(manager="portal")
    def test_portal_inhibitor_where_there_is_no_session_manager(self):
        portal = self.manager
        request = "/org/freedesktop/portal/desktop/request/1/t"
        portal.AddMethod("org.freedesktop.portal.Inhibit", "Inhibit", "sua{sv}", "o", f"ret = dbus.ObjectPath('{request}')")
        portal.AddObject(request, "org.freedesktop.portal.Request", dbus.Dictionary({}, signature="sv"),
                         [("Close", "", "", "")])
        self.start_countdown(59)
        window, flags, options = poll(lambda: self.calls(portal, "Inhibit"), 10, "the portal's lock")[0]
        self.assertEqual(flags, 4)
        self.assertIn("reason", options)
        self.assertEqual(self.inhibitors(), [])
        closed = self.get_dbus().get_object(PORTAL, request)
        self.click("按钮2")
        poll(lambda: self.calls(closed, "Close") == [[]], 10, "the portal's lock closed on cancel")


class SessionManagers(TolvaneDesktop):
    """KDE's session and power managers, not run for real (session_managers_e2e.py runs
    Xfce's, GNOME's, MATE's and Cinnamon's): stand-ins of dbusmock with the methods the
    test needs."""
    def setUp(self):
        super().setUp(XDG_CURRENT_DESKTOP=self.fixture("desktop", ""))

    @given(desktop="KDE")
    def test_kde_logs_off_unforced(self):
        self.stand_in("org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface")
        kde = self.stand_in("org.kde.Shutdown", "/Shutdown", "org.kde.Shutdown", ("logout", "", "", ""))
        self.start_countdown(6, action=3, force=False)
        self.assertEqual(self.program.wait(timeout=20), 0)
        self.assertEqual(self.calls(kde, "logout"), [[]])
        self.assertNotIn("Terminate", self.session_calls())

    @given(desktop="KDE")
    def test_power_manager_holds_off_automatic_suspend(self):
        manager = self.stand_in("org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                                "org.freedesktop.PowerManagement.Inhibit", ("Inhibit", "ss", "u", "ret = dbus.UInt32(7)"),
                                ("UnInhibit", "u", "", ""))
        self.start_countdown(59)
        application, reason = poll(lambda: self.calls(manager, "Inhibit"), 10, "the power manager's lock")[0]
        self.assertEqual((application, reason), ("Tolvane", "等待定时的电源操作"))
        self.assertEqual(self.inhibitors(), [])
        self.click("按钮2")
        poll(lambda: self.calls(manager, "UnInhibit") == [[7]], 10, "the lock released on cancel")


if __name__ == "__main__":
    TOLVANE, OUT = sys.argv[1], sys.argv[2]
    os.makedirs(OUT, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
