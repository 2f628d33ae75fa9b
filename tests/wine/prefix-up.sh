#!/usr/bin/env bash
# Creates the test run's own Wine prefix and starts its session with a keep-alive
# process whose stdio is detached (Wine's background processes inherit it).
set -eu
prefix=$1
keepalive=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix"
mkdir -p "$prefix"
wineboot -i </dev/null >/dev/null 2>&1
# The boot session must be gone before the next one starts, or a second
# services.exe appears and each client sees one of two service databases.
wineserver -w
setsid wine "$keepalive" </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 50); do
  if pgrep -f 'services.exe' >/dev/null && pgrep -f "$(basename "$keepalive")" >/dev/null; then
    break
  fi
  sleep 0.2
done
sleep 2
count=$(pgrep -fc 'C:\\windows\\system32\\services.exe' || true)
echo "wine prefix $prefix up; services.exe processes: $count"
