#!/usr/bin/env bash
# Fails unless the executable is a PE32 i386 GUI program with subsystem and
# OS version 4.0 that imports only from KERNEL32, and only functions NT 4.0
# exports (from the allowlist), contains no MMX or SSE instruction, keeps no
# relocations and no writable section holding data but its import table and
# its resources (its private copy is written from its mapped image, which is
# then the file but for the import address table), embeds a manifest that
# asks for nothing, and, when its object files are given, that none of them
# holds a static constructor (nothing would run it: the program has no C
# runtime).
#   check_imports.sh EXE ALLOWLIST [OBJECT_FOLDER]
set -uo pipefail
exe=${1:?executable}
allowlist=${2:?allowlist}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pe.sh"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe"; exit 1; }
pe_nt4_gui

imports=$(pe_imports)
[ -n "$imports" ] || fail "no imports found"
allowed=$(grep -v -e '^#' -e '^$' "$allowlist" | sort -u)
while read -r import; do
    [ -z "$import" ] && continue
    dll=${import%%!*}
    # KERNEL32 only: a Known DLL that loads nothing by name as it starts.
    # Any other DLL would be searched for in the installer's own folder first,
    # or (USER32, GDI32) would load a language pack from there at start-up.
    [ "$dll" = KERNEL32.dll ] ||
        fail "imports $import: only KERNEL32 may be imported from; every other DLL is loaded by its full path"
    grep -qxF "$import" <<<"$allowed" || fail "imports $import, which is not on the NT 4.0 allowlist"
done <<<"$imports"

# The mapped image is the file but for what the loader changed: with no
# relocations, and no section the program writes that the file holds, only
# the import address table, which the copy takes from the lookup table.
grep -q 'relocations stripped' <<<"$headers" || fail "the image keeps relocations: its mapped image may be moved"
writable=$("$objdump" -h "$exe" | awk '/^ *[0-9]+ / { name = $2; getline; if (/CONTENTS/ && !/READONLY/) printf "%s ", name }')
[ "$writable" = ".idata .rsrc " ] ||
    fail "the writable sections that hold data in the file are: $writable; only .idata and .rsrc may be"
# Its manifest (RT_MANIFEST 1), which Server 2003 SP1 and later take in place
# of one beside the program: an identity, no dependency, no privileges.
if ! manifest=$("$here/carried_file.py" --type 24 "$exe" '#1' - 2>/dev/null); then
    fail "it embeds no manifest (RT_MANIFEST 1)"
elif ! grep -q '<assemblyIdentity ' <<<"$manifest" ||
    grep -qE '<(dependency|dependentAssembly|file|trustInfo|requestedPrivileges)[ >/]' <<<"$manifest"; then
    fail "its manifest is not an identity alone: $manifest"
fi

if "$objdump" -d "$exe" | grep -qE '%(x|y)?mm[0-9]'; then
    fail "uses MMX or SSE registers:"
    "$objdump" -d "$exe" | grep -E '%(x|y)?mm[0-9]' | head -5
fi

if [ -n "${3:-}" ]; then
    mapfile -t objects < <(find "$3" -name '*.obj')
    [ ${#objects[@]} -gt 0 ] || fail "no object files in $3"
    for object in "${objects[@]}"; do
        if "$objdump" -h "$object" | grep -qE ' \.(ctors|init_array)'; then
            fail "$(basename "$object") has a static constructor"
        fi
    done
fi

count=$(wc -l <<<"$imports")
[ "$failed" -eq 0 ] && echo "release check: header and $count imports fit Windows NT 4.0; .idata and .rsrc the only writable sections; a manifest that asks for nothing"
exit "$failed"
