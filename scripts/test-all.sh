#!/usr/bin/env bash
# Installs every dependency (Debian 12, as root), builds all presets and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

# binutils-mingw-w64-*: the message compiler (windmc) of the event log's texts.
# nlohmann-json3-dev: the JSON parser with which the tests read "-q"'s answers. The release and its
# test (tests/release): wixl and msitools make and read the MSIs, osslsigncode and openssl sign and
# verify, icoutils (wrestool) reads the exe's resources, yq, jq and libxml2-utils (xmllint) parse the
# package-manager manifests.
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64
          binutils-mingw-w64-i686 wine64 wine googletest openjdk-17-jdk-headless procps clang libclang-rt-14-dev
          locales nlohmann-json3-dev wixl msitools osslsigncode openssl icoutils yq jq libxml2-utils)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

for preset in linux windows-x86 windows-x64; do
  echo "=== configure and build: $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
done

status=0
echo "=== layering"
bash scripts/check-layers.sh || status=1
for preset in linux windows-x64; do
  echo "=== test: $preset"
  ctest --preset "$preset" || status=1
done

echo "=== fuzz: every target, bounded"
bash scripts/fuzz.sh 20 || status=1
exit $status
