#!/usr/bin/env python3
"""packaging/linux/news.py: NEWS refused when a release would go out without its notes,
and read into changelogs that Debian's and RPM's own parsers accept and AppStream XML."""
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

NEWS_PY = os.path.join(os.path.dirname(__file__), "..", "..", "packaging", "linux", "news.py")
MAINTAINER = "Tolvane maintainers <maintainers@example.org>"
GOOD = """Some words on the file's form, which are no release.

Version 1.1.0, 2027-03-01

- A change whose English text is long enough to be wrapped over more than one
  line, with a "quoted" word & an ampersand.
  zh_CN: 一个较长的改动说明。
- A second change.
  zh_CN: 第二个改动。

Version 1.0.0, 2026-12-08

- First release.
  zh_CN: 首个版本。
"""


def run(form, text, version, *extra):
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix="NEWS", delete=False) as news:
        news.write(text)
    try:
        return subprocess.run([sys.executable, NEWS_PY, form, news.name, version, *extra],
                              capture_output=True, text=True)
    finally:
        os.unlink(news.name)


class Refused(unittest.TestCase):
    def test_news_that_would_release_without_notes(self):
        cases = [
            ("the program's version is not the newest", GOOD, "1.2.0", "newest release is 1.1.0"),
            ("a change without its Chinese", "Version 1.0.0, 2026-12-08\n\n- First release.\n", "1.0.0",
             "no Chinese text"),
            ("a release without changes", "Version 1.0.0, 2026-12-08\n\n", "1.0.0", "lists no change"),
            ("a line of no known form", "Version 1.0.0, 2026-12-08\n\n- One.\n  zh_CN: 一。\nstray\n", "1.0.0",
             "neither a change"),
            ("an impossible date", "Version 1.0.0, 2026-02-30\n\n- One.\n  zh_CN: 一。\n", "1.0.0", "day is out of range"),
        ]
        for name, text, version, message in cases:
            with self.subTest(name):
                result = run("debian", text, version, MAINTAINER)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)
                self.assertEqual(result.stdout, "")


class Read(unittest.TestCase):
    def test_debian_changelog_parses_newest_first(self):
        result = run("debian", GOOD, "1.1.0", MAINTAINER)
        self.assertEqual(result.returncode, 0, result.stderr)
        with tempfile.NamedTemporaryFile("w", encoding="utf-8", delete=False) as changelog:
            changelog.write(result.stdout)
        try:
            parsed = subprocess.run(["dpkg-parsechangelog", "-l", changelog.name, "--all", "--format", "rfc822"],
                                    capture_output=True, text=True, check=True).stdout
            parsed = [line.split()[1] for line in parsed.splitlines() if line.startswith("Version:")]
            first = subprocess.run(["dpkg-parsechangelog", "-l", changelog.name, "-S", "Changes"],
                                   capture_output=True, text=True, check=True).stdout
        finally:
            os.unlink(changelog.name)
        self.assertEqual(parsed, ["1.1.0", "1.0.0"])
        self.assertIn("一个较长的改动说明。", first)
        self.assertTrue(all(len(line) <= 80 for line in result.stdout.splitlines() if not line.startswith(" --")))
        # The continued English line is one text again, wrapped under the bullet.
        self.assertIn("wrapped over more than\n    one line, with", result.stdout)

    def test_appstream_pairs_each_change_with_its_chinese(self):
        result = run("appstream", GOOD, "1.1.0")
        self.assertEqual(result.returncode, 0, result.stderr)
        releases = ElementTree.fromstring(result.stdout)
        lang = "{http://www.w3.org/XML/1998/namespace}lang"
        self.assertEqual([(r.get("version"), r.get("date")) for r in releases],
                         [("1.1.0", "2027-03-01"), ("1.0.0", "2026-12-08")])
        items = [(li.get(lang), li.text) for li in releases[0].iter("li")]
        self.assertEqual(items[0][1], 'A change whose English text is long enough to be wrapped over more than '
                                      'one line, with a "quoted" word & an ampersand.')
        self.assertEqual([i[0] for i in items], [None, "zh-CN", None, "zh-CN"])


if __name__ == "__main__":
    unittest.main()
