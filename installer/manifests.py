#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of a release whose files scripts/package has made in OUT
and that will be served from BASE_URL, a folder whose last part names the version ("1.0.0.0" or
"v1.0.0.0"), beside the folders of the other versions. Every hash is read from the files themselves.
A GitHub release (https://github.com/OWNER/REPO/releases/download/TAG) has the repository as its
homepage; any other server's homepage is the folder above the versions' folders, which must list
them, oldest first, as directory listings do."""
import argparse
import hashlib
import json
import os
import re
import sys

PACKAGE = "Vossel.Vossel"
MANIFEST_VERSION = "1.10.0"
# The setup program's "Apps & features" key (UNINSTALL_KEY in vossel.nsi).
PRODUCT_CODE = "Vossel"
PUBLISHER = "Vossel"
COPYRIGHT = "Copyright (c) 2026 the Vossel authors"
# Vossel's own, and the DSEG face's that the exe embeds.
LICENSE = "MIT AND OFL-1.1"
SCOOP_LICENSE = "MIT,OFL-1.1"
SHORT_DESCRIPTION = "显示这台电脑本次开机所用的时间。"
DESCRIPTION = ("Vossel 在登录时显示本次开机所用的时间，然后自行消失。"
               "Shows at log-on how long the computer took to start, then goes away by itself.")
INSTALLATION_NOTES = ("便携版在卸载前请先运行 vossel /autostart off，以删除它的开机自启动项。"
                      "Before uninstalling the portable package, run: vossel /autostart off")
SCOOP_DESCRIPTION = "Shows at log-on how long the computer took to start, then goes away by itself."

# The exe removes the user's Run entry and Explorer's record of it when the entry starts this copy,
# by its version folder or through "current". Not on "scoop update": "current" stays good.
SCOOP_UNINSTALLER = [
    "if ($cmd -eq 'uninstall') {",
    "    $folder = if ($architecture -eq '32bit') { 'x86' } else { 'x64' }",
    "    Start-Process -FilePath \"$dir\\$folder\\Vossel.exe\" -ArgumentList '/autostart', 'off' -Wait",
    "}",
]


class ReleaseLocation:
    """Where this release and the next ones are served."""

    def __init__(self, base_url, version):
        folder, _, last = base_url.rpartition("/")
        if not folder or not last.endswith(version):
            sys.exit(f"manifests: {base_url} must end in a folder named after the version {version}")
        self.base_url = base_url
        self.prefix = last[: -len(version)]
        # The next version's folder: $version in place of this one.
        self.template = f"{folder}/{self.prefix}$version"
        github = re.fullmatch(r"(https://github\.com/[^/]+/[^/]+)/releases/download", folder)
        if github:
            self.homepage = github.group(1)
            # Scoop's own "github" takes the latest release's tag, with or without a "v".
            self.checkver = ("github" if self.prefix in ("", "v", "V") else
                             {"url": f"{self.homepage}/releases/latest",
                              "regex": "/releases/tag/" + re.escape(self.prefix) + r"([\d.]+)"})
        else:
            self.homepage = folder
            self.checkver = {"url": f"{folder}/",
                             "regex": 'href="(?:\\./)?' + re.escape(self.prefix) + r'([\d.]+)/"',
                             "reverse": True}


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def quoted(text):
    # JSON's double-quoted strings are YAML's too; a quoted version stays a string ("1.10").
    return json.dumps(text, ensure_ascii=False)


def yaml_file(path, kind, lines):
    header = [f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json", ""]
    footer = [f"ManifestType: {kind}", f"ManifestVersion: {MANIFEST_VERSION}"]
    with open(path, "w", encoding="utf-8", newline="\n") as file:
        file.write("\n".join(header + lines + footer) + "\n")


def winget(out, location, version, date, setup, portable):
    # The layout of winget's community repository: manifests/<letter>/<publisher>/<name>/<version>.
    parts = PACKAGE.split(".")
    folder = os.path.join(out, "winget", "manifests", parts[0][0].lower(), *parts, version)
    os.makedirs(folder, exist_ok=True)
    base_url = location.base_url
    common = [f"PackageIdentifier: {PACKAGE}", f"PackageVersion: {quoted(version)}"]
    yaml_file(os.path.join(folder, f"{PACKAGE}.yaml"), "version",
              common + ["DefaultLocale: zh-CN"])
    yaml_file(os.path.join(folder, f"{PACKAGE}.locale.zh-CN.yaml"), "defaultLocale", common + [
        "PackageLocale: zh-CN",
        f"Publisher: {quoted(PUBLISHER)}",
        "PackageName: Vossel",
        f"PackageUrl: {quoted(location.homepage)}",
        f"License: {quoted(LICENSE)}",
        f"LicenseUrl: {quoted(f'{base_url}/LICENSE')}",
        f"Copyright: {quoted(COPYRIGHT)}",
        f"ShortDescription: {quoted(SHORT_DESCRIPTION)}",
        f"Description: {quoted(DESCRIPTION)}",
        "Moniker: vossel",
        # winget removes a portable package's files only; the start entry is the program's own.
        f"InstallationNotes: {quoted(INSTALLATION_NOTES)}",
    ])
    installers = []
    # One setup program holds both exes and picks one when it runs.
    for architecture in ("x86", "x64"):
        installers += [
            f"- Architecture: {architecture}",
            "  InstallerType: nullsoft",
            "  Scope: machine",
            f"  InstallerUrl: {quoted(f'{base_url}/{setup}')}",
            f"  InstallerSha256: {sha256(os.path.join(out, setup))}",
            "  ElevationRequirement: elevatesSelf",
            "  # --location is ignored: the setup program always installs into Program Files, as the",
            "  # machine-wide start entry is only safe for a file that ordinary users cannot change.",
            "  UnsupportedArguments:",
            "  - location",
            "  ExpectedReturnCodes:",
            "  - InstallerReturnCode: 87",  # an /AUTOSTART other than 0 or 1
            "    ReturnResponse: invalidParameter",
            "  - InstallerReturnCode: 740",  # not an administrator: one has to install it
            "    ReturnResponse: blockedByPolicy",
            f"  ProductCode: {quoted(PRODUCT_CODE)}",
            "  AppsAndFeaturesEntries:",
            "  - DisplayName: Vossel",
            f"    Publisher: {quoted(PUBLISHER)}",
            f"    DisplayVersion: {quoted(version)}",
            f"    ProductCode: {quoted(PRODUCT_CODE)}",
        ]
    for architecture in ("x86", "x64"):
        installers += [
            f"- Architecture: {architecture}",
            "  InstallerType: zip",
            "  NestedInstallerType: portable",
            "  NestedInstallerFiles:",
            f"  - RelativeFilePath: {quoted(architecture + chr(92) + 'Vossel.exe')}",
            "    PortableCommandAlias: vossel",
            f"  InstallerUrl: {quoted(f'{base_url}/{portable}')}",
            f"  InstallerSha256: {sha256(os.path.join(out, portable))}",
        ]
    yaml_file(os.path.join(folder, f"{PACKAGE}.installer.yaml"), "installer", common + [
        "InstallerLocale: zh-CN",
        "MinimumOSVersion: 10.0.0.0",
        "UpgradeBehavior: install",
        f"ReleaseDate: {quoted(date)}",
        "Installers:",
    ] + installers)


def scoop(out, location, version, portable):
    folder = os.path.join(out, "scoop")
    os.makedirs(folder, exist_ok=True)
    zip_hash = sha256(os.path.join(out, portable)).lower()
    zip_url = f"{location.base_url}/{portable}"
    next_zip_url = f"{location.template}/Vossel-$version-portable.zip"

    def architecture(folder_name):
        exe = f"{folder_name}\\Vossel.exe"
        # Shortcuts start the program as a GUI program should be started, the history window too.
        # "vossel" stays on the path for "vossel /autostart off" and "/history": Scoop 0.4 and
        # later give an exe of the Windows subsystem a shim that opens no console.
        return {"url": zip_url, "hash": zip_hash,
                "bin": [[exe, "vossel"]],
                "shortcuts": [[exe, "Vossel"], [exe, "Vossel start-up history", "/history"]]}

    # In the order that the Extras bucket keeps its manifests' fields.
    manifest = {
        "version": version,
        "description": SCOOP_DESCRIPTION,
        "homepage": location.homepage,
        "license": SCOOP_LICENSE,
        "architecture": {"64bit": architecture("x64"), "32bit": architecture("x86")},
        "uninstaller": {"script": SCOOP_UNINSTALLER},
        "checkver": location.checkver,
        "autoupdate": {
            "architecture": {"64bit": {"url": next_zip_url}, "32bit": {"url": next_zip_url}},
            "hash": {"url": "$baseurl/SHA256SUMS"},
        },
    }
    with open(os.path.join(folder, "vossel.json"), "w", encoding="utf-8", newline="\n") as file:
        json.dump(manifest, file, ensure_ascii=False, indent=4)
        file.write("\n")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--out", "--base-url", "--version", "--date"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    setup = f"Vossel-{options.version}-setup.exe"
    portable = f"Vossel-{options.version}-portable.zip"
    location = ReleaseLocation(options.base_url, options.version)
    winget(options.out, location, options.version, options.date, setup, portable)
    scoop(options.out, location, options.version, portable)


if __name__ == "__main__":
    main()
