#!/usr/bin/env bash
# Fails unless the executable is a PE32 i386 GUI program with subsystem and
# OS version 4.0 that imports only functions NT 4.0 exports (from the
# allowlist) and contains no MMX or SSE instruction.
set -uo pipefail
exe=${1:?executable}
allowlist=${2:?allowlist}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe"; exit 1; }
field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$headers"; }

grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
[ "$(field Subsystem)" = 00000002 ] || fail "subsystem is $(field Subsystem), not Windows GUI (2)"
for name in MajorSubsystemVersion MajorOSystemVersion; do
    [ "$(field $name)" = 4 ] || fail "$name is $(field $name), not 4"
done
for name in MinorSubsystemVersion MinorOSystemVersion; do
    [ "$(field $name)" = 0 ] || fail "$name is $(field $name), not 0"
done

# DLL!function for every import.
imports=$(awk '
    /DLL Name:/ { dll = $3; next }
    dll != "" && /^\t[0-9a-f]+\t/ { print dll "!" $3 }
    /^$/ && dll != "" && seen { dll = "" }
    /vma:  Hint/ { seen = 1 }
' <<<"$headers" | sort -u)
[ -n "$imports" ] || fail "no imports found"
allowed=$(grep -v -e '^#' -e '^$' "$allowlist" | sort -u)
while read -r import; do
    [ -z "$import" ] && continue
    dll=${import%%!*}
    case "$dll" in
    ADVAPI32.dll | KERNEL32.dll | USER32.dll | WINSPOOL.DRV | msvcrt.dll) ;;
    *) fail "imports from $dll, which is not among the DLLs NT 4.0 is known to have" ;;
    esac
    grep -qxF "$import" <<<"$allowed" || fail "imports $import, which is not on the NT 4.0 allowlist"
done <<<"$imports"

if "$objdump" -d "$exe" | grep -qE '%(x|y)?mm[0-9]'; then
    fail "uses MMX or SSE registers:"
    "$objdump" -d "$exe" | grep -E '%(x|y)?mm[0-9]' | head -5
fi

count=$(wc -l <<<"$imports")
[ "$failed" -eq 0 ] && echo "release check: header and $count imports fit Windows NT 4.0"
exit "$failed"
