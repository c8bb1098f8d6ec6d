#!/usr/bin/env python3
"""Checks the winget and Scoop manifests of a release folder against what the published
schemas of the two projects require (winget's manifest schema 1.10.0, Scoop's app
manifest schema), and against the release itself: every hash is the hash of the file its
address names, the winget product code and display name are those of the uninstall
entry tolvane.nsi writes, each exit code the installer manifest names means one thing (the
running program's being tolvane.nsi's EXIT_RUNNING alone), and each Scoop architecture
gets the zip of its own machine.

    check_manifests.py <dist folder> <source folder>
"""
import glob
import hashlib
import json
import os
import re
import struct
import sys
import zipfile

import yaml

# The winget schemas' patterns, enumerations and lengths, by field name at any depth;
# a field ending in Url or Locale has the pattern of those.
PATTERNS = {
    "PackageIdentifier": r'^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$',
    "PackageVersion": r'^[^\\/:\*\?"<>\|\x01-\x1f]{1,128}$',
    "ManifestVersion": r'^\d{1,5}(\.\d{1,5}){2}$',
    "InstallerSha256": r'^[A-Fa-f0-9]{64}$',
    "ReleaseDate": r'^\d{4}-\d\d-\d\d$',
    "Url": r'^([Hh][Tt][Tt][Pp][Ss]?)://.{1,2040}$',
    "Locale": r'^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$',
}
ENUMS = {"Architecture": {"x86", "x64", "arm", "arm64", "neutral"}, "Scope": {"user", "machine"},
         "InstallerType": {"msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable",
                           "advinstExe", "advinstMsi"},
         "InstallModes": {"interactive", "silent", "silentWithProgress"},
         "UpgradeBehavior": {"install", "uninstallPrevious", "deny"},
         "ElevationRequirement": {"elevationRequired", "elevationProhibited", "elevatesSelf"},
         "ReturnResponse": {"packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse",
                            "missingDependency", "diskFull", "insufficientMemory", "invalidParameter", "noNetwork",
                            "contactSupport", "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated",
                            "cancelledByUser", "alreadyInstalled", "downgrade", "blockedByPolicy",
                            "systemNotSupported", "custom"}}
LENGTHS = {"Publisher": (2, 256), "PackageName": (2, 256), "License": (3, 512), "ShortDescription": (3, 256),
           "Copyright": (3, 512), "Moniker": (1, 40), "Tags": (1, 40), "ProductCode": (1, 255),
           "DisplayName": (1, 256), "DisplayVersion": (1, 128), "Silent": (1, 512), "SilentWithProgress": (1, 512)}
REQUIRED = {
    "version": ["DefaultLocale"],
    "defaultLocale": ["PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"],
    "locale": ["PackageLocale"],
    "installer": ["Installers"],
}
INSTALLER_REQUIRED = ["Architecture", "InstallerUrl", "InstallerSha256"]
# Scoop's schema allows no other properties.
SCOOP_KEYS = {"##", "_comment", "architecture", "autoupdate", "bin", "persist", "checkver", "cookie", "depends",
              "description", "env_add_path", "env_set", "extract_dir", "extract_to", "hash", "homepage", "innosetup",
              "installer", "license", "msi", "notes", "post_install", "pre_install", "psmodule", "shortcuts",
              "suggest", "uninstaller", "url", "version"}
SCOOP_ARCH_KEYS = {"bin", "checkver", "extract_dir", "hash", "installer", "msi", "post_install", "pre_install",
                   "shortcuts", "uninstaller", "url"}
SCOOP_HASH = r'^([a-fA-F0-9]{64}|(sha1|sha256|sha512|md5):([a-fA-F0-9]{32}|[a-fA-F0-9]{40}|[a-fA-F0-9]{64}|[a-fA-F0-9]{128}))$'
PE_MACHINE = {"64bit": 0x8664, "32bit": 0x14C}
# What the program opens as files beside itself, and so must never be persisted as folders.
PROGRAM_FILES = {"config.ini"}
# A pre_install command that makes an empty file in the app's folder: New-Item -ItemType File
# with a path "$dir\<name>", its arguments in either order.
MAKES_FILE = re.compile(r'New-Item\b(?=[^|;{}]*-ItemType\s+File\b)[^|;{}]*"\$dir\\([^"]+)"', re.I)

faults = []


def fault(where, what):
    faults.append(f"{where}: {what}")


def file_hash(dist, url):
    path = os.path.join(dist, str(url).rsplit("/", 1)[-1])
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def check_fields(where, key, value):
    if isinstance(value, dict):
        for inner, item in value.items():
            check_fields(where, inner, item)
        return
    if isinstance(value, list):
        for item in value:
            check_fields(where, key, item)
        return
    pattern = PATTERNS.get(key) or PATTERNS.get("Url" if key.endswith("Url") else "Locale" if key.endswith("Locale")
                                               else "")
    if pattern and not re.match(pattern, str(value)):
        fault(where, f"{key} {value!r} does not match {pattern}")
    if key in ENUMS and value not in ENUMS[key]:
        fault(where, f"{key} {value!r} is not one of {sorted(ENUMS[key])}")
    if key == "InstallerReturnCode" and (not isinstance(value, int) or value == 0
                                         or not -(1 << 31) <= value <= (1 << 32) - 1):
        fault(where, f"{key} {value!r} is not a non-zero 32-bit exit code")
    low, high = LENGTHS.get(key, (0, 1 << 20))
    if key in LENGTHS and (not isinstance(value, str) or not low <= len(value) <= high):
        fault(where, f"{key} {value!r} is not a string of {low} to {high} characters")


def nsis_define(source, name):
    with open(os.path.join(source, "packaging", "windows", "tolvane.nsi"), encoding="utf-8") as f:
        found = re.search(rf'^!define {name} (?:"([^"]*)"|(\S+))', f.read(), re.M)
    return found.group(1) if found.group(1) is not None else found.group(2)


def check_winget(dist, source):
    found = {}
    for path in sorted(glob.glob(os.path.join(dist, "*.yaml"))):
        with open(path, encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        name, kind = os.path.basename(path), manifest.get("ManifestType")
        found.setdefault(kind, []).append(manifest)
        for key in ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"] + REQUIRED.get(kind, []):
            if key not in manifest:
                fault(name, f"lacks {key}")
        for entry in manifest.get("Installers", []):
            if any(key not in entry for key in INSTALLER_REQUIRED):
                fault(name, f"an installer lacks one of {INSTALLER_REQUIRED}")
            if str(entry.get("InstallerSha256")).lower() != file_hash(dist, entry.get("InstallerUrl")):
                fault(name, f"InstallerSha256 is not the hash of the file {entry.get('InstallerUrl')} names")
        check_fields(name, "", manifest)
    if set(found) - set(REQUIRED) or any(len(found.get(kind, [])) != 1 for kind in ("version", "defaultLocale", "installer")):
        fault("winget", f"manifests of types {sorted(found)}: not one version, one defaultLocale, one installer")
        return
    if len({(m["PackageIdentifier"], m["PackageVersion"]) for group in found.values() for m in group}) != 1:
        fault("winget", "the manifests name different packages or versions")
    if found["version"][0]["DefaultLocale"] != found["defaultLocale"][0]["PackageLocale"]:
        fault("winget", "the default locale has no defaultLocale manifest")
    installer = found["installer"][0]
    # The uninstall entry the installer writes: its key's name is the product code.
    key = nsis_define(source, "UNINSTALL_KEY").rsplit("\\", 1)[-1]
    entries = installer.get("AppsAndFeaturesEntries") or [{}]
    for entry in entries:
        if (installer.get("ProductCode"), entry.get("ProductCode"), entry.get("DisplayName"), entry.get("DisplayVersion")) \
                != (key, key, nsis_define(source, "DISPLAY_NAME"), installer["PackageVersion"]):
            fault("installer", f"the uninstall entry {entry} is not the one the installer writes ({key})")
    # Each exit code means one thing, and "the program is running" is the installer's own code.
    codes = [(c.get("InstallerReturnCode"), c.get("ReturnResponse")) for c in installer.get("ExpectedReturnCodes") or []]
    in_use = [code for code, response in codes if response == "packageInUseByApplication"]
    if len({code for code, _ in codes}) != len(codes) or in_use != [int(nsis_define(source, "EXIT_RUNNING"))]:
        fault("installer", f"ExpectedReturnCodes {codes}: not one meaning a code, or the running program's code "
                           f"is not the installer's EXIT_RUNNING alone")
    if installer.get("InstallerType") != "nullsoft" or installer.get("Scope") != "user" or \
            installer.get("InstallerSwitches", {}).get("Silent") != "/S":
        fault("installer", "not the per-user nullsoft installer, silent with /S")


def pe_machine(data):
    offset = struct.unpack_from("<I", data, 0x3C)[0] if len(data) >= 0x40 else 0
    return struct.unpack_from("<H", data, offset + 4)[0] if data[offset:offset + 4] == b"PE\0\0" else None


def persist_entries(persist):
    """Scoop's reading of persist: one entry or a list of them, each a name or a pair
    [name in the app's folder, name in the persist folder]; trailing slashes dropped."""
    for entry in persist if isinstance(persist, list) else [persist]:
        source, target = (entry[0], entry[1] if len(entry) > 1 and entry[1] else entry[0]) \
            if isinstance(entry, list) else (entry, entry)
        yield str(source).rstrip("/").rstrip("\\"), str(target)


def persist_step(entries, app_folder, persisted):
    """Scoop's persist step. It links each name to its copy in the persist folder (a hard
    link for a file, a junction for a folder). Where that folder has no copy, the app
    folder's own is moved there first; where neither has one, a folder is made. Returns
    what each name becomes ("file" or "folder") and the persist folder afterwards."""
    persisted = dict(persisted)
    result = {}
    for source, target in entries:
        if target not in persisted:
            persisted[target] = app_folder.get(source, "folder")
        result[source] = persisted[target]
    return result, persisted


def check_persist(name, app, arch, names):
    """Plays a first install and an update after it, as Scoop runs them, and faults a name the
    program reads as a file that would be a folder or would not be kept."""
    app_folder = {n.rstrip("/"): "folder" if n.endswith("/") else "file" for n in names}
    app_folder.update({n.split("/", 1)[0]: "folder" for n in names if "/" in n.rstrip("/")})
    # An architecture's own pre_install stands in for the manifest's.
    pre_install = arch.get("pre_install", app.get("pre_install")) or []
    script = "\n".join(pre_install if isinstance(pre_install, list) else [str(pre_install)])
    app_folder.update({made: "file" for made in MAKES_FILE.findall(script)})
    entries = list(persist_entries(app.get("persist") or []))
    persisted = {}
    for road in ("a first install", "an update"):
        result, persisted = persist_step(entries, app_folder, persisted)
        for program_file in sorted(PROGRAM_FILES):
            if result.get(program_file) != "file":
                fault(name, f"after {road}, {program_file} is {result.get(program_file, 'not persisted')}, not a file")


def check_scoop(dist):
    name = "tolvane.json"
    with open(os.path.join(dist, name), encoding="utf-8") as f:
        app = json.load(f)
    for key in set(app) - SCOOP_KEYS:
        fault(name, f"{key} is not a property of the schema")
    if not re.match(r'^[\w\-.+_]+$', str(app.get("version"))):
        fault(name, f"version {app.get('version')!r}")
    if set(app.get("architecture", {})) != set(PE_MACHINE):
        fault(name, "not the zips for 32bit and 64bit")
        return
    for bits, arch in app["architecture"].items():
        for key in set(arch) - SCOOP_ARCH_KEYS:
            fault(name, f"{bits}.{key} is not a property of the schema")
        url, digest = str(arch.get("url")), str(arch.get("hash"))
        if not re.match(PATTERNS["Url"], url) or "$" in url or not re.match(SCOOP_HASH, digest):
            fault(name, f"{bits}: url {url!r} or hash {digest!r}")
        if digest.lower() != file_hash(dist, url):
            fault(name, f"{bits}.hash is not the hash of the file {url} names")
            continue
        with zipfile.ZipFile(os.path.join(dist, url.rsplit("/", 1)[-1])) as archive:
            names = archive.namelist()
            if any(not 2 <= len(link) <= 4 or link[0] not in names for link in app.get("shortcuts", [])):
                fault(name, f"a shortcut is not to a file of the {bits} zip")
            if pe_machine(archive.read("Tolvane.exe") if "Tolvane.exe" in names else b"") != PE_MACHINE[bits]:
                fault(name, f"the {bits} zip holds no Tolvane.exe of that machine")
            check_persist(f"{name} ({bits})", app, arch, names)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    check_winget(sys.argv[1], sys.argv[2])
    check_scoop(sys.argv[1])
    for line in faults:
        print(f"FAIL: {line}", file=sys.stderr)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
