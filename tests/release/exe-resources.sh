#!/usr/bin/env bash
# Reads pravik.exe's resources back as Windows shows them: the version resource
# (numbers and strings), the manifest and the event log's message table.
#   exe-resources.sh <pravik.exe> <version>
set -euo pipefail
exe=$1
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

listing=$(wrestool -l "$exe")
grep -q -- '--type=11 ' <<<"$listing" || fail "no message table: $listing"

# VS_FIXEDFILEINFO follows its signature 0xFEEF04BD: structure version, then file
# version (most, least significant words) and product version.
IFS=. read -r major minor patch <<<"$version"
numbers=$(wrestool -x --raw -t 16 "$exe" | od -An -v -tx1 | tr -d ' \n' | grep -o 'bd04effe.\{40\}')
word() { printf '%02x%02x%02x%02x' $(($2 & 255)) $(($2 >> 8)) $(($1 & 255)) $(($1 >> 8)); }
expected="bd04effe00000100$(word "$major" "$minor")$(word "$patch" 0)$(word "$major" "$minor")$(word "$patch" 0)"
[ "$numbers" = "$expected" ] || fail "fixed version info $numbers, expected $expected"

# The string table: each name in UTF-16, its terminator, padding to four bytes, the value.
utf16() { printf '%s' "$1" | iconv -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'; }
table=$(wrestool -x --raw -t 16 "$exe" | od -An -v -tx1 | tr -d ' \n')
for pair in "FileVersion/$version" "ProductVersion/$version" "OriginalFilename/pravik.exe" "ProductName/pravik" \
            "FileDescription/Runs a Java application as a Windows service" "LegalCopyright/Copyright 2026 The pravik"; do
  grep -Eq "$(utf16 "${pair%%/*}")0000(0000)?$(utf16 "${pair#*/}")" <<<"$table" || fail "${pair%%/*} is not ${pair#*/}"
done

manifest=$(wrestool -x --raw -t 24 "$exe")
level=$(xmllint --xpath 'string(//*[local-name()="requestedExecutionLevel"]/@level)' - <<<"$manifest")
[ "$level" = asInvoker ] || fail "execution level '$level'"
# Windows 7's GUID, the oldest system the program runs on.
xmllint --xpath '//*[local-name()="supportedOS"]/@Id' - <<<"$manifest" | grep -q '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' ||
  fail "Windows 7 is not a supported OS"
echo "version $version, manifest and message table read back"
