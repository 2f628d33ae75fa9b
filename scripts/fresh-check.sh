#!/usr/bin/env bash
# Proves the README's commands on a pristine Debian 12 (bookworm) root: makes a
# minimal root with mmdebstrap from this machine's apt sources, clones this
# repository (its committed HEAD) into it, and runs `bash scripts/test-all.sh`
# and then `bash scripts/demo.sh` there under chroot with a clean environment
# (HOME, PATH and LANG only). Prints each command's exit code and time. Run by
# hand as root, not by CI; it takes as long as a fresh machine's first run.
#
#   bash scripts/fresh-check.sh            # in a new directory under /tmp, removed at the end
#   FRESH_KEEP=1 bash scripts/fresh-check.sh   # keep the root for a look afterwards
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/pravik-fresh.XXXXXX)
root=$work/root
mounted=()

cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -l "${mounted[$i]}" 2>/dev/null || true
  done
  if [ "${FRESH_KEEP:-0}" = 1 ]; then
    echo "kept $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

if ! command -v mmdebstrap >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends mmdebstrap
fi

echo "=== a minimal Debian 12 root in $root"
mmdebstrap --quiet --variant=minbase --include=git,ca-certificates bookworm "$work/root.tar" \
  /etc/apt/sources.list.d/debian.sources
mkdir -p "$root"
tar -C "$root" -xf "$work/root.tar"
rm "$work/root.tar"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for fs in proc sys dev dev/pts; do
  mount --bind "/$fs" "$root/$fs"
  mounted+=("$root/$fs")
done
git clone --quiet "$repo" "$root/pravik"

status=0
for command in "bash scripts/test-all.sh" "bash scripts/demo.sh"; do
  echo "=== $command"
  start=$(date +%s)
  rc=0
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 bash -c "cd /pravik && $command" >"$work/$(basename "${command#bash }" .sh).log" 2>&1 || rc=$?
  tail -n 15 "$work/$(basename "${command#bash }" .sh).log"
  echo "=== $command: exit code $rc, $(($(date +%s) - start)) s"
  [ "$rc" = 0 ] || status=1
done
exit $status
