#!/usr/bin/env bash
# check_dist.sh DIST_DIR: what scripts/package made. The names and both version records carry the
# version in VERSION; the zip holds the two exes of the right kind, the user's page and both
# licences with CRLF ends; the setup program carries the licence too.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
version=$(tr -d '[:space:]' <"$repo/VERSION")
zip=$1/Vossel-$version-portable.zip
setup=$1/Vossel-$version-setup.exe
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# a.b.c.d from the first VS_FIXEDFILEINFO (signature 0xFEEF04BD) of a PE file.
fixed_version() {
    local at
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -1 | cut -d: -f1)
    [[ -n $at ]] || return 1
    od -An -tu2 -j$((at + 8)) -N8 "$1" | awk '{ print $2 "." $1 "." $4 "." $3 }'
}
machine() { od -An -tx1 -j"$(($(od -An -tu4 -j60 -N4 "$1") + 4))" -N2 "$1" | tr -d ' \n'; }

for file in "$zip" "$setup"; do [[ -f $file ]] || fail "no $file"; done
[[ $(fixed_version "$setup") == "$version" ]] || fail "setup.exe's version record is $(fixed_version "$setup")"

listing=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
[[ $listing == "DSEG-LICENSE.txt LICENSE.txt README.txt x64/Vossel.exe x86/Vossel.exe " ]] || fail "the zip holds $listing"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
[[ $(machine "$unpacked/x86/Vossel.exe") == 4c01 ]] || fail "x86/Vossel.exe is not a 32-bit exe"
[[ $(machine "$unpacked/x64/Vossel.exe") == 6486 ]] || fail "x64/Vossel.exe is not a 64-bit exe"
for exe in "$unpacked"/x*/Vossel.exe; do
    [[ $(fixed_version "$exe") == "$version" ]] || fail "$exe's version record is $(fixed_version "$exe")"
done
for text in README.txt LICENSE.txt DSEG-LICENSE.txt; do
    grep -qv $'\r$' "$unpacked/$text" && fail "$text has lines without CRLF"
done
grep -q 'SIL OPEN FONT LICENSE' "$unpacked/DSEG-LICENSE.txt" || fail "DSEG-LICENSE.txt is not the OFL"
grep -q '^Copyright (c) .* the Vossel authors' "$unpacked/LICENSE.txt" && grep -q '^MIT License' "$unpacked/LICENSE.txt" ||
    fail "LICENSE.txt is not the MIT licence of the Vossel authors"
# A user's page, not the developer README: the three languages, this version, how to remove a copy.
readme=$unpacked/README.txt
[[ $(stat -c %s "$readme") -lt 8000 ]] || fail "README.txt has $(stat -c %s "$readme") bytes"
for text in "Vossel $version" 删除 移除 'Removing it' 'x64\Vossel.exe /autostart off' LICENSE.txt; do
    grep -qF "$text" "$readme" || fail "README.txt lacks $text"
done
grep -q '@[A-Z]*@\|cmake\|scripts/' "$readme" && fail "README.txt has a placeholder or build instructions"
for exe in "$unpacked"/x*/Vossel.exe "$setup"; do
    # LegalCopyright, in the version record's UTF-16
    LC_ALL=C grep -qaP 'C\x00o\x00p\x00y\x00r\x00i\x00g\x00h\x00t\x00 \x00\(\x00c\x00\)' "$exe" ||
        fail "$exe's version record has no copyright"
done
7zz l "$setup" </dev/null | grep -q ' LICENSE\.txt$' || fail "the setup program does not carry LICENSE.txt"
grep -q " LICENSE$" "$1/SHA256SUMS" || fail "SHA256SUMS does not cover LICENSE"

((failures == 0)) && echo "checked $zip and $setup"
((failures == 0))
