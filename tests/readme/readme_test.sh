#!/usr/bin/env bash
# Runs the README's commands: every ```sh block, in order, in a temporary copy
# of the repository whose build/ holds this build's programs. A block fails
# the test when any command in it fails.
set -uo pipefail
source=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy=$work/vestor
mkdir -p "$copy"
(cd "$source" && git ls-files -z --cached --others --exclude-standard 2>/dev/null | xargs -0 cp --parents -t "$copy" 2>/dev/null) ||
  cp -r "$source/." "$copy"
rm -rf "$copy/build"
mkdir -p "$copy/build"
cp -r "$build/bin" "$copy/build/bin"
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"

blocks=$work/blocks
mkdir -p "$blocks"
awk -v dir="$blocks" '
  /^```sh$/ { n++; inside = 1; next }
  /^```/    { inside = 0; next }
  inside    { print > (dir "/" sprintf("%03d", n) ".sh") }
' "$copy/README.md"
count=$(find "$blocks" -name '*.sh' | wc -l)
[ "$count" -gt 0 ] || { echo "FAIL: the README shows no sh block"; exit 1; }
failures=0
for block in "$blocks"/*.sh; do
  if ! (cd "$copy" && bash -e "$block") >"$work/out" 2>&1; then
    echo "FAIL: README block $(basename "$block" .sh):"
    sed 's/^/    /' "$block"
    echo "  said:"
    sed 's/^/    /' "$work/out" | tail -20
    failures=$((failures + 1))
  fi
done
echo "readme: $count blocks run, $failures failed"
exit $((failures > 0))
