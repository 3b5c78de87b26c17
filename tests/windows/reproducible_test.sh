#!/usr/bin/env bash
# The Windows programs are reproducible: the same sources, copied into another folder (of another
# length) and built there from scratch with preset `windows`, give the same bytes as each BUILT.
#   reproducible_test.sh SOURCE_DIR BUILT...
# Only the programs themselves are built in the copy (a minute or so on two cores).
set -euo pipefail
source_dir="$1"
shift
targets=()
for built in "$@"; do targets+=("$(basename "$built" .exe)"); done

work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-reproducible.XXXXXX")"
trap 'rm -rf "$work"' EXIT
copy="$work/another/folder/orvane-source"
mkdir -p "$copy"
tar -C "$source_dir" --exclude=./build --exclude=./.git --exclude=./.cache -cf - . \
  | tar -C "$copy" -xf -

(
  cd "$copy"
  cmake --preset windows -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCHMARKS=OFF >"$work/log" 2>&1
  cmake --build --preset windows --target "${targets[@]}" >>"$work/log" 2>&1
) || {
  cat "$work/log" >&2
  echo "FAIL: the copy in $copy did not build" >&2
  exit 1
}

for built in "$@"; do
  again="$copy/build/windows/bin/$(basename "$built")"
  if ! cmp -s "$built" "$again"; then
    echo "FAIL: $built and a build of the same sources in another folder differ; first bytes:" >&2
    cmp -l "$built" "$again" | head -20 >&2 || true
    exit 1
  fi
  echo "$(basename "$built"): $(stat -c %s "$built") bytes, identical when built in $copy"
done
