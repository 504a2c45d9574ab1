# Sourced by the release checks, which define fail() and read a PE file's
# headers with objdump -p into $headers:
#   pe_nt4_gui    fails unless the file is a PE32 i386 GUI program with
#                 subsystem and OS version 4.0, as NT 4.0 loads
#   pe_imports    prints DLL!function for every import, one a line, sorted
pe_field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$headers"; }

pe_nt4_gui() {
    local name
    grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
    [ "$(pe_field Subsystem)" = 00000002 ] || fail "subsystem is $(pe_field Subsystem), not Windows GUI (2)"
    for name in MajorSubsystemVersion MajorOSystemVersion; do
        [ "$(pe_field $name)" = 4 ] || fail "$name is $(pe_field $name), not 4"
    done
    for name in MinorSubsystemVersion MinorOSystemVersion; do
        [ "$(pe_field $name)" = 0 ] || fail "$name is $(pe_field $name), not 0"
    done
}

pe_imports() {
    awk '
        /DLL Name:/ { dll = $3; next }
        dll != "" && /^\t[0-9a-f]+\t/ { print dll "!" $3 }
        /^$/ && dll != "" && seen { dll = "" }
        /vma:  Hint/ { seen = 1 }
    ' <<<"$headers" | sort -u
}
