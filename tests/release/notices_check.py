#!/usr/bin/env python3
"""Checks that a program's notice files account for everything linked into it, as its
linker's map (-Wl,-Map) shows: every archive member and object from outside the build
tree must be named by its file (an import library of Windows DLLs may instead be
covered by the words "import libraries"), and every copyright line in a source compiled
from the build tree or the source tree that is not the program's own must appear.

    notices_check.py <map> <build folder> <source folder> <notice file>...

Prints what it found; exits 1 naming each piece whose notice is missing."""
import os
import re
import subprocess
import sys

MEMBER = re.compile(r"^(\S+\.a)\(([^()]+)\)$")
LOADED = re.compile(r"^LOAD (\S+\.(?:o|obj))$")
COPYRIGHT = re.compile(r"Copyright\s+(?:©|\([cC]\))?\s*(\d{4}(?:[\d\s,-]*\d)?)\s+(.*?)\s*(?:\*/)?$")


def linked(map_path):
    """The archives with the members pulled out of them, and the objects loaded whole."""
    members, objects = {}, []
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            line = line.rstrip("\n")
            member = MEMBER.match(line)
            if member:
                members.setdefault(member[1], set()).add(member[2])
            loaded = LOADED.match(line)
            if loaded:
                objects.append(loaded[1])
    return members, objects


def sources_of(object_path, build, source):
    """The source an object of the build tree was compiled from: CMake keeps the
    source's path under CMakeFiles/<target>.dir/, relative to the build or the source tree."""
    relative = re.sub(r"^.*?/CMakeFiles/[^/]+\.dir/", "", object_path)
    relative = re.sub(r"\.(o|obj|res)$", "", relative)
    for root in (build, source):
        candidate = os.path.join(root, relative)
        if os.path.isfile(candidate):
            return candidate
    return None


def objects_named(build, member):
    found = []
    for folder, _, names in os.walk(build):
        if member in names and "/CMakeFiles/" in folder + "/":
            found.append(os.path.join(folder, member))
    return found


def normal(text):
    return re.sub(r"\s+", " ", text)


def own_holder(source):
    with open(os.path.join(source, "LICENSE"), encoding="utf-8") as licence:
        for line in licence:
            found = COPYRIGHT.search(line)
            if found:
                return found[2]
    raise SystemExit("LICENSE has no copyright line")


def is_import_library(archive):
    for tool in ("x86_64-w64-mingw32-dlltool", "i686-w64-mingw32-dlltool"):
        try:
            if subprocess.run([tool, "--identify", archive], capture_output=True).returncode == 0:
                return True
        except OSError:
            continue
    return False


def main(args):
    if len(args) < 4:
        raise SystemExit(__doc__.split("\n\n")[1].strip())
    map_path, build, source = (os.path.realpath(a) for a in args[:3])
    notices = {}
    for path in args[3:]:
        with open(path, encoding="utf-8") as text:
            notices[path] = text.read()
    ours = own_holder(source)
    missing, outside, sources = [], set(), set()

    def piece(path, members):
        resolved = os.path.realpath(os.path.join(build, path))
        if not resolved.startswith(build + os.sep):
            outside.add(resolved)
            return
        if members is None:
            compiled = [resolved]
        else:
            compiled = [o for m in members for o in objects_named(build, m)]
            if len(compiled) < len(members):
                missing.append(f"cannot find the objects of {path}({', '.join(sorted(members))}) in {build}")
        for obj in compiled:
            found = sources_of(obj, build, source)
            if found:
                sources.add(found)
            else:
                missing.append(f"cannot find the source of {obj}")

    members, objects = linked(map_path)
    if not members and not objects:
        raise SystemExit(f"{map_path} lists nothing linked in: not a linker's map")
    for archive, names in members.items():
        piece(archive, names)
    for obj in objects:
        piece(obj, None)

    for path, text in notices.items():
        for resolved in sorted(outside):
            name = os.path.basename(resolved)
            named = re.search(r"(?<![\w.+-])" + re.escape(name) + r"(?![\w+-])", text)
            if not named and not (name.endswith(".a") and "import libraries" in text and is_import_library(resolved)):
                missing.append(f"{path} does not name {name} ({resolved}), linked into the program")
        for found in sorted(sources):
            with open(found, encoding="utf-8", errors="replace") as code:
                for line in code:
                    notice = COPYRIGHT.search(line)
                    if not notice or notice[2] == ours:
                        continue
                    if normal(f"{notice[1]} {notice[2]}") not in normal(text):
                        missing.append(f"{path} lacks the copyright of {os.path.relpath(found)}: {notice[0].strip()}")
    generated = [s for s in sources if s.startswith(build + os.sep)]
    print(f"{map_path}: {len(outside)} files from outside the build ({', '.join(sorted(os.path.basename(o) for o in outside))}); "
          f"{len(sources)} sources, {len(generated)} generated ({', '.join(sorted(os.path.relpath(g, build) for g in generated))})")
    for problem in missing:
        print("MISSING:", problem, file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
