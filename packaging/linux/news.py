#!/usr/bin/env python3
"""Reads NEWS, the one record of what changed in each release, and writes it as the
Debian changelog, the RPM %changelog or the AppStream <releases> element.

    news.py debian|rpm|appstream <NEWS> <program version> [<maintainer>]

The newest release in NEWS must be the program's version: a release is not packed
without its notes. Debian and RPM need the maintainer ("Name <address>")."""
import datetime
import re
import sys
import textwrap
from xml.sax.saxutils import escape

HEADER = re.compile(r"^Version ([0-9][0-9A-Za-z.+~-]*), (\d{4}-\d{2}-\d{2})$")
CHINESE = "  zh_CN: "


class NewsError(Exception):
    pass


def read(path):
    """The releases, newest first: (version, date, [(english, chinese)])."""
    releases = []
    change = None
    with open(path, encoding="utf-8") as news:
        for number, line in enumerate(news, 1):
            line = line.rstrip("\n")
            header = HEADER.match(line)
            where = f"{path}:{number}"
            if header:
                date = datetime.date.fromisoformat(header[2])
                releases.append((header[1], date, []))
                change = None
            elif not releases or not line.strip():
                change = None
            elif line.startswith("- "):
                change = [line[2:].strip(), ""]
                releases[-1][2].append(change)
            elif change is not None and line.startswith(CHINESE):
                change[1] = line[len(CHINESE):].strip()
            elif change is not None and line.startswith("  ") and not change[1]:
                change[0] += " " + line.strip()
            else:
                raise NewsError(f"{where}: neither a change, its Chinese text nor a release: {line!r}")
    for version, _, changes in releases:
        if not changes:
            raise NewsError(f"{path}: release {version} lists no change")
        for english, chinese in changes:
            if not chinese:
                raise NewsError(f"{path}: release {version}: no Chinese text for {english!r}")
    return releases


def changelog(form, releases, maintainer):
    """Debian's changelog or RPM's %changelog: each change in English, wrapped, then in
    Chinese on one line (wrapping counts characters, not columns)."""
    debian = form == "debian"
    bullet, indent = ("  * ", "    ") if debian else ("- ", "  ")
    out = []
    for version, date, changes in releases:
        if debian:
            out.append(f"tolvane ({version}) unstable; urgency=medium\n")
        else:
            out.append(f"* {date.strftime('%a %b %d %Y')} {maintainer} - {version}-1")
        for english, chinese in changes:
            out.append(textwrap.fill(english, 78, initial_indent=bullet, subsequent_indent=indent,
                                     break_on_hyphens=False))
            out.append(indent + chinese)
        if debian:
            stamp = datetime.datetime.combine(date, datetime.time(), datetime.timezone.utc)
            out.append(f"\n -- {maintainer}  {stamp.strftime('%a, %d %b %Y %H:%M:%S %z')}\n")
        else:
            out.append("")
    return "\n".join(out)


def appstream(releases):
    out = ["<releases>"]
    for version, date, changes in releases:
        out += [f'  <release version="{version}" date="{date.isoformat()}">', "    <description>", "      <ul>"]
        for english, chinese in changes:
            out.append(f"        <li>{escape(english)}</li>")
            out.append(f'        <li xml:lang="zh-CN">{escape(chinese)}</li>')
        out += ["      </ul>", "    </description>", "  </release>"]
    out.append("</releases>")
    # Indented to sit inside <component>.
    return "\n".join("  " + line for line in out).lstrip() + "\n"


def main(args):
    if len(args) not in (3, 4) or args[0] not in ("debian", "rpm", "appstream") or \
            (args[0] != "appstream") != (len(args) == 4):
        raise NewsError(__doc__.split("\n\n")[1].strip())
    form, path, version = args[:3]
    releases = read(path)
    if not releases:
        raise NewsError(f"{path} records no release")
    if releases[0][0] != version:
        raise NewsError(f"{path}: the newest release is {releases[0][0]}, the program is {version}")
    if form == "appstream":
        sys.stdout.write(appstream(releases))
    else:
        sys.stdout.write(changelog(form, releases, args[3]))


if __name__ == "__main__":
    try:
        main(sys.argv[1:])
    except (NewsError, OSError, ValueError) as error:
        sys.exit(f"news.py: {error}")
