# Sourced by the commands (scripts/, bench/) and the test scripts that need
# the program's names, after options.sh, with root set to the project's
# folder. Each name is read from the one place it is kept, the program's
# sources (include/scrivox.h), so that a vendor renames it there alone.
#   header_text MACRO     the text of a #define of include/scrivox.h
#   expected_text NAME    a value of tests/expected.h's table (const char NAME[]),
#                         for the test scripts: what the tests expect
#   program_name          the program's file name (PRIVATE_COPY_NAME)
#   package_names         the package's four file names, in copy order
#                         (DriverFileSet, each by its role's macro)
#   find_package DIR      finds each of them in DIR as Windows reads a folder,
#                         whatever the case of the name on disk: package_files
#                         holds the names, package_paths each one's path ("" for
#                         one that is not there as a file), package_lacks the
#                         names not there. Two names that differ only in case
#                         (Windows would see one of them, which is not said) and
#                         a file of zero bytes are refused, with exit status 2.
#   package_time PATH     a package file's time, in seconds, rounded down to an
#                         even second (a zip entry's DOS time holds no more):
#                         in a git checkout, where the file is committed and
#                         unchanged, its last commit's (so that a release can be
#                         made again), else its own last-modification time
#   configure_carrying BUILD  after find_package: copies the package's files,
#                         under the program's names and with their times
#                         (package_time), into BUILD/package and configures
#                         BUILD (the win32 build) to carry them; exits 1, with
#                         cmake's log, where it cannot

header_text() { # the text of a #define of include/scrivox.h
    sed -n "s/^#define $1 \"\\(.*\\)\"\$/\\1/p" "$root/include/scrivox.h"
}

expected_text() {
    sed -n "s/^const char $1\[\] = \"\(.*\)\";.*/\1/p" "$root/tests/expected.h"
}

program_name() {
    header_text PRIVATE_COPY_NAME
}

package_names() {
    local macro
    for macro in $(sed -n '/DriverFileSet\[/,/};/p' "$root/include/scrivox.h" | grep -o '[A-Z_]*_FILE_NAME'); do
        header_text "$macro"
    done
}

find_package() {
    local dir=$1 name entry base found
    mapfile -t package_files <<<"$(package_names)" # no /dev/fd in the emulated machine
    package_paths=() package_lacks=()
    for name in "${package_files[@]}"; do
        found=""
        for entry in "$dir"/* "$dir"/.*; do
            base=${entry##*/}
            [ -e "$entry" ] && [ "${base,,}" = "${name,,}" ] || continue
            [ -z "$found" ] ||
                refuse "the package folder $dir holds ${found##*/} and ${entry##*/}, names that differ only in case: Windows would see one of them"
            found=$entry
        done
        if [ -n "$found" ] && [ -f "$found" ]; then
            [ -s "$found" ] || refuse "the package's $name ($found) is empty: 0 bytes"
            package_paths+=("$found")
        else
            package_paths+=("")
            package_lacks+=("$name")
        fi
    done
}

package_time() {
    local dir=${1%/*} base=${1##*/} time=""
    [ "$dir" != "$1" ] || dir=.
    if [ -n "$(git -C "$dir" ls-files -- "$base" 2>/dev/null)" ] &&
        [ -z "$(git -C "$dir" status --porcelain -- "$base" 2>/dev/null)" ]; then
        time=$(git -C "$dir" log -1 --format=%ct -- "$base" 2>/dev/null)
    fi
    [ -n "$time" ] || time=$(stat -L -c %Y "$1")
    echo $((time - time % 2))
}

configure_carrying() {
    local build=$1 i
    rm -rf "$build/package"
    mkdir -p "$build/package"
    for i in "${!package_files[@]}"; do
        cp "${package_paths[$i]}" "$build/package/${package_files[$i]}"
        touch -d "@$(package_time "${package_paths[$i]}")" "$build/package/${package_files[$i]}"
    done
    cmake -S "$root" -B "$build" --toolchain "$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DSCRIVOX_PACKAGE="$build/package" >"$build.log" 2>&1 ||
        { cat "$build.log" >&2; echo "$program: the build could not be configured" >&2; exit 1; }
}
