#!/usr/bin/env bash
# Checks that a built libvexil exports exactly the public API: the names in
# api/exported-symbols.txt, which must also be the functions the public
# header declares, the names the version script and the .def file list, and
# (for the shared library) all in the version node of the script.
#   scripts/check-exports.sh [LIBRARY]
# LIBRARY: build/lib/libvexil.so (the default) or a vexil.dll. An accidental
# export or a removal fails with the difference.
set -euo pipefail
cd "$(dirname "$0")/.."
library=${1:-build/lib/libvexil.so}
list=api/exported-symbols.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

compare() {  # NAME FILE: FILE's sorted names against the list
  if ! diff -u "$list" "$2" >"$work/diff"; then
    echo "check-exports: $1 differs from $list:" >&2
    sed -n '3,$p' "$work/diff" >&2
    status=1
  fi
}

sort -c "$list" || { echo "check-exports: keep $list sorted" >&2; exit 1; }
grep -o 'VEXIL_API [^;]*(' include/vexil/vexil.h | grep -o 'vexil_[a-z0-9_]*($' | tr -d '(' |
  sort >"$work/header"
compare "the functions include/vexil/vexil.h declares" "$work/header"
sed -n 's/^ *\(vexil_[a-z0-9_]*\);$/\1/p' api/vexil.map | sort >"$work/map"
compare "api/vexil.map" "$work/map"
sed -n 's/^ *\(vexil_[a-z0-9_]*\)$/\1/p' api/vexil.def | sort >"$work/def"
compare "api/vexil.def" "$work/def"

if [ ! -f "$library" ]; then
  echo "check-exports: no library at $library (build the vexil_shared target)" >&2
  exit 1
fi
case "$library" in
  *.dll)
    # Either cross objdump reads both PE kinds; the one of the DLL's own kind first.
    objdump=$(command -v x86_64-w64-mingw32-objdump || command -v i686-w64-mingw32-objdump ||
      command -v objdump)
    if file "$library" 2>/dev/null | grep -q 'Intel 80386' && command -v i686-w64-mingw32-objdump >/dev/null; then
      objdump=i686-w64-mingw32-objdump
    fi
    "$objdump" -p "$library" |
      awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}' |
      sort >"$work/built"
    ;;
  *)
    nm -D --defined-only "$library" | awk '$2 != "A" {print $3}' >"$work/versioned"
    if grep -v '@@VEXIL_[0-9.]*$' "$work/versioned" >"$work/unversioned"; then
      echo "check-exports: exported without a VEXIL_ version:" >&2
      cat "$work/unversioned" >&2
      status=1
    fi
    sed 's/@.*//' "$work/versioned" | sort >"$work/built"
    ;;
esac
compare "what $library exports" "$work/built"
[ $status = 0 ] && echo "check-exports: $library exports the $(wc -l <"$list") public functions"
exit $status
