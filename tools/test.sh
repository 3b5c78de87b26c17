#!/usr/bin/env bash
# Builds every configuration and runs every test: the CI workflow's lint, the native build against
# fwsim (unit, program, fault-sweep, conformance and valgrind tests), the same under
# AddressSanitizer and UBSan, the build against libc++, the Windows program under Wine, and each
# fuzzer for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

# Wine takes its code page from the locale: without a UTF-8 one (a bare debian:12 container sets no
# LANG) it cannot start a program in a folder named outside ASCII, and the Wine tests would fail
# with c0000135. So a missing UTF-8 locale becomes C.UTF-8 (Debian's libc-bin carries it), and
# where even that is missing the run stops here, naming the locale.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    echo "test.sh: no UTF-8 locale, and C.UTF-8 is not installed; Wine needs one" >&2
    exit 1
  fi
  echo "test.sh: no UTF-8 locale was set; running with LANG=LC_ALL=C.UTF-8" >&2
fi

# ----- The CI workflow: actionlint finds nothing, and does find a mistake planted in a copy -----
tools/lint-workflows.sh
planted="$(mktemp --suffix=.yml)"
# The README's copy stands beside it, so that its own relative links resolve from there.
planted_page="$(mktemp -p . --suffix=.md planted-links.XXXXXX)"
trap 'rm -f "$planted" "$planted_page"' EXIT
sed 's/needs: linux/needs: no-such-job/' .github/workflows/ci.yml >"$planted"
if tools/lint-workflows.sh "$planted" >/dev/null; then
  echo "test.sh: actionlint passed a workflow with a planted mistake" >&2
  exit 1
fi

# ----- Links between the Markdown pages: CTest's Docs.LinksResolve checks them; here a copy of the
# README with a link to a missing page and one to a missing heading must fail, naming both -----
{
  cat README.md
  echo '[a page](docs/no-such-page.md), [a heading](docs/ci.md#no-such-heading)'
} >"$planted_page"
if found="$(tools/check-links.sh "$planted_page")" ||
  ! grep -q 'docs/no-such-page.md: no such file' <<<"$found" ||
  ! grep -q 'docs/ci.md#no-such-heading: no heading' <<<"$found"; then
  echo "test.sh: the link check passed planted broken links; it said: $found" >&2
  exit 1
fi
# Gone before the tests, whose own link check reads every page in the tree.
rm -f "$planted_page"

tools/ensure-packages.sh cmake ninja-build g++ libgtest-dev valgrind
# The benchmarks build with everything else, so that they never rot (tools/bench.sh runs them).
tools/ensure-packages.sh libbenchmark-dev
cmake --preset default
cmake --build --preset default
ctest --preset default

# ----- Reliability: the sanitizer build (docs/reliability.md) -----
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# ----- Headers the code forgot: the programs and tests built with clang-19 against libc++ -----
# (its headers bring in other headers than libstdc++'s, as MSVC's do; Debian's GoogleTest is built
# for libstdc++, so the preset builds GoogleTest's sources too.)
tools/ensure-packages.sh clang-19 libc++-19-dev libc++abi-19-dev googletest
cmake --preset libcxx
cmake --build --preset libcxx

# ----- Windows: the programs cross-compiled with MinGW-w64, their tests run under Wine -----
# The first run makes a Wine prefix in build/windows, which takes a while once. nsis, wixl and
# msitools build the example installers (examples/nsis, examples/wix), which wine.installer and
# wine.msi run and windows.msi_tables reads; osslsigncode and openssl
# prove tools/sign.sh on a throwaway certificate (windows.signing); the reproducibility test builds
# the programs once more in a copy of the sources.
tools/ensure-packages.sh g++-mingw-w64-x86-64-posix wine64 wine googletest nsis wixl msitools \
  osslsigncode openssl
cmake --preset windows
cmake --build --preset windows
ctest --preset windows

# ----- Reliability: fuzzing, each target for a bounded time -----
tools/fuzz.sh "${ORVANE_FUZZ_SECONDS:-30}"
