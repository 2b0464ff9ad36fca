#!/usr/bin/env python3
"""check_manifests.py DIST: the winget and Scoop manifests that scripts/package --base-url wrote
carry the fields both require, string versions, and the real files' hashes."""
import hashlib, json, os, sys
import yaml

dist = sys.argv[1]
version = open(os.path.join(os.path.dirname(__file__), "../../VERSION")).read().strip()
failures = []
def check(ok, what):
    if not ok: failures.append(what)
def sha256(name):
    return hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest()

required = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher",
                      "PackageName", "License", "ShortDescription"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers"],
}
for kind, suffix in (("version", ""), ("defaultLocale", ".locale.zh-CN"), ("installer", ".installer")):
    path = os.path.join(dist, "winget", f"Vossel.Vossel{suffix}.yaml")
    text = open(path, encoding="utf-8").read()
    manifest = yaml.safe_load(text)
    check(f"winget-manifest.{kind}.{manifest['ManifestVersion']}." in text.splitlines()[0], f"{path}: header")
    check(manifest["ManifestType"] == kind, f"{path}: ManifestType")
    check(tuple(map(int, manifest["ManifestVersion"].split("."))) >= (1, 6, 0), f"{path}: schema")
    check(all(key in manifest for key in required[kind]), f"{path}: a required field is missing")
    check(manifest["PackageIdentifier"] == "Vossel.Vossel" and manifest["PackageVersion"] == version,
          f"{path}: identifier or version (a string) is wrong")
installers = manifest["Installers"]
kinds = sorted((i["InstallerType"], i["Architecture"]) for i in installers)
check(kinds == [("nullsoft", "x64"), ("nullsoft", "x86"), ("zip", "x64"), ("zip", "x86")], f"installers {kinds}")
for installer in installers:
    name = installer["InstallerUrl"].rsplit("/", 1)[1]
    check(installer["InstallerSha256"].lower() == sha256(name), f"winget hash of {name}")
    if installer["InstallerType"] == "nullsoft":
        check(installer["Scope"] == "machine" and installer["ProductCode"], "nullsoft scope or product code")
    else:
        check(installer["NestedInstallerType"] == "portable" and installer["NestedInstallerFiles"], "zip's nested installer")

scoop = json.load(open(os.path.join(dist, "scoop", "vossel.json"), encoding="utf-8"))
check(scoop["version"] == version, "Scoop version")
for arch in ("32bit", "64bit"):
    entry = scoop["architecture"][arch]
    check(entry["hash"] == sha256(entry["url"].rsplit("/", 1)[1]), f"Scoop {arch} hash")
    check(entry["bin"] and entry["shortcuts"], f"Scoop {arch} bin and shortcut")
check(scoop["autoupdate"]["hash"]["url"].endswith("/SHA256SUMS"), "Scoop autoupdate hash")

for failure in failures: print("FAIL", failure)
print("checked the winget and Scoop manifests" if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
