#!/usr/bin/env python3
"""Checks the winget and Scoop manifests of a release folder against what the published
schemas of the two projects require (winget's manifest schema 1.10.0, Scoop's app
manifest schema), and against the release itself: every hash is the hash of the file its
address names, the winget product code and display name are those of the uninstall
entry tolvane.nsi writes, and each Scoop architecture gets the zip of its own machine.

    check_manifests.py <dist folder> <source folder>
"""
import datetime
import glob
import hashlib
import json
import os
import re
import struct
import sys
import zipfile

import yaml

# The schemas' patterns.
IDENTIFIER = r'^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$'
VERSION = r'^[^\\/:\*\?"<>\|\x01-\x1f]+$'
LOCALE = r'^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$'
URL = r'^([Hh][Tt][Tt][Pp][Ss]?)://.+$'
SHA256 = r'^[A-Fa-f0-9]{64}$'
MANIFEST_VERSION = r'^\d{1,5}(\.\d{1,5}){2}$'
SCOOP_HASH = r'^([a-fA-F0-9]{64}|(sha1|sha256|sha512|md5):([a-fA-F0-9]{32}|[a-fA-F0-9]{40}|[a-fA-F0-9]{64}|[a-fA-F0-9]{128}))$'
SCOOP_VERSION = r'^[\w\-.+_]+$'
REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"],
    "locale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
}
# Lengths of the strings the schemas bound: (min, max).
LENGTHS = {"Publisher": (2, 256), "PackageName": (2, 256), "License": (3, 512), "ShortDescription": (3, 256),
           "Copyright": (3, 512), "Moniker": (1, 40), "ProductCode": (1, 255), "DisplayName": (1, 256),
           "DisplayVersion": (1, 128), "PackageIdentifier": (1, 128), "PackageVersion": (1, 128)}
ENUMS = {"Architecture": {"x86", "x64", "arm", "arm64", "neutral"}, "Scope": {"user", "machine"},
         "InstallerType": {"msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable",
                           "advinstExe", "advinstMsi"},
         "UpgradeBehavior": {"install", "uninstallPrevious", "deny"},
         "ElevationRequirement": {"elevationRequired", "elevationProhibited", "elevatesSelf"}}
INSTALL_MODES = {"interactive", "silent", "silentWithProgress"}
SCOOP_KEYS = {"##", "_comment", "architecture", "autoupdate", "bin", "persist", "checkver", "cookie", "depends",
              "description", "env_add_path", "env_set", "extract_dir", "extract_to", "hash", "homepage", "innosetup",
              "installer", "license", "msi", "notes", "post_install", "pre_install", "psmodule", "shortcuts",
              "suggest", "uninstaller", "url", "version"}
SCOOP_ARCH_KEYS = {"bin", "checkver", "extract_dir", "hash", "installer", "msi", "post_install", "pre_install",
                   "shortcuts", "uninstaller", "url"}
PE_MACHINE = {"64bit": 0x8664, "32bit": 0x14C}

faults = []


def fault(where, what):
    faults.append(f"{where}: {what}")


def file_hash(dist, url):
    path = os.path.join(dist, url.rsplit("/", 1)[-1])
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def check_fields(where, node):
    """The patterns, enumerations and lengths of every field the schemas bound, at any depth."""
    if isinstance(node, list):
        for item in node:
            check_fields(where, item)
        return
    if not isinstance(node, dict):
        return
    for key, value in node.items():
        if isinstance(value, (dict, list)):
            check_fields(f"{where}.{key}", value)
            continue
        if key in ENUMS and value not in ENUMS[key]:
            fault(where, f"{key} {value!r} is not one of {sorted(ENUMS[key])}")
        if key in LENGTHS:
            low, high = LENGTHS[key]
            if not isinstance(value, str) or not low <= len(value) <= high:
                fault(where, f"{key} {value!r} is not a string of {low} to {high} characters")
        if key.endswith("Url") and not re.match(URL, str(value)):
            fault(where, f"{key} {value!r} is not an http(s) address")
        if key.endswith("Locale") and not re.match(LOCALE, str(value)):
            fault(where, f"{key} {value!r} is not a locale")


def nsis_define(source, name):
    with open(os.path.join(source, "packaging", "windows", "tolvane.nsi"), encoding="utf-8") as f:
        match = re.search(rf'^!define {name} "([^"]*)"', f.read(), re.M)
    return match.group(1) if match else None


def check_winget(dist, source):
    manifests = {}
    for path in sorted(glob.glob(os.path.join(dist, "*.yaml"))):
        with open(path, encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        name = os.path.basename(path)
        kind = manifest.get("ManifestType") if isinstance(manifest, dict) else None
        if kind not in REQUIRED:
            fault(name, f"ManifestType {kind!r}")
            continue
        manifests.setdefault(kind, []).append((name, manifest))
        for key in REQUIRED[kind]:
            if key not in manifest:
                fault(name, f"lacks {key}")
        if not re.match(IDENTIFIER, str(manifest.get("PackageIdentifier"))):
            fault(name, f"PackageIdentifier {manifest.get('PackageIdentifier')!r}")
        if not isinstance(manifest.get("PackageVersion"), str) or not re.match(VERSION, manifest["PackageVersion"]):
            fault(name, f"PackageVersion {manifest.get('PackageVersion')!r} is not a version string")
        if not re.match(MANIFEST_VERSION, str(manifest.get("ManifestVersion"))):
            fault(name, f"ManifestVersion {manifest.get('ManifestVersion')!r}")
        for key in ("Tags",):
            if len(manifest.get(key) or []) > 16:
                fault(name, f"more than 16 {key}")
        check_fields(name, manifest)
    for kind in ("version", "defaultLocale", "installer"):
        if len(manifests.get(kind, [])) != 1:
            fault("winget", f"{len(manifests.get(kind, []))} manifests of type {kind}, not one")
    if faults:
        return
    everything = [m for found in manifests.values() for m in found]
    if len({(m["PackageIdentifier"], m["PackageVersion"]) for _, m in everything}) != 1:
        fault("winget", "the manifests name different packages or versions")
    version = manifests["version"][0][1]
    default = manifests["defaultLocale"][0][1]
    if version["DefaultLocale"] != default["PackageLocale"]:
        fault("winget", f"DefaultLocale {version['DefaultLocale']} has no defaultLocale manifest")
    name, installer = manifests["installer"][0]
    if not installer.get("Installers"):
        fault(name, "no Installers")
    for entry in installer.get("Installers", []):
        for key in ("Architecture", "InstallerUrl", "InstallerSha256"):
            if key not in entry:
                fault(name, f"an installer lacks {key}")
        if not re.match(SHA256, str(entry.get("InstallerSha256"))):
            fault(name, f"InstallerSha256 {entry.get('InstallerSha256')!r}")
        elif str(entry["InstallerSha256"]).lower() != file_hash(dist, str(entry.get("InstallerUrl"))):
            fault(name, f"InstallerSha256 of {entry.get('InstallerUrl')} is not the hash of that file in {dist}")
        if not (entry.get("InstallerType") or installer.get("InstallerType")):
            fault(name, "an installer has no InstallerType")
    for mode in installer.get("InstallModes", []):
        if mode not in INSTALL_MODES:
            fault(name, f"InstallMode {mode!r}")
    for code in installer.get("ExpectedReturnCodes", []):
        if code.get("InstallerReturnCode") in (None, 0) or "ReturnResponse" not in code:
            fault(name, f"ExpectedReturnCode {code}")
    try:
        datetime.date.fromisoformat(str(installer.get("ReleaseDate")))
    except ValueError:
        fault(name, f"ReleaseDate {installer.get('ReleaseDate')!r} is not a date")
    # What the installer writes: its uninstall entry's key name is the product code.
    key = nsis_define(source, "UNINSTALL_KEY").rsplit("\\", 1)[-1]
    entries = installer.get("AppsAndFeaturesEntries") or [{}]
    if installer.get("ProductCode") != key or any(e.get("ProductCode") != key for e in entries):
        fault(name, f"the product code is not the uninstall entry's key {key!r}")
    if any(e.get("DisplayName") != nsis_define(source, "DISPLAY_NAME") for e in entries):
        fault(name, "DisplayName is not the uninstall entry's")
    if any(e.get("DisplayVersion") != installer["PackageVersion"] for e in entries):
        fault(name, "DisplayVersion is not the package version")
    if installer.get("Scope") != "user" or installer.get("InstallerSwitches", {}).get("Silent") != "/S":
        fault(name, "not the per-user installer silent with /S")


def pe_machine(data):
    if len(data) < 0x40:
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def check_scoop(dist):
    name = "tolvane.json"
    with open(os.path.join(dist, name), encoding="utf-8") as f:
        app = json.load(f)
    for key in set(app) - SCOOP_KEYS:
        fault(name, f"{key} is not a property of the schema")
    if not re.match(SCOOP_VERSION, str(app.get("version"))):
        fault(name, f"version {app.get('version')!r}")
    for key in ("description", "homepage", "license"):
        if not app.get(key):
            fault(name, f"lacks {key}")
    if set(app.get("architecture", {})) != set(PE_MACHINE):
        fault(name, f"architectures {sorted(app.get('architecture', {}))}, not {sorted(PE_MACHINE)}")
    for bits, arch in app.get("architecture", {}).items():
        for key in set(arch) - SCOOP_ARCH_KEYS:
            fault(name, f"{bits}.{key} is not a property of the schema")
        url, digest = str(arch.get("url")), str(arch.get("hash"))
        if not re.match(URL, url) or "$" in url:
            fault(name, f"{bits}.url {url!r}")
        if not re.match(SCOOP_HASH, digest):
            fault(name, f"{bits}.hash {digest!r}")
        elif digest.lower() != file_hash(dist, url):
            fault(name, f"{bits}.hash is not the hash of {url.rsplit('/', 1)[-1]} in {dist}")
            continue
        with zipfile.ZipFile(os.path.join(dist, url.rsplit("/", 1)[-1])) as archive:
            names = archive.namelist()
            for shortcut in app.get("shortcuts", []):
                if not 2 <= len(shortcut) <= 4 or shortcut[0] not in names:
                    fault(name, f"shortcut {shortcut} is not to a file of the {bits} zip")
            program = archive.read("Tolvane.exe") if "Tolvane.exe" in names else b""
            if pe_machine(program) != PE_MACHINE.get(bits):
                fault(name, f"the {bits} zip holds a Tolvane.exe of another machine")
    if app.get("persist") != "config.ini":
        fault(name, "config.ini is not persisted")


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
