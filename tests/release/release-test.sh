#!/usr/bin/env bash
# Runs scripts/release.sh signed with a throwaway certificate and checks what an
# administrator relies on: the signatures read back, the signed exe runs, the
# x64 MSI installs into a fresh Wine prefix (files, PATH, Programs and Features),
# a higher version replaces it, uninstalling leaves nothing, and the zips,
# SHA256SUMS and package-manager manifests agree.
#   release-test.sh <source dir> <work dir>
set -euo pipefail
export LC_ALL=C
source=$1
work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }
sha() { sha256sum "$1" | cut -d' ' -f1; }

export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
cleanup
rm -rf "$work"
mkdir -p "$work"

step "a throwaway code-signing certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=pravik release test" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

step "release 1.0.0, signed"
dist=$work/dist
PRAVIK_SIGN_CERT=$work/cert.pem PRAVIK_SIGN_KEY=$work/key.pem PRAVIK_DIST=$dist \
  PRAVIK_RELEASE_URL='https://example.org/pravik/v{version}/{file}' bash "$source/scripts/release.sh" | tee "$work/release.log"
grep -q UNSIGNED "$work/release.log" && fail "a signed release says it is unsigned"
version=$(sed -n 's/^project(pravik VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
v=pravik-$version
winget=winget/manifests/p/Pravik/Pravik/$version
expected=$(printf '%s\n' "$v-win-x64.zip" "$v-win-x86.zip" "$v-x64.msi" "$v-x86.msi" SHA256SUMS \
  chocolatey/pravik.nuspec chocolatey/tools/chocolateyInstall.ps1 chocolatey/tools/chocolateyUninstall.ps1 \
  scoop/pravik.json "$winget/Pravik.Pravik.yaml" "$winget/Pravik.Pravik.installer.yaml" \
  "$winget/Pravik.Pravik.locale.en-US.yaml" | LC_ALL=C sort)
[ "$(cd "$dist" && find . -type f -printf '%P\n' | LC_ALL=C sort)" = "$expected" ] || fail "dist holds $(ls -R "$dist")"

step "the zips hold the same files, and SHA256SUMS names every file with its hash"
for arch in x64 x86; do
  mkdir -p "$work/zip-$arch"
  (cd "$work/zip-$arch" && cmake -E tar xf "$dist/$v-win-$arch.zip")
  [ "$(ls "$work/zip-$arch" | tr '\n' ' ')" = "LICENSE NOTICE README.md pravik-sample.cfg pravik-sample.jar pravik.exe pravik.jar " ] ||
    fail "$arch zip holds $(ls "$work/zip-$arch")"
done
(cd "$work/zip-x64" && cmake -E tar xf pravik.jar META-INF/MANIFEST.MF)
grep -q "^Implementation-Version: $version" "$work/zip-x64/META-INF/MANIFEST.MF" || fail "pravik.jar's manifest"
[ "$(cut -d' ' -f3 "$dist/SHA256SUMS")" = "$(grep -vx SHA256SUMS <<<"$expected")" ] || fail "SHA256SUMS lists $(cat "$dist/SHA256SUMS")"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"

step "every exe and MSI carries a SHA-256 signature by the test certificate, over the file as it is"
for file in "$work/zip-x64/pravik.exe" "$work/zip-x86/pravik.exe" "$dist/$v-x64.msi" "$dist/$v-x86.msi"; do
  # The self-signed certificate chains to nothing the system trusts, so verify
  # fails; it still reads the signature back (osslsigncode 2.5 and 2.9).
  osslsigncode verify -in "$file" >"$work/verify.log" 2>&1 || true
  grep -Eq '^Message digest algorithm *: SHA256' "$work/verify.log" && grep -q 'Subject: /CN=pravik release test' "$work/verify.log" ||
    fail "$file: no signature read back: $(cat "$work/verify.log")"
  if [[ $file == *.exe ]]; then
    # The digest the signature holds and the one of the file (MSIs: only 2.9 prints both).
    current=$(sed -n 's/^Current message digest *: //p' "$work/verify.log")
    [ -n "$current" ] && [ "$current" = "$(sed -n 's/^Calculated message digest *: //p' "$work/verify.log")" ] ||
      fail "$file: digest mismatch: $(cat "$work/verify.log")"
  fi
  # With the test certificate as the trusted root, digest and chain verify.
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 || fail "$file: $(cat "$work/verify.log")"
done

step "the signed exe runs"
wineboot -i </dev/null >/dev/null 2>&1
wine "$work/zip-x64/pravik.exe" -? </dev/null >"$work/help.txt" 2>&1 || fail "pravik.exe -?: $(cat "$work/help.txt")"
grep -q "^Usage: pravik" "$work/help.txt" || fail "no usage text: $(cat "$work/help.txt")"

program_files=$WINEPREFIX/drive_c/Program\ Files/pravik
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
system_path() { wine reg query "$environment" /v PATH </dev/null | tr -d '\r' | sed -n 's/.*REG_EXPAND_SZ *//p'; }
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
display_version() { wine reg query "$uninstall\\$1" /v DisplayVersion </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
msiexec() { wine msiexec "$1" "$(winepath -w "$2")" /qn </dev/null || fail "msiexec $1 $2"; }

step "the x64 MSI installs into Program Files, joins the PATH and shows its version"
msiexec /i "$dist/$v-x64.msi"
cmp -s "$program_files/pravik.exe" "$work/zip-x64/pravik.exe" || fail "no signed pravik.exe in $program_files"
system_path | grep -q 'C:\\Program Files\\pravik\\' || fail "PATH is $(system_path)"
# A process started afterwards reads the system PATH from the registry.
(cd "$work" && wine cmd /c pravik -? </dev/null >"$work/help.txt" 2>&1) || fail "cmd /c pravik -?: $(cat "$work/help.txt")"
grep -q "^Usage: pravik" "$work/help.txt" || fail "pravik not found through PATH: $(cat "$work/help.txt")"
# The sample configuration's class path names the installed jars.
IFS=';' read -ra jars <<<"$(sed -n 's/^jvmOption1=-Djava.class.path=//p' "$program_files/pravik-sample.cfg" | tr -d '\r')"
[ "${#jars[@]}" = 2 ] || fail "sample class path: ${jars[*]}"
for jar in "${jars[@]}"; do
  [ -f "$(winepath -u "$jar" </dev/null)" ] || fail "the sample configuration names $jar, which is not installed"
done
first=$(product_code "$dist/$v-x64.msi")
[ "$(display_version "$first")" = "$version" ] || fail "uninstall entry $first shows '$(display_version "$first")'"

step "an MSI of a higher version replaces it"
newer=$(IFS=.; read -r major minor patch <<<"$version"; echo "$major.$minor.$((patch + 1))")
PRAVIK_VERSION=$newer PRAVIK_RELEASE_ARCHS=x64 PRAVIK_RELEASE_REUSE=1 PRAVIK_DIST=$work/dist-newer \
  bash "$source/scripts/release.sh" >"$work/release-newer.log" ||
  fail "$(cat "$work/release-newer.log")"
grep -q "files are UNSIGNED" "$work/release-newer.log" || fail "an unsigned release does not say so"
msiexec /i "$work/dist-newer/pravik-$newer-x64.msi"
second=$(product_code "$work/dist-newer/pravik-$newer-x64.msi")
[ "$(display_version "$second")" = "$newer" ] || fail "the newer entry shows '$(display_version "$second")'"
[ -z "$(display_version "$first")" ] || fail "the older entry $first stays"
mkdir -p "$work/zip-newer"
(cd "$work/zip-newer" && cmake -E tar xf "$work/dist-newer/pravik-$newer-win-x64.zip")
cmp -s "$program_files/pravik.exe" "$work/zip-newer/pravik.exe" || fail "the older pravik.exe stays"
[ "$(system_path | grep -o 'pravik' | wc -l)" = 1 ] || fail "PATH is $(system_path)"

step "uninstalling leaves neither files, nor the PATH entry, nor the entry"
msiexec /x "$work/dist-newer/pravik-$newer-x64.msi"
[ ! -e "$program_files" ] || fail "$program_files stays: $(ls "$program_files")"
system_path | grep -q pravik && fail "PATH still is $(system_path)"
[ -z "$(display_version "$second")" ] || fail "the entry $second stays"

step "the manifests parse and name this release's files and hashes"
url=https://example.org/pravik/v$version
installer=$dist/$winget/Pravik.Pravik.installer.yaml
for file in "$dist/$winget"/*.yaml; do
  [ "$(yq -r '.PackageVersion + " " + .ManifestVersion' "$file")" = "$version 1.6.0" ] || fail "$file"
done
for arch in x64 x86; do
  entry=$(yq -c ".Installers[] | select(.Architecture == \"$arch\")" "$installer")
  [ "$(jq -r .InstallerUrl <<<"$entry")" = "$url/$v-$arch.msi" ] || fail "winget $arch: $entry"
  [ "$(jq -r .InstallerSha256 <<<"$entry")" = "$(sha "$dist/$v-$arch.msi" | tr a-f A-F)" ] || fail "winget $arch: $entry"
  [ "$(jq -r .ProductCode <<<"$entry")" = "$(product_code "$dist/$v-$arch.msi")" ] || fail "winget $arch: $entry"
done
[ "$(xmllint --xpath 'string(//*[local-name()="metadata"]/*[local-name()="version"])' "$dist/chocolatey/pravik.nuspec")" = "$version" ] ||
  fail "nuspec version"
grep -qx "  checksum64     = '$(sha "$dist/$v-x64.msi")'" "$dist/chocolatey/tools/chocolateyInstall.ps1" || fail "choco x64 hash"
grep -qx "  checksum       = '$(sha "$dist/$v-x86.msi")'" "$dist/chocolatey/tools/chocolateyInstall.ps1" || fail "choco x86 hash"
grep -qx "  url64bit       = '$url/$v-x64.msi'" "$dist/chocolatey/tools/chocolateyInstall.ps1" || fail "choco x64 url"
grep -q "silentArgs *= '/qn" "$dist/chocolatey/tools/chocolateyInstall.ps1" || fail "choco does not install silently"
scoop=$dist/scoop/pravik.json
[ "$(jq -r '.version + " " + .bin' "$scoop")" = "$version pravik.exe" ] || fail "scoop: $(cat "$scoop")"
[ "$(jq -r '.architecture."64bit".hash' "$scoop")" = "$(sha "$dist/$v-win-x64.zip")" ] || fail "scoop x64 hash"
[ "$(jq -r '.architecture."32bit".hash' "$scoop")" = "$(sha "$dist/$v-win-x86.zip")" ] || fail "scoop x86 hash"
[ "$(jq -r '.architecture."32bit".url' "$scoop")" = "$url/$v-win-x86.zip" ] || fail "scoop x86 url"
cleanup
rm -rf "$WINEPREFIX"
echo "release $version checked"
