#!/usr/bin/python3
"""End-to-end tests of the Linux program tolvane native on Wayland: GNOME's compositor
(mutter, headless, one virtual monitor) on private session and system buses, where
python3-dbusmock stands in for logind and for the notification server. Input comes
through the compositor's remote-desktop interface, as from a user at the machine;
controls are found and read through the accessibility tree (AT-SPI), in window
coordinates; the program has no test hooks.

Usage: wayland_e2e.py <path to tolvane> <output folder> [unittest test names...]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import dbus
import dbusmock

from desktop_checks import (REMAINING, application, controls, criticals, descendant, mode_radios, named, poll,
                            press, start_accessibility_and_logind, write_config)

TOLVANE = None
OUT = None

NOTIFICATIONS = "org.freedesktop.Notifications"
REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"
KEYSYM = {"Right": 0xFF53, "Shift": 0xFFE1, **{str(d): 0x30 + d for d in range(10)}}


class GnomeWayland(dbusmock.DBusTestCase):
    @classmethod
    def setUpClass(cls):
        cls.base = tempfile.mkdtemp(prefix="tolvane-wayland-")
        runtime = os.path.join(cls.base, "runtime")
        os.mkdir(runtime, 0o700)
        os.environ.update(XDG_RUNTIME_DIR=runtime, XDG_SESSION_TYPE="wayland", GDK_BACKEND="wayland",
                          WAYLAND_DISPLAY="tolvane-e2e", XDG_SESSION_ID="c1", LANGUAGE="C")
        os.environ.pop("DISPLAY", None)
        cls.start_session_bus()
        cls.start_system_bus()
        cls.mutter_log = open(os.path.join(OUT, "mutter.log"), "wb")
        cls.mutter = subprocess.Popen(["mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor", "1280x1024",
                                       "--wayland-display", "tolvane-e2e"], stdout=cls.mutter_log, stderr=cls.mutter_log)
        cls.wait_for_bus_object(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop", timeout=30)
        start_accessibility_and_logind(cls)
        bus = cls.get_dbus()
        desktop = bus.get_object(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop")
        cls.input = dbus.Interface(bus.get_object(REMOTE_DESKTOP, desktop.CreateSession(
            dbus_interface=REMOTE_DESKTOP)), REMOTE_DESKTOP + ".Session")
        cls.input.Start()
        # The virtual keyboard and pointer exist from their first events; windows get
        # the keyboard focus only once a keyboard exists.
        cls.input.NotifyKeyboardKeysym(dbus.UInt32(KEYSYM["Shift"]), True)
        cls.input.NotifyKeyboardKeysym(dbus.UInt32(KEYSYM["Shift"]), False)
        cls.input.NotifyPointerMotionRelative(1.0, 1.0)

    @classmethod
    def tearDownClass(cls):
        cls.input.Stop()
        for process in (cls.logind, cls.a11y, cls.mutter):
            process.terminate()
            process.wait()
        cls.mutter_log.close()
        super().tearDownClass()
        shutil.rmtree(cls.base, ignore_errors=True)

    def setUp(self):
        self.logind_obj.ClearCalls(dbus_interface=dbusmock.MOCK_IFACE)
        # A notification server of each test's own: its notices are numbered from 1.
        self.notifier, self.notifier_obj = self.spawn_server_template("notification_daemon", {},
                                                                      stdout=subprocess.DEVNULL)
        # The template takes a signed id; the interface's is unsigned.
        self.notifier_obj.AddMethod(NOTIFICATIONS, "CloseNotification", "u", "", "", dbus_interface=dbusmock.MOCK_IFACE)
        self.programs = []
        # A folder of its own, so config.ini beside the program is this test's.
        self.folder = tempfile.mkdtemp(dir=self.base)
        self.program_file = os.path.join(self.folder, "tolvane")
        shutil.copy(TOLVANE, self.program_file)

    def tearDown(self):
        for program, _ in self.programs:
            if program.poll() is None:
                program.terminate()
            program.wait(timeout=10)
        self.notifier.terminate()
        self.notifier.wait()
        for _, log in self.programs:
            self.assertEqual(criticals(log), [])

    def start(self, debug_wayland=False):
        """Starts a copy of the program and waits for its window to be the active one."""
        log = os.path.join(OUT, f"{self.id().split('.', 1)[1]}-{len(self.programs)}.log")
        env = dict(os.environ, WAYLAND_DEBUG="client") if debug_wayland else None
        with open(log, "wb") as out:
            program = subprocess.Popen([self.program_file], env=env, stdout=out, stderr=out)
        self.programs.append((program, log))
        frame = poll(lambda: self.frame(program), 20, "the Tolvane window")
        poll(lambda: self.active(frame), 10, "the new window active")
        return program, frame, log

    # The accessibility tree of one program.
    def frame(self, program):
        import pyatspi
        app = application(program.pid)
        return None if app is None else next((c for c in app if c is not None and c.getRole() == pyatspi.ROLE_FRAME), None)

    def active(self, frame):
        import pyatspi
        return frame.getState().contains(pyatspi.STATE_ACTIVE)

    def keys(self, *names):
        for name in names:
            for pressed in (True, False):
                self.input.NotifyKeyboardKeysym(dbus.UInt32(KEYSYM[name]), pressed)
            time.sleep(0.1)

    def set_seconds(self, frame, picker_text_row, seconds):
        """Types the seconds into a time picker, found by its row among the pickers showing 00:00:00."""
        import pyatspi
        pickers = [a for a in controls(frame, pyatspi.ROLE_DRAWING_AREA) if a.name == "00:00:00"]
        picker = pickers[picker_text_row]
        picker.queryComponent().grabFocus()
        time.sleep(0.2)
        self.keys("Right", "Right", *list(str(seconds)))
        poll(lambda: picker.name.endswith(f":{seconds:02d}"), 5, f"the picker at {seconds} seconds")

    def notifications(self):
        return [c[2] for c in self.notifier_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE) if c[1] == "Notify"]

    def closed(self):
        return [int(c[2][0]) for c in self.notifier_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)
                if c[1] == "CloseNotification"]

    def power_calls(self):
        return [c[1] for c in self.logind_obj.GetCalls(dbus_interface=dbusmock.MOCK_IFACE)
                if c[1] in ("PowerOff", "Reboot", "Suspend", "Hibernate")]

    def countdown_behind_another_window(self, seconds, debug_wayland=False):
        """A countdown started in the program, then another window in front of it."""
        program, frame, log = self.start(debug_wayland)
        press(mode_radios(frame)[0])
        self.set_seconds(frame, 0, seconds)
        press(named(frame, "启 动"))
        self.start()
        self.assertFalse(self.active(frame))
        return program, frame, log

    def board(self, frame):
        """The countdown board, found while it shows the time left."""
        return poll(lambda: descendant(frame, lambda a: REMAINING.match(a.name or "")), 10, "the time left on the board")

    def assert_cancelled(self, frame, board):
        """The board shows its title again and 启 动 takes a new schedule."""
        import pyatspi
        poll(lambda: board.name == "倒计时牌", 5, "the board's title back")
        self.assertTrue(named(frame, "启 动").getState().contains(pyatspi.STATE_SENSITIVE))

    def wait_notice(self, body):
        return poll(lambda: [n for n in self.notifications() if str(n[4]) == body], 15, "the notice " + body)[0]

    def emit(self, signal, signature, args):
        self.notifier_obj.EmitSignal(NOTIFICATIONS, signal, signature, args, dbus_interface=dbusmock.MOCK_IFACE)


class Wayland(GnomeWayland):
    def test_number_boxes_keep_the_text_of_the_settings(self):
        import pyatspi
        # (settings, what the boxes show, spin arrows clicked (box, +1 up / -1 down), what is saved)
        cases = (({"提示间隔": "abc"}, [" 0", "abc"], [], ['" 0"', "abc"]),
                 ({"提示开始": "5分", "提示间隔": "007"}, ["5分", "007"], [], ["5分", "007"]),
                 # The arrows wrap at the range's ends and show plain decimal; leaving a box that
                 # shows 0 empties it.
                 ({"提示开始": "1440", "提示间隔": "abc"}, ["1440", "abc"], [(0, +1), (1, -1)], ["", "3600"]))
        for values, shown, spins, saved in cases:
            with self.subTest(values=values):
                write_config(self.folder, **values)
                program, frame, _ = self.start()
                boxes = [a.queryText() for a in controls(frame, pyatspi.ROLE_TEXT)][-3:-1]
                self.assertEqual([box.getText(0, -1) for box in boxes], shown)
                # The last four unnamed buttons: the two boxes' up arrows, then their down arrows.
                arrows = [a for a in controls(frame, pyatspi.ROLE_PUSH_BUTTON) if not a.name][-4:]
                for box, direction in spins:
                    press(arrows[box + (0 if direction > 0 else 2)])
                # The title bar's close button ("Close" in the C language): the close request saves what the boxes show.
                press(named(frame, "Close"))
                self.assertEqual(program.wait(timeout=10), 0)
                with open(os.path.join(self.folder, "config.ini"), "rb") as f:
                    written = f.read().decode("gbk")
                self.assertIn(f"提示开始={saved[0]}\r\n", written)
                self.assertIn(f"提示间隔={saved[1]}\r\n", written)

    def test_last_seconds_notify_and_cancel_there(self):
        program, frame, _ = self.countdown_behind_another_window(8)
        board = self.board(frame)
        first = self.wait_notice("5秒后关机")
        self.assertEqual((str(first[0]), int(first[1]), str(first[3])), ("Tolvane", 0, "Tolvane"))
        self.assertEqual(int(first[6]["urgency"]), 2)
        self.assertEqual(list(map(str, first[5]))[2:], ["cancel", "取消"])
        width, height, _, alpha, _, channels, data = first[6]["image-data"]
        self.assertEqual((int(width), int(height), bool(alpha), int(channels)), (48, 48, True, 4))
        # Updated in place, not repeated: the next second replaces the first notice.
        second = self.wait_notice("4秒后关机")
        self.assertEqual(int(second[1]), 1)
        self.emit("ActionInvoked", "us", [dbus.UInt32(1), "cancel"])
        poll(lambda: self.closed() == [1], 5, "the notice withdrawn")
        self.assert_cancelled(frame, board)
        time.sleep(5)
        self.assertEqual(self.power_calls(), [])
        self.assertIsNone(program.poll())

    def test_the_notices_default_action_brings_the_window_with_its_token(self):
        program, frame, log = self.countdown_behind_another_window(10, debug_wayland=True)
        self.wait_notice("5秒后关机")
        self.emit("ActivationToken", "us", [dbus.UInt32(1), "tolvane-e2e-token"])
        self.emit("ActionInvoked", "us", [dbus.UInt32(1), "default"])
        # The window asks the compositor for the front with the notice's token.
        poll(lambda: re.search(r'xdg_activation_v1@\d+\.activate\("tolvane-e2e-token"', open(log, errors="replace").read()),
             5, "the activation with the notice's token")
        self.assertEqual(program.wait(timeout=15), 0)  # the action itself still comes
        self.assertEqual(self.power_calls(), ["PowerOff"])
        self.assertEqual(self.closed()[-1:], [1])

    def test_tray_item_keeps_show_window_usable_and_brings_the_window(self):
        import pyatspi
        program, frame, log = self.start(debug_wayland=True)
        bus = self.get_dbus()
        names = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        item = bus.get_object(f"org.kde.StatusNotifierItem-{program.pid}-1", "/StatusNotifierItem")
        menu = item.Get("org.kde.StatusNotifierItem", "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
        _, (_, _, children) = bus.get_object(names.GetNameOwner(f"org.kde.StatusNotifierItem-{program.pid}-1"), menu) \
            .GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface="com.canonical.dbusmenu")
        # Minimising goes unseen on Wayland, so 显示窗口 stays usable.
        shown = [props for _, props, _ in children if props.get("label") == "显示窗口"][0]
        self.assertTrue(bool(shown.get("enabled", True)))
        self.start()  # another window in front
        self.assertFalse(self.active(frame))
        item.ContextMenu(10, 10, dbus_interface="org.kde.StatusNotifierItem", timeout=5)
        # A click on the icon: the panel hands over its activation token first, and the
        # window shown asks the compositor for the front with it (the compositor here has
        # no token of its own to give, so the window is not seen active).
        item.ProvideXdgActivationToken("tolvane-e2e-tray-token", dbus_interface="org.kde.StatusNotifierItem", timeout=5)
        item.Activate(0, 0, dbus_interface="org.kde.StatusNotifierItem", timeout=5)
        poll(lambda: re.search(r'xdg_activation_v1@\d+\.activate\("tolvane-e2e-tray-token"', open(log, errors="replace").read()),
             5, "the activation with the panel's token")
        self.assertTrue(frame.getState().contains(pyatspi.STATE_SHOWING))

    def test_idle_mode_holds_while_input_comes(self):
        program, frame, _ = self.start()
        press(mode_radios(frame)[1])
        self.set_seconds(frame, 1, 5)
        press(named(frame, "启 动"))
        for i in range(16):  # 8 seconds of input
            self.input.NotifyPointerMotionRelative(1.0 - 2 * (i % 2), 0.0)
            time.sleep(0.5)
        self.assertEqual(self.power_calls(), [])
        stopped = time.time()
        self.assertEqual(program.wait(timeout=15), 0)
        waited = time.time() - stopped
        self.assertEqual(self.power_calls(), ["PowerOff"])
        self.assertGreater(waited, 3.5)
        self.assertLess(waited, 8.5)

    def answer_late(self, delay=1.5):
        """The notification server from here on: a new one that answers delay seconds late."""
        if hasattr(self, "late"):
            self.late.stop()
        else:
            self.notifier.terminate()
            self.notifier.wait()
        self.late = LateNotifications(delay)
        self.addCleanup(self.late.stop)

    def test_late_notice_replaced_in_place_while_the_tick_keeps_its_second_and_cancel_there(self):
        # Late by more than the bound on the window's answer, so a window that waited for
        # the server would be seen waiting.
        self.answer_late(3)
        program, frame, _ = self.countdown_behind_another_window(9)
        clock = descendant(frame, lambda a: re.match(r"\d+年", a.name or ""))
        board = self.board(frame)
        poll(self.late.notifies, 15, "the first notice")
        shown = list(self.late.on_screen())[0]
        # Every second, while the first answer is late: read a fifth into the second, the
        # clock shows that second, and the window answered within a second.
        checked = 0
        while checked < 3:
            time.sleep((1.2 - time.time() % 1) % 1)
            asked = time.time()
            if asked % 1 > 0.3:
                continue  # overslept: the next second
            text = clock.name
            answered = time.time()
            self.assertEqual(clock_seconds(text), time.localtime(asked).tm_sec, text)
            self.assertLess(answered - asked, 1, "the window did not answer while a notice was unanswered")
            checked += 1
        # The text that moved on while unanswered replaces the notice once its id is known.
        poll(lambda: len(self.late.notifies()) > 1, 5, "the second notice")
        self.late.emit("ActionInvoked", "(us)", (shown, "cancel"))
        poll(lambda: not self.late.on_screen(), 5, "the notice withdrawn")
        self.assert_cancelled(frame, board)
        notified = len(self.late.notifies())
        time.sleep(4)  # past the target
        self.assertEqual(self.power_calls(), [])
        self.assertIsNone(program.poll())
        notifies = self.late.notifies()
        self.assertEqual(len(notifies), notified, "a notice after the cancel")
        # One notice, its text replaced in place each time.
        self.assertEqual(self.late.peak, 1)
        self.assertEqual([replaces for replaces, _ in notifies], [0] + [shown] * (len(notifies) - 1))

    def test_late_notice_closed_by_the_server_or_the_user_and_withdrawn_at_the_end(self):
        # (what happens while the program's Notify of this number is unanswered, the power
        # action that follows, whether a new notice follows)
        cases = (("expired", 2, ["PowerOff"], True),  # comes back at the next second
                 ("dismissed", 1, ["PowerOff"], False),  # stays down for this schedule
                 # 显示窗口 closes the notice as a dismissal does, before or after telling the action.
                 ("shown, then closed", 2, ["PowerOff"], True),
                 ("closed, then shown", 2, ["PowerOff"], True),
                 ("window closed", 1, [], False))  # the end waits for the answer to withdraw it
        for event, at_notify, power, again in cases:
            with self.subTest(event=event):
                self.answer_late()
                program, frame, _ = self.countdown_behind_another_window(7)
                poll(lambda: len(self.late.notifies()) >= at_notify, 15, f"Notify {at_notify}")
                if event == "window closed":
                    press(named(frame, "Close"))
                elif event.startswith("shown"):
                    self.late.emit("ActionInvoked", "(us)", (1, "default"))
                    self.late.close(1, 2)
                else:
                    self.late.close(1, 1 if event == "expired" else 2)
                    if event.endswith("shown"):
                        self.late.emit("ActionInvoked", "(us)", (1, "default"))
                self.assertEqual(program.wait(timeout=15), 0)
                self.assertEqual(self.power_calls(), power)
                self.logind_obj.ClearCalls(dbus_interface=dbusmock.MOCK_IFACE)
                # Nothing is left on screen when the program has gone, nor was ever more than one notice.
                poll(lambda: not self.late.on_screen(), 2, "every notice withdrawn")
                self.assertEqual(self.late.peak, 1)
                after = self.late.notifies()[at_notify:]
                self.assertEqual(bool(after), again, after)


class LateNotifications:
    """A notification server that shows each notice at once but answers each Notify
    late, as one that D-Bus activation is still starting. It runs on a thread of
    its own on the private session bus, keeps the notices on screen (id -> text) until
    they are withdrawn or closed, the most ever on screen at once, and every Notify."""
    XML = ("<node><interface name='org.freedesktop.Notifications'><method name='Notify'>"
           + "".join(f"<arg type='{t}' direction='in'/>" for t in ("s", "u", "s", "s", "s", "as", "a{sv}", "i"))
           + "<arg type='u' direction='out'/></method><method name='CloseNotification'>"
           "<arg type='u' direction='in'/></method></interface></node>")
    PATH = "/org/freedesktop/Notifications"

    def __init__(self, delay):
        import threading
        from gi.repository import GLib
        self.delay, self.lock = delay, threading.Lock()
        self.shown, self.notified, self.peak, self.next_id = {}, [], 0, 1
        self.context = GLib.MainContext()
        self.loop = GLib.MainLoop(self.context)
        ready = threading.Event()
        self.thread = threading.Thread(target=self.run, args=(ready,), daemon=True)
        self.thread.start()
        if not ready.wait(10):
            raise AssertionError("the late notification server did not start")

    def run(self, ready):
        from gi.repository import Gio, GLib
        self.context.push_thread_default()
        self.bus = Gio.DBusConnection.new_for_address_sync(
            os.environ["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.bus.register_object(self.PATH, Gio.DBusNodeInfo.new_for_xml(self.XML).interfaces[0], self.call)
        # The name is free once the bus has seen the server before this one go.
        for _ in range(50):
            owned = self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       "RequestName", GLib.Variant("(su)", (NOTIFICATIONS, 4)), None,
                                       Gio.DBusCallFlags.NONE, -1, None).unpack()[0] == 1
            if owned:
                ready.set()
                break
            time.sleep(0.1)
        self.loop.run()
        self.bus.close_sync(None)

    def call(self, bus, sender, path, interface, method, parameters, invocation):
        from gi.repository import GLib
        args = parameters.unpack()
        with self.lock:
            if method == "Notify":
                replaces, body = args[1], args[4]
                self.notified.append((replaces, body))
                nid = replaces if replaces in self.shown else self.next_id
                self.next_id += nid == self.next_id
                self.shown[nid] = body
                self.peak = max(self.peak, len(self.shown))
        if method == "Notify":
            answer = GLib.timeout_source_new(int(self.delay * 1000))
            answer.set_callback(lambda *_: invocation.return_value(GLib.Variant("(u)", (nid,))))
            answer.attach(self.context)
        else:
            invocation.return_value(None)
            self.close(args[0], 3)

    def emit(self, signal, signature, args):
        from gi.repository import GLib
        self.bus.emit_signal(None, self.PATH, NOTIFICATIONS, signal, GLib.Variant(signature, args))

    def close(self, nid, reason):
        """Takes a notice off the screen for a reason of NotificationClosed: 1 expired,
        2 dismissed by the user, 3 withdrawn by CloseNotification."""
        with self.lock:
            if self.shown.pop(nid, None) is None:
                return
        self.emit("NotificationClosed", "(uu)", (nid, reason))

    def notifies(self):
        """The Notify calls: (replaces_id, text)."""
        with self.lock:
            return list(self.notified)

    def on_screen(self):
        with self.lock:
            return dict(self.shown)

    def stop(self):
        self.context.invoke_full(0, lambda *_: self.loop.quit())
        self.thread.join(10)


def clock_seconds(text):
    """The seconds of a time as the program shows it (its 秒 is left out at 0)."""
    found = re.search(r"(\d+)秒$", text)
    return int(found.group(1)) if found else 0


if __name__ == "__main__":
    TOLVANE, OUT = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(OUT, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
