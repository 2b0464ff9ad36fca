#!/usr/bin/env bash
# signing_test.sh: scripts/package --prebuilt with a throw-away CA and code-signing certificate.
# Both exes, the setup program and the uninstaller inside it must verify against that CA, a changed
# byte must not, and partial settings or a wrong password must stop with no release left.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
version=$(tr -d '[:space:]' <"$repo/VERSION")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
# osslsigncode verify exits 0 on some failures, so its report is read instead.
verifies() { osslsigncode verify -CAfile ca.crt -in "$1" 2>&1 | grep -q '^Signature verification: ok'; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 30 -subj /CN=TestCA \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout cs.key -out cs.csr -subj /CN=Vossel 2>/dev/null
openssl x509 -req -in cs.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 30 -out cs.crt \
    -extfile <(printf 'extendedKeyUsage=codeSigning\nkeyUsage=digitalSignature\n') 2>/dev/null
openssl pkcs12 -export -inkey cs.key -in cs.crt -out cs.p12 -passout pass:secret || exit 1

package() { env "$@" "$repo/scripts/package" --prebuilt --dist "$work/dist" >>package.log 2>&1; }
package VOSSEL_SIGN_PKCS12=cs.p12 VOSSEL_SIGN_PASSWORD=secret || { cat package.log; exit 1; }
unzip -q "dist/Vossel-$version-portable.zip" -d zip
7zz x -y -ounpacked "dist/Vossel-$version-setup.exe" </dev/null >/dev/null
uninstaller=$(find unpacked -iname uninstall.exe | head -1)
for file in zip/x86/Vossel.exe zip/x64/Vossel.exe "dist/Vossel-$version-setup.exe" "$uninstaller"; do
    [[ -f $file ]] && verifies "$file" || fail "$file is not signed by the test CA"
done
cp "dist/Vossel-$version-setup.exe" changed.exe
printf 'X' | dd of=changed.exe bs=1 seek=2000 conv=notrunc 2>/dev/null
verifies changed.exe && fail "a setup program with a changed byte still verifies"
(cd dist && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match the signed files"

# Each of these must fail and leave no release in dist.
for settings in "VOSSEL_SIGN_PKCS12=cs.p12" "VOSSEL_SIGN_PASSWORD=secret" \
    "VOSSEL_SIGN_TIMESTAMP_URL=http://127.0.0.1:9" "VOSSEL_SIGN_PKCS12=cs.p12 VOSSEL_SIGN_PASSWORD=wrong"; do
    rm -rf dist
    # shellcheck disable=SC2086
    package $settings && fail "$settings did not stop the release"
    [[ -z $(ls dist 2>/dev/null) ]] || fail "$settings left $(ls dist 2>/dev/null | tr '\n' ' ')in dist"
done
((failures == 0)) && echo "signing: exes, setup program and uninstaller verify; bad settings stop"
((failures == 0))
