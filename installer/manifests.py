#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of a release whose files scripts/package has made in OUT
and that will be served from BASE_URL. Every hash is read from the files themselves."""
import argparse
import hashlib
import json
import os

PACKAGE = "Vossel.Vossel"
MANIFEST_VERSION = "1.10.0"
# The setup program's "Apps & features" key (UNINSTALL_KEY in vossel.nsi).
PRODUCT_CODE = "Vossel"
PUBLISHER = "Vossel"
LICENSE = "Proprietary"
SHORT_DESCRIPTION = "显示这台电脑本次开机所用的时间。"
DESCRIPTION = ("Vossel 在登录时显示本次开机所用的时间，然后自行消失。"
               "Shows at log-on how long the computer took to start, then goes away by itself.")


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


def winget(out, base_url, version, date, setup, portable):
    folder = os.path.join(out, "winget")
    os.makedirs(folder, exist_ok=True)
    common = [f"PackageIdentifier: {PACKAGE}", f"PackageVersion: {quoted(version)}"]
    yaml_file(os.path.join(folder, f"{PACKAGE}.yaml"), "version",
              common + ["DefaultLocale: zh-CN"])
    yaml_file(os.path.join(folder, f"{PACKAGE}.locale.zh-CN.yaml"), "defaultLocale", common + [
        "PackageLocale: zh-CN",
        f"Publisher: {quoted(PUBLISHER)}",
        "PackageName: Vossel",
        f"License: {quoted(LICENSE)}",
        f"ShortDescription: {quoted(SHORT_DESCRIPTION)}",
        f"Description: {quoted(DESCRIPTION)}",
        "Moniker: vossel",
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


def scoop(out, base_url, version, portable):
    folder = os.path.join(out, "scoop")
    os.makedirs(folder, exist_ok=True)
    # Where the folder's URL names the version, the next release is found by putting its own there.
    template = base_url.replace(version, "$version") if version in base_url else base_url
    zip_hash = sha256(os.path.join(out, portable)).lower()

    def architecture(folder_name):
        exe = f"{folder_name}\\Vossel.exe"
        return {"url": f"{base_url}/{portable}", "hash": zip_hash,
                "bin": [[exe, "vossel"]], "shortcuts": [[exe, "Vossel"]]}

    manifest = {
        "version": version,
        "description": DESCRIPTION,
        "homepage": base_url,
        "license": LICENSE,
        "architecture": {"64bit": architecture("x64"), "32bit": architecture("x86")},
        # The folder above the versions' folders, where that lists them.
        "checkver": {"url": template.split("$version")[0] if "$version" in template else base_url,
                     "regex": r"Vossel-([\d.]+)-portable\.zip"},
        "autoupdate": {
            "architecture": {
                "64bit": {"url": f"{template}/Vossel-$version-portable.zip"},
                "32bit": {"url": f"{template}/Vossel-$version-portable.zip"},
            },
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
    winget(options.out, options.base_url, options.version, options.date, setup, portable)
    scoop(options.out, options.base_url, options.version, portable)


if __name__ == "__main__":
    main()
