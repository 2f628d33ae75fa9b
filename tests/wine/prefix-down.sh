#!/usr/bin/env bash
# Ends the test run's Wine session and deletes its prefix.
set -u
prefix=$1
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
rm -rf "$prefix"
echo "wine prefix $prefix removed"
