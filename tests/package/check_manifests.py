#!/usr/bin/env python3
"""check_manifests.py DIST: the winget and Scoop manifests that scripts/package --base-url wrote
carry the fields both require, string versions, the real files' hashes, the licences, and URLs that
the next release's version turns into its own; a GitHub release and a URL without the version too."""
import hashlib, json, os, subprocess, sys, tempfile
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
winget_dir = os.path.join(dist, "winget", "manifests", "v", "Vossel", "Vossel", version)
check(sorted(os.listdir(winget_dir)) == ["Vossel.Vossel.installer.yaml", "Vossel.Vossel.locale.zh-CN.yaml",
                                         "Vossel.Vossel.yaml"], "winget: the three files in the repository's layout")
for kind, suffix in (("version", ""), ("defaultLocale", ".locale.zh-CN"), ("installer", ".installer")):
    path = os.path.join(winget_dir, f"Vossel.Vossel{suffix}.yaml")
    text = open(path, encoding="utf-8").read()
    manifest = yaml.safe_load(text)
    check(f"winget-manifest.{kind}.{manifest['ManifestVersion']}." in text.splitlines()[0], f"{path}: header")
    check(manifest["ManifestType"] == kind, f"{path}: ManifestType")
    check(tuple(map(int, manifest["ManifestVersion"].split("."))) >= (1, 6, 0), f"{path}: schema")
    check(all(key in manifest for key in required[kind]), f"{path}: a required field is missing")
    check(manifest["PackageIdentifier"] == "Vossel.Vossel" and manifest["PackageVersion"] == version,
          f"{path}: identifier or version (a string) is wrong")
    if kind == "defaultLocale":
        locale = manifest
installers = manifest["Installers"]
check(locale["License"] == "MIT AND OFL-1.1" and locale["LicenseUrl"].endswith(f"/{version}/LICENSE")
      and "Vossel authors" in locale["Copyright"] and version not in locale["PackageUrl"], "winget licence")
check(os.path.isfile(os.path.join(dist, "LICENSE")) and open(os.path.join(dist, "LICENSE")).read() ==
      open(os.path.join(os.path.dirname(__file__), "../../LICENSE")).read(), "the release's LICENSE")
kinds = sorted((i["InstallerType"], i["Architecture"]) for i in installers)
check(kinds == [("nullsoft", "x64"), ("nullsoft", "x86"), ("zip", "x64"), ("zip", "x86")], f"installers {kinds}")
for installer in installers:
    name = installer["InstallerUrl"].rsplit("/", 1)[1]
    check(installer["InstallerSha256"].lower() == sha256(name), f"winget hash of {name}")
    if installer["InstallerType"] == "nullsoft":
        check(installer["Scope"] == "machine" and installer["ProductCode"], "nullsoft scope or product code")
        check(installer.get("UnsupportedArguments") == ["location"], "setup: --location is not declared unsupported")
        codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in installer.get("ExpectedReturnCodes", [])}
        check(codes == {87: "invalidParameter", 740: "blockedByPolicy"}, f"setup's return codes {codes}")
    else:
        check(installer["NestedInstallerType"] == "portable" and installer["NestedInstallerFiles"], "zip's nested installer")

def check_scoop(scoop, what):
    check(scoop["version"] == version, f"{what}: version")
    description = scoop["description"]
    check(description.isascii() and "\n" not in description and "vossel" not in description.lower(),
          f"{what}: description {description!r}")
    check(version not in scoop["homepage"] and scoop["license"] == "MIT,OFL-1.1", f"{what}: homepage or licence")
    for arch in ("32bit", "64bit"):
        entry = scoop["architecture"][arch]
        # The next release is fetched from where this one would be, with its own version there.
        updated = scoop["autoupdate"]["architecture"][arch]["url"].replace("$version", version)
        check(updated == entry["url"], f"{what}: {arch} autoupdate gives {updated}")
        check(entry["bin"] and [row[1:] for row in entry["shortcuts"]] ==
              [["Vossel"], ["Vossel start-up history", "/history"]], f"{what}: {arch} bin and shortcuts")
    check(scoop["autoupdate"]["hash"]["url"] == "$baseurl/SHA256SUMS", f"{what}: autoupdate hash")
    script = "\n".join(scoop["uninstaller"]["script"])
    check("$cmd -eq 'uninstall'" in script and "'/autostart', 'off'" in script, f"{what}: uninstaller")
    return scoop

scoop = check_scoop(json.load(open(os.path.join(dist, "scoop", "vossel.json"), encoding="utf-8")), "Scoop")
for arch in ("32bit", "64bit"):
    entry = scoop["architecture"][arch]
    check(entry["hash"] == sha256(entry["url"].rsplit("/", 1)[1]), f"Scoop {arch} hash")
check(scoop["checkver"]["reverse"] and version not in scoop["checkver"]["url"], "Scoop checkver of a folder")

# The same release served as a GitHub release, and from a URL that does not name the version.
def manifests(base_url, out):
    return subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "../../installer/manifests.py"),
                           "--out", out, "--base-url", base_url, "--version", version, "--date", "2026-01-01"],
                          capture_output=True, text=True).returncode
with tempfile.TemporaryDirectory() as out:
    for name in (f"Vossel-{version}-setup.exe", f"Vossel-{version}-portable.zip"):
        os.symlink(os.path.join(os.path.abspath(dist), name), os.path.join(out, name))
    check(manifests(f"https://github.com/o/vossel/releases/download/v{version}", out) == 0, "GitHub: manifests failed")
    github = check_scoop(json.load(open(os.path.join(out, "scoop", "vossel.json"))), "Scoop from GitHub")
    check(github["homepage"] == "https://github.com/o/vossel" and github["checkver"] == "github", "GitHub checkver")
    check(manifests("https://example.invalid/vossel/latest", out) != 0, "a URL without the version is taken")

for failure in failures: print("FAIL", failure)
print("checked the winget and Scoop manifests" if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
