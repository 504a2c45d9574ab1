#!/usr/bin/env bash
# Makes two signed releases of the sample package with a throwaway key and
# self-signed code-signing certificate, and fails unless: they are byte for
# byte the same, program and archive; the archive holds exactly the installer
# (carrying nothing), the four package files and SHA256SUMS in one folder, and
# the sums check; the single program carries the four files byte for byte;
# each signature verifies against that certificate with a SHA-1 digest and the
# signing time is SOURCE_DATE_EPOCH, and one byte changed inside a carried
# file makes the single program's fail; both signed programs still pass the
# header and import check; and a package without one of its files is refused
# with nothing written. It leaves the release unpacked in WORK/unpacked for the e2e
# scenario that installs from it.
#   check_release.sh SOURCE_FOLDER WORK_FOLDER
set -uo pipefail
source=${1:?source folder}
work=${2:?work folder}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

rm -rf "$work"
mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
    -subj "/CN=Scrivox Test Signer" -addext "extendedKeyUsage=codeSigning" >"$work/openssl.log" 2>&1 ||
    { cat "$work/openssl.log"; echo "FAIL: no throwaway certificate"; exit 1; }

version=$(sed -n 's/^project(ScrivoxSetup VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
name="ScrivoxSetup-$version"
export SOURCE_DATE_EPOCH=1700000000 # 2023-11-14 22:13:20 UTC
release() {
    "$source/scripts/release" --package "$source/sample-package" --key "$work/key.pem" --cert "$work/cert.pem" "$@"
}
for copy in first second; do
    release --out "$work/$copy" >"$work/$copy.log" 2>&1 || { cat "$work/$copy.log"; echo "FAIL: the $copy release failed"; exit 1; }
done
cat "$work/first.log"
archive="$work/first/$name.zip" single="$work/first/$name.exe"
cmp "$archive" "$work/second/$name.zip" || fail "two releases of the same commit, package, key and time differ"
cmp "$single" "$work/second/$name.exe" || fail "two single programs of the same commit, package, key and time differ"

listed=$(unzip -Z1 "$archive" | tr '\n' ' ')
expected="$name/ScrivoxSetup.exe $name/SCRIVOX.PPD $name/SCRVDRV.DLL $name/SCRVUI.DLL $name/SCRVUMPD.DLL $name/SHA256SUMS "
[ "$listed" = "$expected" ] || fail "the archive holds: $listed; expected: $expected"
mkdir -p "$work/unpacked"
unzip -q "$archive" -d "$work/unpacked" || fail "the archive cannot be unpacked"
folder="$work/unpacked/$name"
for file in SCRIVOX.PPD SCRVDRV.DLL SCRVUI.DLL SCRVUMPD.DLL; do
    cmp -s "$source/sample-package/$file" "$folder/$file" || fail "$file in the archive is not the package's"
done
(cd "$folder" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
[ "$(wc -l <"$folder/SHA256SUMS")" -eq 5 ] || fail "SHA256SUMS does not list exactly five files"

"$source/tests/release/carried_file.py" "$folder/ScrivoxSetup.exe" SCRIVOX.PPD >/dev/null 2>&1 &&
    fail "the archive's ScrivoxSetup.exe carries package files"
for file in SCRIVOX.PPD SCRVDRV.DLL SCRVUI.DLL SCRVUMPD.DLL; do
    read -r at size < <("$source/tests/release/carried_file.py" "$single" "$file") ||
        { fail "the single program does not carry $file"; continue; }
    cmp -s <(tail -c +$((at + 1)) "$single" | head -c "$size") "$source/sample-package/$file" ||
        fail "the $file the single program carries is not the package's"
done

for program in "$folder/ScrivoxSetup.exe" "$single"; do
    verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$program" 2>&1)
    status=$?
    [ "$status" -eq 0 ] || { echo "$verify"; fail "osslsigncode verify of $program exited with $status"; }
    grep -q '^Signature verification: ok' <<<"$verify" || fail "the signature of $program does not verify"
    grep -qE '^Message digest algorithm *: SHA1$' <<<"$verify" || fail "the digest of $program is not SHA-1: $(grep -i 'digest algorithm' <<<"$verify" | head -1)"
    grep -q 'Signing time: Nov 14 22:13:20 2023 GMT' <<<"$verify" || fail "the signing time of $program is not SOURCE_DATE_EPOCH: $(grep 'Signing time' <<<"$verify")"
    "$source/tests/release/check_imports.sh" "$program" "$source/tests/release/nt4-imports.txt" ||
        fail "the signed $program fails the header and import check"
done
# One byte changed inside a carried file: the signature no longer holds.
read -r at size < <("$source/tests/release/carried_file.py" "$single" SCRVDRV.DLL)
cp "$single" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=$((at + size / 2)) conv=notrunc status=none
cmp -s "$single" "$work/tampered.exe" && fail "the byte changed is the one that was there"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" >"$work/tampered.log" 2>&1 &&
    fail "a single program with a carried file changed still verifies"

# Refused: a package without one of its files, with an earlier archive of
# the same name in place; and a key that is not the certificate's.
mkdir -p "$work/partial"
cp "$source/sample-package"/* "$work/partial/"
rm "$work/partial/SCRVUI.DLL"
before=$(sha256sum <"$archive")
"$source/scripts/release" --package "$work/partial" --out "$work/first" >"$work/refused.log" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "a package without SCRVUI.DLL: exit status $status, expected 2"
grep -q 'lacks SCRVUI.DLL' "$work/refused.log" || fail "the refusal does not name SCRVUI.DLL: $(cat "$work/refused.log")"
[ "$(sha256sum <"$archive")" = "$before" ] || fail "the refused release changed the earlier archive"
[ "$(ls -A "$work/first" | tr '\n' ' ')" = "$name.exe $name.zip " ] || fail "the refused release left files behind: $(ls -A "$work/first")"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/other.pem" -out "$work/other-cert.pem" -days 30 \
    -subj "/CN=Someone Else" >/dev/null 2>&1
release --key "$work/other.pem" --out "$work/mismatch" >"$work/mismatch.log" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "a key that is not the certificate's: exit status $status, expected 2"
[ -z "$(ls -A "$work/mismatch" 2>/dev/null)" ] || fail "the refused release wrote $(ls -A "$work/mismatch")"

[ "$failed" -eq 0 ] && echo "release check: two signed releases are identical; contents, carried files, sums, SHA-1 signatures, a tampered carried file and refusals as expected"
exit "$failed"
