#!/usr/bin/env bash
# Lists the includes of the product by folder and fails on one that points up
# the layers, each of which may use only those below it:
#   common < log < registry, config < install, jvm < service < main
# (registry and config are one level, install and jvm are one level). A folder
# that is not in the list fails too, until it is given its place.
#
#   bash scripts/check-layers.sh [source folder, default src]
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=${1:-src}

declare -A level=([common]=0 [log]=1 [registry]=2 [config]=2 [install]=3 [jvm]=3 [service]=4 [main]=5)

declare -A uses=()
status=0
while IFS= read -r found; do
  file=${found%%:*}
  rest=${found#*:}
  line=${rest%%:*}
  target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"${rest#*:}")
  # Only includes by folder ("log/CLogger.h") name a layer; the rest are local or system files.
  [[ $target == */* ]] || continue
  from=${file#"$source_dir"/}
  from=${from%%/*}
  to=${target%%/*}
  uses[$from]+=" $to"
  for folder in "$from" "$to"; do
    if [[ -z ${level[$folder]+set} ]]; then
      echo "$file:$line: the folder $folder has no place in the layers"
      status=1
    fi
  done
  if [[ -n ${level[$from]+set} && -n ${level[$to]+set} && ${level[$to]} -gt ${level[$from]} ]]; then
    echo "$file:$line: $from includes $target, which is in the higher layer $to"
    status=1
  fi
done < <(grep -rn --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$source_dir")

for folder in $(printf '%s\n' "${!uses[@]}" | sort); do
  echo "$folder uses:$(tr ' ' '\n' <<<"${uses[$folder]}" | grep -v "^$folder\$" | sort -u | tr '\n' ' ' | sed 's/^ */ /; s/ *$//')"
done
if [ $status -ne 0 ]; then
  echo "layering: includes point up (listed above)"
else
  echo "layering: every include points down or across"
fi
exit $status
