#!/usr/bin/env bash
# Renames every row of docs/adapting.md's table at once, in a copy of the
# tracked sources, at the places the table gives and nowhere else: the
# program, a driver file (and the sample package's file), the driver, the
# product printer, the caption, a box text, the port, the registry key and
# values and the INI names (at other lengths), the log's name, the private
# folder's prefix (at another length) and the version resource's names. It
# fails unless the copy then builds (PROGRAM_SIZE_LIMIT raised in the copy
# where the longer texts need it, as the table tells a vendor), passes its
# static checks once they have formatted what the longer lines need
# (scripts/static-checks --fix), its unit tests, and, where Wine runs on this
# host, four scenarios: a whole installation on XP and on NT 4.0, the
# program that carries the package alone, and the version resource, each
# checking the renamed values where the tests expect them.
#   check_rename.sh SOURCE_FOLDER WORK_FOLDER
set -uo pipefail
source=${1:?source folder}
work=${2:?work folder}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

rm -rf "$work"
copy="$work/tree"
mkdir -p "$copy"
git -C "$source" ls-files -z | (cd "$source" && tar --null -T - -cf -) | tar -C "$copy" -xf -
git -C "$copy" init -q && git -C "$copy" add -A && git -C "$copy" -c user.name=rename -c user.email=rename@localhost \
    commit -qm "the sources, renamed below" || { echo "FAIL: the copy of the sources is no git checkout"; exit 1; }

# Each row: the program's place, the row's name in tests/expected.h, the value
# it becomes (written as in C), and, where the program writes it within a
# longer literal, how ({} for the value). Today's value is read from
# tests/expected.h, and its two places are rewritten: the rows a vendor
# renames, whatever the values are now. The box texts, the INI setting and
# the registry's values change length.
renames='
include/scrivox.h|ProgramName|AcmeLaserSetup.exe
include/scrivox.h|DriverFile|ACMELASR.DRV
include/scrivox.h|DriverName|Acme LaserWriter 9000 Series PS Driver
include/scrivox.h|ProductPrinterName|Acme Office Printer
include/scrivox.h|Caption|Acme Setup Wizard
src/driver/files.cpp|InstallQuestionText|Install the printing system for Windows NT 4.0, 2000, XP and 2003 now?\nOK goes on, Cancel stops.
src/driver/registration.cpp|Port|COM2:
src/settings/settings.cpp|ProductKey|SOFTWARE\\Acme\\Laser Products
src/settings/settings.cpp|LogDirValue|InstalledFrom
src/settings/settings.cpp|TrueTypeValue|Fonts
src/settings/settings.cpp|TrueTypeData|TrueType and OpenType
src/settings/settings.cpp|IniName|acmelaser.ini|"\\{}"
src/settings/settings.cpp|IniSection|Printing
src/settings/settings.cpp|IniKey|PrintMode
src/settings/settings.cpp|IniValue|Draft
src/log/log.cpp|LogName|AcmeLaserWriter-setup.log
include/scrivox.h|PrivateFolderPrefix|AcmeLW.
src/sequence/version.rc.in|VersionCompany|Acme Corporation
src/sequence/version.rc.in|VersionProduct|Acme Printing Suite
src/sequence/version.rc.in|VersionCopyright|Copyright (C) 2026 Acme Corporation. All rights reserved.
'
RENAMES=$renames python3 - "$copy" >"$work/renamed" <<'PY' || { echo "FAIL: a row's value is not at its place"; exit 1; }
import os
import re
import sys

copy = sys.argv[1]
def text(path):
    with open(f"{copy}/{path}") as f:
        return f.read()
def write(path, content):
    with open(f"{copy}/{path}", "w") as f:
        f.write(content)
for row in os.environ["RENAMES"].strip().split("\n"):
    place, name, new, *written = row.split("|")
    written = written[0] if written else '"{}"'
    table = text("tests/expected.h")
    found = re.search(rf'\b{name}\[\] = "((?:[^"\\]|\\.)*)"', table)
    if not found:
        sys.exit(f"tests/expected.h has no {name}")
    old = found.group(1)
    program = text(place)
    if written.format(old) not in program:
        sys.exit(f"{place} does not write {name}'s value as {written.format(old)}")
    write(place, program.replace(written.format(old), written.format(new)))
    write("tests/expected.h", table[:found.start(1)] + new + table[found.end(1):])
    if name in ("ProgramName", "DriverFile"):
        print(f"{name} {old} {new}")
PY
read -r _ old_driver new_driver < <(grep '^DriverFile ' "$work/renamed")
new_program=$(sed -n 's/^ProgramName .* //p' "$work/renamed")
git -C "$copy" mv "sample-package/$old_driver" "sample-package/$new_driver"
git -C "$copy" -c user.name=rename -c user.email=rename@localhost commit -qam "every row renamed"

# Run a step in the copy, its output kept: WHAT COMMAND...
step() {
    local what=$1
    shift
    (cd "$copy" && "$@") >"$work/step.log" 2>&1 || { cat "$work/step.log"; fail "after the rename: $what"; return 1; }
}
echo "release check: the renamed copy builds and runs its unit tests (about a minute)..."
step "the unit tests" cmake --workflow --preset host
step "the static checks" scripts/static-checks --fix
git -C "$copy" diff --quiet -- tests/expected.h ||
    echo "release check: scripts/static-checks --fix formatted tests/expected.h after the rename"
step "the win32 build" sh -c 'cmake --preset win32 && cmake --build --preset win32'
# The longer texts may need a sector more, as the table says.
size=$(stat -c %s "$copy/build/win32/$new_program" 2>/dev/null || echo 0)
limit=$(sed -n 's/^set(PROGRAM_SIZE_LIMIT \([0-9]*\))$/\1/p' "$copy/cmake/win32.cmake")
if [ "$size" -gt "$limit" ]; then
    sed -i "s/^set(PROGRAM_SIZE_LIMIT $limit)\$/set(PROGRAM_SIZE_LIMIT $(((size + 511) / 512 * 512)))/" "$copy/cmake/win32.cmake"
    echo "release check: the renamed program is $size bytes: PROGRAM_SIZE_LIMIT raised in the copy, as the table says"
fi
step "the size and import checks" sh -c 'cmake --preset win32 && ctest --preset win32 --no-tests=error -R "^release_(size|imports)$"'

if [ "$("$source/scripts/lib/wine-path")" = native ]; then
    echo "release check: four scenarios of the renamed program under Wine (about 30 s)..."
    step "the scenarios" ctest --test-dir build/win32 --output-on-failure --no-tests=error \
        -R '^e2e_(setup|cleanup|first-winxp-yes|first-nt40-yes|carrying-alone|version-info)$'
else
    echo "release check: the renamed program's scenarios need Wine on this host, which cannot run 32-bit programs; not run"
fi

[ "$failed" -eq 0 ] && echo "release check: every row of the adapting table renamed at its places alone, the copy built, checked and tested"
exit "$failed"
