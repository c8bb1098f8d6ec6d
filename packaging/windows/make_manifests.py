#!/usr/bin/env python3
"""Writes the manifests of Windows' package managers into a release folder, beside the
files they describe and with their SHA-256 hashes: winget's three (version, default
locale, installer: the per-user installer, silent with /S, its uninstall entry) and
Scoop's (the portable zips for x86 and x64, config.ini kept across updates as a file).

    make_manifests.py <dist folder>

The download addresses are the home page's release files of the tag v<version>.
"""
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys

PACKAGE = "Tolvane.Tolvane"
WINGET_SCHEMA = "1.10.0"
PUBLISHER = "The Tolvane authors"
DISPLAY_NAME = "Tolvane 定时关机"
# The name of the uninstall entry's key, which winget matches as the product code.
PRODUCT_CODE = "Tolvane"
# The settings file beside the program, which Scoop keeps across updates.
SETTINGS = "config.ini"
SUMMARY = {
    "zh-CN": "在指定时间、倒计时结束或电脑闲置后关机、重启、注销、待机或休眠",
    "en-US": "Shuts down, restarts, logs off, suspends or hibernates Windows at a set time, "
             "after a countdown or when the computer is left idle",
}


def project(fact):
    here = os.path.dirname(os.path.abspath(__file__))
    return subprocess.run([os.path.join(here, "..", "project.sh"), fact], check=True,
                          capture_output=True, text=True).stdout.strip()


def nsis_define(name):
    """A number tolvane.nsi defines, such as its exit codes."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "tolvane.nsi"), encoding="utf-8") as f:
        return int(re.search(rf"^!define {name} (\d+)$", f.read(), re.M).group(1))


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def yaml_scalar(value):
    # A JSON string is a YAML double-quoted scalar.
    return json.dumps(value, ensure_ascii=False) if isinstance(value, str) else str(value)


def yaml_lines(value, indent=""):
    """Block-style YAML of dicts, lists and scalars, in the order given."""
    lines = []
    if isinstance(value, dict):
        for key, item in value.items():
            if isinstance(item, (dict, list)):
                lines.append(f"{indent}{key}:")
                lines += yaml_lines(item, indent + "  ")
            else:
                lines.append(f"{indent}{key}: {yaml_scalar(item)}")
    else:
        for item in value:
            if isinstance(item, dict):
                inner = yaml_lines(item, indent + "  ")
                lines.append(f"{indent}- {inner[0].lstrip()}")
                lines += inner[1:]
            else:
                lines.append(f"{indent}- {yaml_scalar(item)}")
    return lines


def write_yaml(path, kind, manifest):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{WINGET_SCHEMA}.schema.json\n")
        f.write("\n".join(yaml_lines(manifest)) + "\n")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    dist = sys.argv[1]
    version, homepage, copyright_line = project("version"), project("homepage"), project("copyright")
    downloads = f"{homepage}/releases/download/v{version}"
    setup = f"Tolvane-{version}-setup.exe"
    zips = {arch: f"Tolvane-{version}-{arch}.zip" for arch in ("x86", "x64")}
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    released = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).date().isoformat()
    common = {"PackageIdentifier": PACKAGE, "PackageVersion": version}

    write_yaml(os.path.join(dist, f"{PACKAGE}.yaml"), "version",
               {**common, "DefaultLocale": "zh-CN", "ManifestType": "version", "ManifestVersion": WINGET_SCHEMA})
    for locale, kind in (("zh-CN", "defaultLocale"), ("en-US", "locale")):
        write_yaml(os.path.join(dist, f"{PACKAGE}.locale.{locale}.yaml"), kind, {
            **common, "PackageLocale": locale, "Publisher": PUBLISHER, "PublisherUrl": homepage,
            "PublisherSupportUrl": f"{homepage}/issues", "PackageName": DISPLAY_NAME if locale == "zh-CN" else "Tolvane",
            "PackageUrl": homepage, "License": "MIT", "LicenseUrl": f"{homepage}/blob/v{version}/LICENSE",
            "Copyright": copyright_line, "ShortDescription": SUMMARY[locale], "Moniker": "tolvane",
            "Tags": ["shutdown", "timer", "countdown", "关机", "定时关机"],
            "ReleaseNotesUrl": f"{homepage}/releases/tag/v{version}",
            "ManifestType": kind, "ManifestVersion": WINGET_SCHEMA})
    setup_hash = sha256(os.path.join(dist, setup)).upper()
    write_yaml(os.path.join(dist, f"{PACKAGE}.installer.yaml"), "installer", {
        **common, "InstallerLocale": "zh-CN", "MinimumOSVersion": "5.1.2600", "InstallerType": "nullsoft",
        "Scope": "user", "InstallModes": ["interactive", "silent", "silentWithProgress"],
        "InstallerSwitches": {"Silent": "/S", "SilentWithProgress": "/S", "InstallLocation": "/D=<INSTALLPATH>"},
        # NSIS's exit code 1: the user cancelled. The installed program is running, and the
        # installer changed nothing: a code of its own. NSIS's 2 (aborted: a full disk, a
        # folder that cannot be written) is a plain failure.
        "ExpectedReturnCodes": [
            {"InstallerReturnCode": 1, "ReturnResponse": "cancelledByUser"},
            {"InstallerReturnCode": nsis_define("EXIT_RUNNING"), "ReturnResponse": "packageInUseByApplication"}],
        "UpgradeBehavior": "install", "ProductCode": PRODUCT_CODE, "ReleaseDate": released,
        "AppsAndFeaturesEntries": [{"DisplayName": DISPLAY_NAME, "Publisher": PUBLISHER, "DisplayVersion": version,
                                    "ProductCode": PRODUCT_CODE}],
        "ElevationRequirement": "elevationProhibited",
        "Installers": [{"Architecture": arch, "InstallerUrl": f"{downloads}/{setup}", "InstallerSha256": setup_hash}
                       for arch in ("x86", "x64")],
        "ManifestType": "installer", "ManifestVersion": WINGET_SCHEMA})

    scoop = {
        "version": version,
        "description": f"{DISPLAY_NAME}: {SUMMARY['en-US']}",
        "homepage": homepage,
        "license": "MIT",
        "architecture": {bits: {"url": f"{downloads}/{zips[arch]}", "hash": sha256(os.path.join(dist, zips[arch]))}
                         for bits, arch in (("64bit", "x64"), ("32bit", "x86"))},
        "shortcuts": [["Tolvane.exe", DISPLAY_NAME]],
        # Scoop links each persisted name to its copy in the persist folder, and makes a
        # name that neither the zip nor that folder holds into a folder, which the
        # program can neither read nor save. So the first install makes config.ini as an
        # empty file for Scoop to move there; an empty folder of that name, left by a
        # release whose manifest lacked this, is taken away first.
        "pre_install": [
            f'$persisted = "$persist_dir\\{SETTINGS}"',
            "if ((Test-Path $persisted -PathType Container) -and !(Get-ChildItem -Force $persisted)) "
            "{ Remove-Item $persisted }",
            f'if (!(Test-Path $persisted)) {{ New-Item -ItemType File -Path "$dir\\{SETTINGS}" | Out-Null }}',
        ],
        "persist": [SETTINGS],
        "checkver": {"github": homepage},
        "autoupdate": {"architecture": {
            bits: {"url": f"{homepage}/releases/download/v$version/Tolvane-$version-{arch}.zip"}
            for bits, arch in (("64bit", "x64"), ("32bit", "x86"))}},
    }
    with open(os.path.join(dist, "tolvane.json"), "w", encoding="utf-8", newline="\n") as f:
        f.write(json.dumps(scoop, ensure_ascii=False, indent=4) + "\n")


if __name__ == "__main__":
    main()
