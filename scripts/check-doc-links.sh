#!/usr/bin/env bash
# Fails on a relative link in README.md or docs/*.md that names no file, or,
# with a #anchor, no heading of that file (anchors as GitHub makes them).
#
#   bash scripts/check-doc-links.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The anchors of a markdown file's headings, one a line; fenced code holds none.
anchors() {
  awk '/^```/ { fenced = !fenced } !fenced && /^#+ / { sub(/^#+ /, ""); print }' "$1" |
    tr '[:upper:]' '[:lower:]' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'
}

status=0
for file in README.md docs/*.md; do
  # Each link as line:target; links with a scheme (https:, mailto:) are not ours to check.
  while IFS=: read -r line link; do
    target=${link%%#*}
    anchor=${link#"$target"}
    path=$(dirname "$file")/$target
    [[ -n $target ]] || path=$file
    if [[ ! -f $path ]]; then
      echo "$file:$line: ($link) names no file"
      status=1
    elif [[ -n $anchor ]] && ! anchors "$path" | grep -qxF -- "${anchor#\#}"; then
      echo "$file:$line: ($link) names no heading of $path"
      status=1
    fi
  done < <(grep -no '\]([^)]*)' "$file" | sed 's/:\](/:/; s/)$//' | grep -Ev '^[0-9]+:[a-z]+:' || true)
done
[[ $status != 0 ]] || echo "every relative link in README.md and docs/ resolves"
exit $status
