#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user gets there:
# the programs run and tell their version, every manual page renders without
# a warning, the bash completion parses, the licence is there.
#   scripts/check-install.sh [BUILD]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failed=0
fail() { echo "check-install: $*" >&2; failed=1; }

cmake --install "$BUILD" --prefix "$prefix" >/dev/null

version=$("$prefix/bin/vexil" --version) || fail "bin/vexil --version failed"
[[ $version =~ ^vexil\ [0-9]+\.[0-9]+ ]] || fail "bin/vexil --version said '$version'"
if [ -x "$prefix/bin/vexilplay" ]; then
  echo "bin/vexilplay installed"
else
  fail "bin/vexilplay is missing"
fi

pages=("$prefix"/share/man/man1/*.1)
[ -e "${pages[0]}" ] || fail "no manual pages in share/man/man1"
[ -e "$prefix/share/man/man1/vexil.1" ] || fail "share/man/man1/vexil.1 is missing"
for page in "${pages[@]}"; do
  [ -e "$page" ] || continue
  # groff names a problem on standard error; man's own check adds what the
  # formatter passes over.
  warnings=$( { groff -ww -z -t -man "$page"; MANWIDTH=80 man --warnings -l "$page" >/dev/null; } 2>&1 )
  if [ -n "$warnings" ]; then
    fail "$(basename "$page") renders with warnings:"
    echo "$warnings" >&2
  else
    echo "$(basename "$page") renders without warnings"
  fi
done

completion="$prefix/share/bash-completion/completions/vexil"
if [ -f "$completion" ] && bash -n "$completion"; then
  echo "bash completion parses"
else
  fail "share/bash-completion/completions/vexil is missing or does not parse"
fi
[ -s "$prefix/share/doc/vexil/LICENSE" ] || fail "share/doc/vexil/LICENSE is missing"

if [ "$failed" != 0 ]; then exit 1; fi
echo "check-install: $version installs into a prefix and works there"
