#!/usr/bin/python3
"""End-to-end tests of the Linux program tolvane's sound and settings: the real
program on a private Xvfb display, its sound going to a private PulseAudio server
whose only sink is a null sink. The sink's monitor is recorded with parec and its
bursts of sound are measured. Controls are clicked with xdotool at their rectangles
in the window definition, and config.ini is prepared before the program starts;
the program has no test hooks.

Each test runs its own copy of the program in a folder of its own, so a config.ini
written beside it stays with that test.

Usage: sound_settings_e2e.py <path to tolvane> <output folder> [unittest test names...]
"""
import os
import pathlib
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

from desktop_checks import Recording, XWindow, criticals, poll, sound_bursts, start_pulse, start_xvfb, write_config

TOLVANE = None
OUT = None

def midi_file(notes, division=480, tempo=500000):
    """A format-0 Standard MIDI File: (start seconds, length seconds, key) per note,
    at one tempo, on a piano."""
    ticks = lambda seconds: round(seconds * 1e6 / tempo * division)  # noqa: E731
    events = [(0, bytes([0xFF, 0x51, 3]) + tempo.to_bytes(3, "big")), (0, bytes([0xC0, 0]))]
    for start, length, key in notes:
        events.append((ticks(start), bytes([0x90, key, 110])))
        events.append((ticks(start + length), bytes([0x80, key, 0])))
    events.sort(key=lambda e: e[0])
    track, now = b"", 0
    for at, body in events:
        delta, var = at - now, []
        now = at
        var.append(delta & 0x7F)
        while delta > 0x7F:
            delta >>= 7
            var.insert(0, 0x80 | (delta & 0x7F))
        track += bytes(var) + body
    track += b"\x00\xFF\x2F\x00"
    return b"MThd" + struct.pack(">IHHH", 6, 0, 1, division) + b"MTrk" + struct.pack(">I", len(track)) + track


class Desktop(unittest.TestCase):
    """Xvfb and a PulseAudio server with a null sink, shared by the tests of a class."""

    @classmethod
    def setUpClass(cls):
        cls.base = tempfile.mkdtemp(prefix="tolvane-linux-")
        os.chmod(cls.base, 0o755)
        cls.display, cls.xvfb = start_xvfb()
        cls.pulse = None

    @classmethod
    def tearDownClass(cls):
        if cls.pulse is not None:
            os.kill(cls.pulse, signal.SIGTERM)
        cls.xvfb.terminate()
        cls.xvfb.wait()
        shutil.rmtree(cls.base, ignore_errors=True)

    def setUp(self):
        # A folder name in Chinese: paths pass between GBK inside and UTF-8 outside.
        self.folder = os.path.join(tempfile.mkdtemp(dir=self.base), "定时关机")
        os.mkdir(self.folder)
        os.chmod(os.path.dirname(self.folder), 0o755)
        self.program_file = os.path.join(self.folder, "tolvane")
        shutil.copy(TOLVANE, self.program_file)
        self.program = None
        self.recorder = None

    def tearDown(self):
        if self.recorder is not None:
            self.recorder.stop()
        if self.program is not None and self.program.poll() is None:
            self.program.terminate()
            self.program.wait(timeout=10)
        if self.program is not None:
            self.assertEqual(criticals(self.log), [])

    def start(self, as_user=None, **env):
        # No buses here: the program's logind, session-manager and panel calls fail at once
        # instead of waiting, and no session bus is started for the display behind its back.
        env = dict(os.environ, DISPLAY=self.display, GDK_BACKEND="x11", GDK_SCALE="1", NO_AT_BRIDGE="1",
                   DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent", DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent",
                   **env)
        command = [self.program_file]
        if as_user is not None:
            command = ["setpriv", f"--reuid={as_user}", f"--regid={as_user}", "--clear-groups"] + command
        self.log = os.path.join(self.folder, "..", "program.log")
        with open(self.log, "wb") as log:
            self.program = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self.x = XWindow(self.display, self.program, self.log)
        self.click, self.xdotool = self.x.click, self.x.xdotool

    def settings_written(self, path):
        poll(lambda: os.path.exists(path), 10, path)
        with open(path, "rb") as f:
            return f.read()

    def show_reminder_panel(self):
        self.click("选择框3")
        time.sleep(0.3)

    def record(self, name):
        self.recorder = Recording(OUT, name)
        return self.recorder


class Sound(Desktop):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.pulse = start_pulse(os.path.join(cls.base, "pulse"))

    def play_custom(self, file_name, data):
        path = os.path.join(self.folder, file_name)
        with open(path, "wb") as f:
            f.write(data)
        write_config(self.folder, 自定提示声=path, 启用自定义="真")
        self.start()
        self.show_reminder_panel()
        self.record(file_name)
        self.click("按钮4")
        return self.recorder

    def test_a_wave_file_plays_once_for_its_length(self):
        # 8-bit unsigned samples at 22050 Hz: a format the server takes as it is.
        tone = os.path.join(self.base, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "22050", "-b", "8", "-e", "unsigned", "-c", "1", tone, "synth", "0.4",
                        "sine", "660", "vol", "0.5"], check=True)
        with open(tone, "rb") as f:
            recording = self.play_custom("tone.wav", f.read())
        first = recording.wait_bursts(1, 10)[0]
        # A second play would have begun by the first one's end and been heard whole.
        recording.reaches(first[0] + first[1] + 0.4 + sound_bursts.SETTLED_S)
        bursts = recording.stop()
        self.assertEqual(len(bursts), 1, bursts)
        self.assertAlmostEqual(bursts[0][1], 0.4, delta=0.05)

    def test_a_sound_whose_path_gbk_cannot_write_is_chosen_and_kept_across_a_restart(self):
        path = os.path.join(self.folder, "음악", "Björk.wav")  # neither Hangul nor ö has a GBK form
        os.mkdir(os.path.dirname(path))
        subprocess.run(["sox", "-n", "-r", "22050", "-b", "16", path, "synth", "0.4", "sine", "660"], check=True)
        # A home of its own: the chooser remembers recent files there, not in the tester's.
        home = os.path.join(os.path.dirname(self.folder), "home")
        os.mkdir(home)
        self.start(HOME=home, XDG_DATA_HOME=os.path.join(home, "data"))
        self.show_reminder_panel()
        self.click("按钮3")
        poll(lambda: self.x.shown("打开"), 20, "the file chooser")
        # Pasted whole (typed keys race the name box's completion), and Return only once
        # xclip's log tells it has handed the text over.
        served = os.path.join(os.path.dirname(self.folder), "xclip.log")
        with open(served, "wb") as log:
            clipboard = subprocess.Popen(["xclip", "-verbose", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"],
                                         stdin=subprocess.PIPE, stdout=log, stderr=log,
                                         env=dict(os.environ, DISPLAY=self.display))
        self.addCleanup(lambda: (clipboard.terminate(), clipboard.wait()))
        clipboard.stdin.write(path.encode())
        clipboard.stdin.close()
        self.xdotool("key", "ctrl+l", "ctrl+v")
        poll(lambda: b"request number 2" in pathlib.Path(served).read_bytes(), 10, "the path pasted into the chooser")
        self.xdotool("key", "Return")
        written = self.settings_written(os.path.join(self.folder, "config.ini")).decode("gbk")
        self.assertIn("自定提示声=file://" + urllib.parse.quote(path) + "\r\n", written)
        # Started again, the program reads the file back: the play button plays it.
        self.program.terminate()
        self.program.wait()
        self.start()
        self.show_reminder_panel()
        self.record("gbk-less-path")
        self.click("按钮4")
        self.recorder.wait_bursts(1, 10)

    def test_a_midi_file_is_heard_with_its_timing(self):
        starts = [0.0, 0.8, 2.0]
        recording = self.play_custom("tune.mid", midi_file([(s, 0.2, 72) for s in starts]))
        recording.wait_bursts(3, 15)
        bursts = recording.stop()
        self.assertEqual(len(bursts), 3, bursts)
        heard = [b[0] - bursts[0][0] for b in bursts]
        for want, got in zip(starts, heard):
            self.assertAlmostEqual(got, want, delta=0.06, msg=heard)

    def test_default_reminders_in_the_last_half_minute(self):
        self.start()
        self.click("单选框6")
        self.x.set_seconds("日期框2", 33)
        recording = self.record("default-reminders")
        self.click("按钮1")
        # Cancelled after the chime of the last second, before the target.
        first = recording.wait_bursts(1, 15)[0][0]
        recording.reaches(first + 29.7)
        self.click("按钮2")
        recording.reaches(first + 31)
        bursts = recording.stop()

        def sounding(at):
            return any(b[0] <= first + at <= b[0] + b[1] for b in bursts)
        # The chime is heard just after 30, 20, 10, 5, 4, 3, 2 and 1 seconds are left
        # (onsets vary a little with the load), and not in between.
        for at in (0, 10, 20, 25, 26, 27, 28, 29):
            self.assertTrue(sounding(at + 0.3), (at, bursts))
        for at in (5, 15, 23):
            self.assertFalse(sounding(at), (at, bursts))
        # Nothing from a little before the target on: cancelled.
        self.assertEqual([b for b in bursts if b[0] - first > 29.5], [], bursts)


class Settings(Desktop):
    def test_settings_are_written_in_gbk_beside_a_writable_program(self):
        self.start()
        self.show_reminder_panel()
        self.click("选择框4")
        written = self.settings_written(os.path.join(self.folder, "config.ini"))
        self.assertEqual(written, "[系统设置]\r\n启用自定义=真\r\n".encode("gbk"))

    def test_a_signal_to_end_saves_the_typed_settings_as_a_close_does(self):
        # (the signal a session or a terminal sends, whether a box's nested loop runs then)
        for sent, box_open in ((signal.SIGTERM, False), (signal.SIGHUP, False), (signal.SIGINT, True)):
            with self.subTest(signal=sent.name, box_open=box_open):
                self.start()
                self.show_reminder_panel()
                self.click("编辑框2")
                self.xdotool("key", "ctrl+a", "type", "12")
                if box_open:
                    for name in ("单选框6", "按钮1"):  # a countdown of 0 seconds is refused with a box
                        self.click(name)
                    poll(lambda: self.x.shown("信息："), 10, "the refusal box")
                self.program.send_signal(sent)
                self.assertEqual(self.program.wait(timeout=10), 0)
                self.assertEqual(criticals(self.log), [])
                config = os.path.join(self.folder, "config.ini")
                self.assertIn("提示开始=12\r\n", self.settings_written(config).decode("gbk"))
                os.remove(config)

    def test_settings_go_to_the_users_configuration_folder_when_the_program_folder_is_read_only(self):
        # A home folder GBK cannot write (Hangul) keeps its settings as well as any.
        for home_name, xdg in (("home", "settings"), ("홈", "")):
            with self.subTest(home=home_name):
                home = os.path.join(os.path.dirname(self.folder), home_name)
                os.makedirs(home)
                user = None
                if os.getuid() == 0:
                    user = 65534  # root writes anywhere: the program runs as nobody instead
                    os.chown(home, user, user)
                else:
                    os.chmod(self.folder, 0o555)
                self.start(as_user=user, HOME=home, XDG_CONFIG_HOME=os.path.join(home, xdg) if xdg else "")
                self.show_reminder_panel()
                self.click("选择框4")
                written = self.settings_written(os.path.join(home, xdg or ".config", "tolvane", "config.ini"))
                self.assertEqual(written, "[系统设置]\r\n启用自定义=真\r\n".encode("gbk"))
                self.assertFalse(os.path.exists(os.path.join(self.folder, "config.ini")))
                self.program.terminate()
                self.program.wait()


if __name__ == "__main__":
    TOLVANE, OUT = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(OUT, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
