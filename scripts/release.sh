#!/usr/bin/env bash
# Builds the release of pravik from fresh build folders and writes dist/:
#   pravik-<version>-win-x64.zip, pravik-<version>-win-x86.zip   the files to unpack anywhere
#   pravik-<version>-x64.msi, pravik-<version>-x86.msi           per-machine installers
#   winget/, chocolatey/, scoop/                                  package-manager manifests
#   SHA256SUMS                                                    over every file above
# Signs every exe (before it is packed) and MSI when PRAVIK_SIGN_CERT and
# PRAVIK_SIGN_KEY name a PEM certificate (chain) and its key; see
# docs/development.md, "Release", for every variable.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

version=${PRAVIK_VERSION:-$(sed -n 's/^project(pravik VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)}
dist=${PRAVIK_DIST:-$root/dist}
builds=${PRAVIK_RELEASE_BUILD:-$root/build}
archs=${PRAVIK_RELEASE_ARCHS:-x64 x86}
url_pattern=${PRAVIK_RELEASE_URL:-'https://downloads.example.org/pravik/{version}/{file}'}
homepage=${PRAVIK_HOMEPAGE:-https://downloads.example.org/pravik/}
# Same for every version: Windows Installer finds the older product by it.
upgrade_code=8C3D6F1E-2B47-4E59-9A60-7D1F3B5C8E24

note() { echo "release: $*"; }
url_of() {
  local version_mark='{version}' file_mark='{file}'
  local url=${url_pattern//"$version_mark"/$version}
  echo "${url//"$file_mark"/$1}"
}
sha256() { sha256sum "$1" | cut -d' ' -f1; }

[ -n "${PRAVIK_RELEASE_URL:-}" ] || note "PRAVIK_RELEASE_URL is not set: the manifests name $(url_of FILE)"
[ -z "$(git status --porcelain 2>/dev/null)" ] || note "the working tree has uncommitted changes"

signing=0
if [ -n "${PRAVIK_SIGN_CERT:-}" ] && [ -n "${PRAVIK_SIGN_KEY:-}" ]; then
  signing=1
else
  note "PRAVIK_SIGN_CERT and PRAVIK_SIGN_KEY are not set: the exe and MSI files are UNSIGNED"
fi
sign() {
  [ "$signing" = 1 ] || return 0
  local options=(-certs "$PRAVIK_SIGN_CERT" -key "$PRAVIK_SIGN_KEY" -h sha256 -n pravik -i "$homepage")
  [ -z "${PRAVIK_SIGN_TIMESTAMP:-}" ] || options+=(-ts "$PRAVIK_SIGN_TIMESTAMP")
  osslsigncode sign "${options[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
  note "signed $(basename "$1")"
}

rm -rf "$dist"
mkdir -p "$builds"
mkdir -p "$dist"
declare -A product_code
for arch in $archs; do
  case $arch in
    x64) toolchain=mingw-x86_64 ;;
    x86) toolchain=mingw-i686 ;;
    *) echo "release: unknown architecture $arch" >&2; exit 2 ;;
  esac
  build=$builds/release-$arch
  # A fresh folder unless the caller keeps the last one (a quick rebuild of another version).
  [ "${PRAVIK_RELEASE_REUSE:-0}" = 1 ] || rm -rf "$build"
  note "building $version for $arch in $build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPRAVIK_BUILD_TESTS=OFF -DPRAVIK_VERSION="$version" >"$build.log" 2>&1 ||
    { cat "$build.log"; exit 1; }
  cmake --build "$build" --target pravik pravik_jar pravik_sample_jar -j "$(nproc)" >>"$build.log" 2>&1 ||
    { cat "$build.log"; exit 1; }

  # What the zip and the MSI hold, the exe signed first.
  stage=$build/stage
  rm -rf "$stage"
  mkdir -p "$stage"
  cp "$build/pravik.exe" "$build/pravik.jar" "$build/pravik-sample.jar" "$root/java/sample/pravik-sample.cfg" \
     "$root/README.md" "$root/LICENSE" "$root/NOTICE" "$stage/"
  sign "$stage/pravik.exe"

  zip=$dist/pravik-$version-win-$arch.zip
  (cd "$stage" && cmake -E tar cf "$zip" --format=zip -- *)

  # wixl finds the files in its current folder; it has no Environment element,
  # so the PATH entry is added to the built database with msibuild.
  msi=$dist/pravik-$version-$arch.msi
  (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D UpgradeCode="$upgrade_code" \
    -D AboutUrl="$homepage" -o "$msi" "$root/packaging/pravik.wxs")
  msibuild "$msi" \
    -q 'CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)' \
    -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('PathEntry', '=-*PATH', '[~];[INSTALLDIR]', 'Program')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
  sign "$msi"
  product_code[$arch]=$(msiinfo export "$msi" Property | sed -n 's/^ProductCode\t\([^\r]*\).*/\1/p')
  note "wrote $(basename "$zip") and $(basename "$msi") (ProductCode ${product_code[$arch]})"
done

# Package-manager manifests, from the URL pattern and the hashes of the signed files.
msi_of() { echo "pravik-$version-$1.msi"; }
zip_of() { echo "pravik-$version-win-$1.zip"; }
has() { [[ " $archs " == *" $1 "* ]]; }
description="Runs a Java application as a Windows service"

winget=$dist/winget/manifests/p/Pravik/Pravik/$version
mkdir -p "$winget"
cat >"$winget/Pravik.Pravik.yaml" <<EOF
PackageIdentifier: Pravik.Pravik
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.6.0
EOF
{
  cat <<EOF
PackageIdentifier: Pravik.Pravik
PackageVersion: $version
InstallerType: wix
Scope: machine
UpgradeBehavior: install
Commands:
- pravik
Installers:
EOF
  for arch in $archs; do
    cat <<EOF
- Architecture: $arch
  InstallerUrl: $(url_of "$(msi_of "$arch")")
  InstallerSha256: $(sha256 "$dist/$(msi_of "$arch")" | tr a-f A-F)
  ProductCode: '${product_code[$arch]}'
  AppsAndFeaturesEntries:
  - UpgradeCode: '{$upgrade_code}'
EOF
  done
  cat <<EOF
ManifestType: installer
ManifestVersion: 1.6.0
EOF
} >"$winget/Pravik.Pravik.installer.yaml"
cat >"$winget/Pravik.Pravik.locale.en-US.yaml" <<EOF
PackageIdentifier: Pravik.Pravik
PackageVersion: $version
PackageLocale: en-US
Publisher: The pravik developers
PackageName: pravik
PackageUrl: $homepage
License: Apache-2.0
ShortDescription: $description
ManifestType: defaultLocale
ManifestVersion: 1.6.0
EOF

choco=$dist/chocolatey
mkdir -p "$choco/tools"
cat >"$choco/pravik.nuspec" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://schemas.microsoft.com/packaging/2015/06/nuspec.xsd">
  <metadata>
    <id>pravik</id>
    <version>$version</version>
    <title>pravik</title>
    <authors>The pravik developers</authors>
    <projectUrl>$homepage</projectUrl>
    <licenseUrl>https://www.apache.org/licenses/LICENSE-2.0</licenseUrl>
    <requireLicenseAcceptance>false</requireLicenseAcceptance>
    <description>$description: installs it, runs it through JNI, forwards service controls to Java.</description>
    <tags>java service windows-service jni</tags>
  </metadata>
  <files>
    <file src="tools\\**" target="tools"/>
  </files>
</package>
EOF
{
  echo "\$ErrorActionPreference = 'Stop'"
  echo "\$packageArgs = @{"
  echo "  packageName    = 'pravik'"
  echo "  fileType       = 'msi'"
  echo "  silentArgs     = '/qn /norestart'"
  echo "  validExitCodes = @(0, 3010, 1641)"
  if has x86; then
    echo "  url            = '$(url_of "$(msi_of x86)")'"
    echo "  checksum       = '$(sha256 "$dist/$(msi_of x86)")'"
    echo "  checksumType   = 'sha256'"
  fi
  if has x64; then
    echo "  url64bit       = '$(url_of "$(msi_of x64)")'"
    echo "  checksum64     = '$(sha256 "$dist/$(msi_of x64)")'"
    echo "  checksumType64 = 'sha256'"
  fi
  echo "}"
  echo "Install-ChocolateyPackage @packageArgs"
} >"$choco/tools/chocolateyInstall.ps1"
cat >"$choco/tools/chocolateyUninstall.ps1" <<'EOF'
$ErrorActionPreference = 'Stop'
# The MSI's own entry in Programs and Features names its product code.
[array]$keys = Get-UninstallRegistryKey -SoftwareName 'pravik *'
foreach ($key in $keys) {
  Uninstall-ChocolateyPackage -PackageName 'pravik' -FileType 'msi' `
    -SilentArgs "$($key.PSChildName) /qn /norestart" -ValidExitCodes @(0, 3010, 1605, 1614, 1641)
}
EOF

scoop=$dist/scoop
mkdir -p "$scoop"
{
  echo "{"
  echo "  \"version\": \"$version\","
  echo "  \"description\": \"$description\","
  echo "  \"homepage\": \"$homepage\","
  echo "  \"license\": \"Apache-2.0\","
  echo "  \"architecture\": {"
  separator=""
  for arch in $archs; do
    [ "$arch" = x64 ] && name=64bit || name=32bit
    printf '%s    "%s": {\n      "url": "%s",\n      "hash": "%s"\n    }' "$separator" "$name" \
      "$(url_of "$(zip_of "$arch")")" "$(sha256 "$dist/$(zip_of "$arch")")"
    separator=$',\n'
  done
  echo
  echo "  },"
  echo "  \"bin\": \"pravik.exe\""
  echo "}"
} >"$scoop/pravik.json"

(cd "$dist" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
note "wrote $dist:"
(cd "$dist" && find . -type f -printf '  %P\n' | LC_ALL=C sort)
