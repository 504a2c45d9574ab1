#!/usr/bin/env bash
# Fails unless the check kit's program is a PE32 i386 GUI program with
# subsystem and OS version 4.0 whose every import is on its list, each entry
# of which names one of the list's sources: what NT 4.0 SP6a's own DLLs
# export, so that it starts there.
#   check_kit_imports.sh EXE LIST
set -uo pipefail
exe=${1:?executable}
list=${2:?import list}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pe.sh"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe"; exit 1; }
pe_nt4_gui

sources=$(sed -n 's/^# source \([a-z0-9]*\):.*/\1/p' "$list")
while read -r entry source rest; do
    [ -z "$entry" ] || [ "${entry:0:1}" = "#" ] && continue
    grep -qxF "$source" <<<"$sources" && [ -z "$rest" ] ||
        fail "$list: the entry $entry names no source of the list's (got \"$source $rest\")"
done <"$list"
allowed=$(grep -v -e '^#' -e '^$' "$list" | awk '{ print $1 }' | sort -u)
imports=$(pe_imports)
[ -n "$imports" ] || fail "no imports found"
while read -r import; do
    [ -z "$import" ] || grep -qxF "$import" <<<"$allowed" ||
        fail "imports $import, which is not on $list: NT 4.0 SP6a may lack it (look it up at run time)"
done <<<"$imports"
[ "$failed" -eq 0 ] && echo "release check: $(basename "$exe")'s header and $(wc -l <<<"$imports") imports fit Windows NT 4.0 SP6a, each from a source its list names"
exit "$failed"
