#!/usr/bin/python3
"""The desktops' own session and power managers, run for real: each class starts one
(Debian's package) on its own Xvfb display with openbox, a private session bus and the
logind stand-in on a private system bus, so nothing really powers off. An unforced
action must reach the manager and the session end with the manager's own call to
logind; a client that objects must stop it; keep-awake must leave the screen saver's
timeout as the user set it. A manager that ends its session is started afresh only
for the next row that needs one running; the other rows share it.

Usage: session_managers_e2e.py <path to tolvane> <output folder> [unittest test names...]
       session_managers_e2e.py --objecting-client <reason>   (the test's own client)
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

import gtk_e2e
from desktop_checks import REMAINING, layout, poll
from gtk_e2e import ACTION_RADIO, TolvaneDesktop

GNOME_NAME, GNOME_PATH = "org.gnome.SessionManager", "/org/gnome/SessionManager"
XFCE_NAME, XFCE_PATH = "org.xfce.SessionManager", "/org/xfce/SessionManager"
LXQT_NAME, LXQT_PATH = "org.lxqt.session", "/LXQtSession"
DIALOG, DIALOG_PATH = "org.gnome.SessionManager.EndSessionDialog", "/org/gnome/SessionManager/EndSessionDialog"
REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"
LOGIND = "org.freedesktop.login1.Manager"
# Each action and logind's call the manager makes to end the session (log off: none).
LOGIND_CALL = {1: ("PowerOff", [True]), 2: ("Reboot", [True]), 3: None}


def objecting_client(reason):
    """Registers with the GNOME-style session manager and refuses every end of the
    session with this reason, as a program with unsaved work does."""
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    path = bus.get_object(GNOME_NAME, GNOME_PATH).RegisterClient("tolvane-objector", "",
                                                                  dbus_interface=GNOME_NAME)
    client = dbus.Interface(bus.get_object(GNOME_NAME, path), GNOME_NAME + ".ClientPrivate")
    client.connect_to_signal("QueryEndSession", lambda flags: client.EndSessionResponse(False, reason))
    client.connect_to_signal("EndSession", lambda flags: client.EndSessionResponse(True, ""))
    client.connect_to_signal("Stop", lambda: loop.quit())
    loop = GLib.MainLoop()
    print("registered", flush=True)
    loop.run()


class RealManager(TolvaneDesktop):
    desktop = ""
    command = []
    ended = dict(LOGIND_CALL)  # the unforced actions whose end this manager reaches on its own

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.home = tempfile.mkdtemp(prefix="tolvane-session-")
        for folder in ("config", "data", "cache", "config-dirs"):
            os.makedirs(os.path.join(cls.home, folder))
        os.environ.update(XDG_CONFIG_HOME=os.path.join(cls.home, "config"),
                          XDG_DATA_HOME=os.path.join(cls.home, "data"),
                          XDG_CACHE_HOME=os.path.join(cls.home, "cache"), XDG_CURRENT_DESKTOP=cls.desktop)
        cls.prepare()
        cls.window_manager = subprocess.Popen(["openbox", "--sm-disable"], stderr=subprocess.DEVNULL)
        cls.manager = None
        cls.starts = 0

    @classmethod
    def tearDownClass(cls):
        cls.stop_manager()
        cls.window_manager.terminate()
        cls.window_manager.wait()
        shutil.rmtree(cls.home, ignore_errors=True)
        super().tearDownClass()

    @classmethod
    def prepare(cls):
        """The manager's own files in the test's private folders."""

    @classmethod
    def environment(cls):
        return os.environ

    @classmethod
    def stop_manager(cls):
        """Ends the manager and whatever it started (its settings daemons): a session
        of the test's own, with nothing to save."""
        if cls.manager is not None:
            subprocess.run(["pkill", "-KILL", "-s", str(cls.manager.pid)])
            cls.manager.wait()

    def session(self):
        """The manager, running and past its start-up; started afresh once it has ended."""
        cls = type(self)
        if cls.manager is None or cls.manager.poll() is not None:
            cls.stop_manager()
            cls.starts += 1
            log = open(os.path.join(gtk_e2e.OUT, f"{cls.__name__}-manager-{cls.starts}.log"), "wb")
            cls.manager = subprocess.Popen(cls.command, stdout=log, stderr=log, env=cls.environment(),
                                           start_new_session=True)
            log.close()
            poll(lambda: self.ready() or cls.manager.poll() is not None, 60, f"{cls.desktop}'s session manager")
            self.assertIsNone(cls.manager.poll(), "the session manager ended while starting")
        return cls.manager

    def ready(self):
        raise NotImplementedError

    def execute_now(self, action, force=False):
        """The action at once (立即执行), forced or not."""
        self.click(ACTION_RADIO[action])
        if not force:
            self.click("选择框1")
        self.click("选择框2")
        self.click("按钮1")

    def assert_session_ended_by_the_manager(self, action):
        """The program went as after any accepted request, and the manager ended the
        session itself: it left its running state (some wait there for the system to go
        down, others leave) and made logind's call; the program's own would be a second
        one, or the only one with the session still running."""
        self.assertEqual(self.program.wait(timeout=20), 0)
        manager = type(self).manager
        try:
            # The manager first waits for its clients' answers, within its own limits,
            # which a loaded machine can reach.
            poll(lambda: manager.poll() is not None or not self.ready(), 60, "the session ending")
            if manager.poll() is not None:
                self.assertEqual(manager.returncode, 0)
            call = self.ended[action]
            if call:
                poll(lambda: self.manager_calls(), 60, "logind's call")
            time.sleep(0.5)  # a second call would be on its way by now
            calls = self.manager_calls()
            if call:  # Cinnamon asks again as its clients leave
                self.assertEqual([c for c in calls if c != call], [])
            else:
                self.assertEqual(calls, [])
            self.assertNotIn("Terminate", self.session_calls())
        finally:
            type(self).stop_manager()  # the next row needs one that has not been asked

    def test_unforced_actions_end_the_session_through_the_manager(self):
        for action in self.ended:
            with self.subTest(action=action):
                if self.program.poll() is not None:
                    self.tearDown()
                    self.setUp()
                self.session()
                self.logind_obj.ClearCalls(dbus_interface=dbusmock.MOCK_IFACE)
                self.execute_now(action)
                self.assert_session_ended_by_the_manager(action)

    def setUp(self):
        self.session()
        super().setUp()


class GnomeFamily(RealManager):
    """gnome-session and the two that grew from it: one client protocol, so one
    objecting client for all three."""
    def ready(self):
        try:
            manager = self.get_dbus().get_object(GNOME_NAME, GNOME_PATH)
            return bool(manager.IsSessionRunning(dbus_interface=GNOME_NAME))
        except dbus.exceptions.DBusException:
            return False

    @classmethod
    def environment(cls):
        # No autostart of the machine's own (other desktops' daemons, which would be
        # slow to answer the manager and so object): only the session's components.
        return dict(os.environ, XDG_CONFIG_DIRS=os.path.join(cls.home, "config-dirs"))

    @classmethod
    def prepare(cls):
        # The session the command names: one component that does nothing (the managers
        # want one; the window manager is the test's own).
        program = os.path.basename(cls.command[0]).replace("-binary", "")
        group = "Cinnamon Session" if program == "cinnamon-session" else "GNOME Session"
        write(os.path.join(cls.home, "config", program, "sessions", "tolvane-test.session"),
              f"[{group}]\nName=Tolvane test\nRequiredComponents=tolvane-idle;\n")
        write(os.path.join(cls.home, "data", "applications", "tolvane-idle.desktop"),
              "[Desktop Entry]\nType=Application\nName=Idle\nExec=sleep 600\n")

    def objector(self, reason):
        client = subprocess.Popen([sys.executable, "-W", "ignore", os.path.abspath(__file__), "--objecting-client",
                                   reason], stdout=subprocess.PIPE)
        self.addCleanup(client.wait)
        self.addCleanup(client.terminate)
        self.assertEqual(client.stdout.readline(), b"registered\n")
        return client


class Mate(GnomeFamily):
    desktop = "MATE"
    command = ["mate-session"]

    def test_objecting_client_stops_the_shut_down(self):
        self.objector("Unsaved work")
        self.execute_now(1)
        # RequestShutdown is answered before the programs are asked: the program goes
        # as after any accepted request; the session stays, with MATE's own dialog.
        self.assertEqual(self.program.wait(timeout=20), 0)
        time.sleep(3)  # the programs' time to answer, and then some
        self.assertIsNone(type(self).manager.poll())
        self.assertEqual(self.manager_calls(), [])
        # While its dialog waits for the user, MATE refuses another request: the program
        # shows the refusal with MATE's reason, and goes as after any refusal once read.
        self.tearDown()
        self.setUp()
        self.execute_now(1)
        self.accessible_matching(lambda text: "无法执行关机" in text and "Running phase" in text,
                                 "the refusal with the session manager's reason")
        self.assertIsNone(self.program.poll())
        subprocess.run(["xdotool", "search", "--name", "^信息：$", "windowactivate", "--sync"])
        self.key("Return")
        self.assertEqual(self.program.wait(timeout=10), 0)
        self.assertEqual(self.manager_calls(), [])
        type(self).stop_manager()  # the next row starts afresh


class Cinnamon(GnomeFamily):
    desktop = "X-Cinnamon"
    command = ["cinnamon-session", "--session=tolvane-test"]

    @classmethod
    def prepare(cls):
        super().prepare()
        # The one setting it reads of the Cinnamon shell's, which this test does not install.
        schemas = os.path.join(cls.home, "schemas")
        write(os.path.join(schemas, "org.cinnamon.sounds.gschema.xml"),
              '<schemalist><schema id="org.cinnamon.sounds" path="/org/cinnamon/sounds/">'
              '<key name="logout-enabled" type="b"><default>false</default></key>'
              '<key name="logout-file" type="s"><default>""</default></key></schema></schemalist>')
        subprocess.run(["glib-compile-schemas", schemas], check=True)

    @classmethod
    def environment(cls):
        return dict(super().environment(), GSETTINGS_SCHEMA_DIR=os.path.join(cls.home, "schemas"))



class Gnome(GnomeFamily):
    """gnome-session with the GNOME shell, headless beside the test's display: Shutdown and
    Reboot open the shell's end-session dialog, answered with the keys a user presses
    (Tab to the action's button and Return, or Esc); the shell stays across sessions."""
    desktop = "GNOME"
    command = ["/usr/libexec/gnome-session-binary", "--builtin", "--disable-acceleration-check",
               "--session=tolvane-test"]
    KEYSYM = {"Shift": 0xFFE1, "Tab": 0xFF09, "Return": 0xFF0D, "Escape": 0xFF1B}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.shell = cls.input = cls.monitor = None
        try:
            cls.start_shell()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start_shell(cls):
        # gnome-session holds a delay lock and asks logind itself, then ends the session
        # once logind announces the power off, as logind does before it acts.
        for method in ("PowerOff", "Reboot"):
            cls.logind_obj.AddMethod(LOGIND, method, "b", "", f"self.EmitSignal('{LOGIND}', 'PrepareForShutdown', 'b', [True])",
                                     dbus_interface=dbusmock.MOCK_IFACE)
        runtime = os.path.join(cls.home, "runtime")
        os.mkdir(runtime, 0o700)
        # Not on the accessibility bus: a session's end takes that bus's registry along.
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, XDG_SESSION_TYPE="wayland", XDG_SESSION_ID="c1", NO_AT_BRIDGE="1")
        env.pop("DISPLAY")
        with open(os.path.join(gtk_e2e.OUT, "Gnome-shell.log"), "wb") as log:
            cls.shell = subprocess.Popen(["gnome-shell", "--headless", "--wayland", "--no-x11", "--virtual-monitor",
                                          "1280x800", "--wayland-display", "tolvane-shell"], stdout=log, stderr=log, env=env)
        cls.wait_for_bus_object("org.gnome.Shell", DIALOG_PATH, timeout=60)
        cls.wait_for_bus_object(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop", timeout=60)
        bus = cls.get_dbus()
        desktop = bus.get_object(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop")
        cls.input = dbus.Interface(bus.get_object(REMOTE_DESKTOP, desktop.CreateSession(
            dbus_interface=REMOTE_DESKTOP)), REMOTE_DESKTOP + ".Session")
        cls.input.Start()
        cls.press("Shift")  # the virtual keyboard exists from its first key
        # The dialog's calls and signals, and the shell's answers, as the bus carries them.
        owner = bus.get_name_owner("org.gnome.Shell")
        cls.bus_log = os.path.join(gtk_e2e.OUT, "Gnome-dialog-bus.log")
        with open(cls.bus_log, "wb") as log:
            cls.monitor = subprocess.Popen(["dbus-monitor", "--session", f"interface='{DIALOG}'",
                                            f"type='method_return',sender='{owner}'"], stdout=log)
        time.sleep(1)  # the monitor's rules in place

    @classmethod
    def tearDownClass(cls):
        if cls.input is not None and cls.shell.poll() is None:
            cls.input.Stop()
        for process in (cls.monitor, cls.shell):
            if process is not None:
                process.terminate()
                process.wait()
        super().tearDownClass()

    @classmethod
    def press(cls, *keys):
        for key in keys:
            for pressed in (True, False):
                cls.input.NotifyKeyboardKeysym(dbus.UInt32(cls.KEYSYM[key]), pressed)
            time.sleep(0.2)

    def dialog(self):
        """The dialog's calls and signals so far, each once it is done: Open counts once
        the shell has answered it, that is once the dialog is up."""
        with open(self.bus_log, errors="replace") as log:
            text = log.read()
        answered = set(re.findall(r"^method return .* reply_serial=(\d+)", text, re.M))
        done = []
        for kind, serial, member in re.findall(r"^(method call|signal) .* serial=(\d+) .*member=(\w+)", text, re.M):
            if kind == "signal" or serial in answered:
                done.append(member)
        return done

    def execute_now(self, action, force=False, keys=("Tab", "Return")):
        """Shutdown and Reboot wait for the shell's dialog: these keys answer it."""
        seen = len(self.dialog())
        super().execute_now(action, force)
        if action in (1, 2) and not force:
            poll(lambda: "Open" in self.dialog()[seen:], 60, "the shell's end-session dialog")
            self.press(*keys)
            signal = "Canceled" if keys == ("Escape",) else ("ConfirmedShutdown", "ConfirmedReboot")[action - 1]
            poll(lambda: signal in self.dialog()[seen:], 10, "the dialog's answer " + signal)

    def test_the_dialog_only_asks_and_the_end_closes(self):
        # 关机… opened from the shell's menu while a countdown runs: gnome-session asks its
        # clients first, and the user may still cancel. Asked, the program saves its
        # settings and its schedule goes on; only the end itself closes it.
        config = self.run_own_copy()
        written = lambda: os.path.exists(config) and "提示开始=37\r\n" in open(config, "rb").read().decode("gbk")
        self.click("选择框3")
        self.click("编辑框2")
        self.x.xdotool("key", "ctrl+a", "type", "37")
        self.start_countdown(59)
        manager = dbus.Interface(self.get_dbus().get_object(GNOME_NAME, GNOME_PATH), GNOME_NAME)
        poll(lambda: manager.GetInhibitors(), 10, "the schedule's lock")
        seen = len(self.dialog())
        manager.Shutdown(ignore_reply=True)
        poll(lambda: "Open" in self.dialog()[seen:], 60, "the shell's end-session dialog")
        poll(written, 10, "the settings saved on the question")
        self.press("Escape")
        poll(lambda: "Canceled" in self.dialog()[seen:], 10, "the dialog cancelled")
        self.accessible_matching(REMAINING.match, "the countdown going on")
        self.assertTrue(manager.GetInhibitors())
        self.assertIsNone(self.program.poll())
        # The end itself (a log off that asks no one): the close request saves again, then the program goes.
        os.remove(config)
        try:
            manager.Logout(dbus.UInt32(1), ignore_reply=True)
            self.assertEqual(self.program.wait(timeout=30), 0)
            self.assertTrue(written())
        finally:
            type(self).stop_manager()

    def test_objecting_client_has_the_shut_down_cancelled(self):
        # The client's refusal is listed in the dialog, which the user cancels: gnome-session
        # answers the program's call with its cancelled error, a refusal like any other.
        self.objector("Unsaved work")
        self.execute_now(1, keys=("Escape",))
        with open(self.bus_log) as log:  # the dialog listed the client's refusal
            self.assertIn('object path "/org/gnome/SessionManager/Inhibitor', log.read())
        self.accessible_matching(lambda text: "无法执行关机" in text and "cancel" in text.lower(),
                                 "the refusal with the session manager's reason")
        self.assertIsNone(self.program.poll())
        subprocess.run(["xdotool", "search", "--name", "^信息：$", "windowactivate", "--sync"])
        self.key("Return")
        self.assertEqual(self.program.wait(timeout=10), 0)
        self.assertTrue(self.ready())  # the session goes on
        self.assertEqual(self.manager_calls(), [])


class Xfce(RealManager):
    desktop = "XFCE"
    command = ["xfce4-session"]

    @classmethod
    def prepare(cls):
        cls.enable_service("org.xfce.Xfconf")

    def ready(self):
        try:
            manager = self.get_dbus().get_object(XFCE_NAME, XFCE_PATH)
            return manager.GetState(dbus_interface="org.xfce.Session.Manager") == 1  # idle: started up
        except dbus.exceptions.DBusException:
            return False

    def screen_saver_timeout(self):
        return int(self.x.run("xset", "q").stdout.split("timeout:")[1].split()[0])

    def test_keep_awake_keeps_the_screen_lock_unless_sleep_comes_first(self):
        # The power manager's own inhibitor turns the screen saver off, so it is asked
        # only while its inactivity sleep would come before the action.
        self.assertEqual(self.screen_saver_timeout(), 600)
        self.start_countdown(59)  # sleep never, as the power manager comes
        poll(lambda: self.inhibitors(), 10, "logind's idle lock instead")
        self.assertEqual(self.screen_saver_timeout(), 600)
        self.click("按钮2")
        poll(lambda: not self.inhibitors(), 10, "the lock given back")
        subprocess.run(["xfconf-query", "-c", "xfce4-power-manager", "-p", "/xfce4-power-manager/inactivity-on-battery",
                        "-n", "-t", "uint", "-s", "1"], check=True)
        self.addCleanup(subprocess.run, ["xfconf-query", "-c", "xfce4-power-manager", "-p",
                                         "/xfce4-power-manager/inactivity-on-battery", "-r"])
        self.start_countdown(59)  # before that minute: still the lock kept
        poll(lambda: self.inhibitors(), 10, "logind's idle lock")
        self.assertEqual(self.screen_saver_timeout(), 600)
        self.click("按钮2")
        poll(lambda: not self.inhibitors(), 10, "the lock given back")
        self.set_seconds("日期框2", 0)  # the minutes: the sleep comes first
        self.key("Left", "2")
        self.click("按钮1")
        poll(lambda: self.screen_saver_timeout() == 0, 10, "the power manager holding its sleep off")
        self.assertEqual(self.inhibitors(), [])
        self.click("按钮2")
        poll(lambda: self.screen_saver_timeout() == 600, 10, "the screen saver back as it was")

    def test_forced_action_goes_to_logind_and_the_session_stays(self):
        self.execute_now(2, force=True)
        self.assertEqual(self.program.wait(timeout=20), 0)
        self.assertEqual(self.manager_calls(), [("Reboot", [False])])
        self.assertIsNone(type(self).manager.poll())


class Lxqt(RealManager):
    """lxqt-session: its methods never answer; it ends its modules and programs, then
    makes logind's call itself (log off: its own end is the session's)."""
    desktop = "LXQt"
    command = ["lxqt-session"]

    @classmethod
    def environment(cls):
        # No autostart of the machine's own, and the window manager is the test's.
        return dict(os.environ, XDG_CONFIG_DIRS=os.path.join(cls.home, "config-dirs"))

    def ready(self):
        try:
            self.get_dbus().get_object(LXQT_NAME, LXQT_PATH).listModules(dbus_interface=LXQT_NAME)
            return True
        except dbus.exceptions.DBusException:
            return False


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


if __name__ == "__main__":
    if sys.argv[1] == "--objecting-client":
        objecting_client(sys.argv[2])
        sys.exit(0)
    gtk_e2e.TOLVANE, gtk_e2e.OUT = sys.argv[1], sys.argv[2]
    os.makedirs(gtk_e2e.OUT, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
