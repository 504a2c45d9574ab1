#!/usr/bin/env bash
# Builds the program a second time, from the same sources in a fresh
# folder elsewhere, and fails unless the two files are byte for byte the
# same. Then links that copy again with SOURCE_DATE_EPOCH set and fails
# unless the PE header's time stamp is that value.
set -euo pipefail
exe=${1:?executable}
source=${2:?source folder}
second=${3:?folder for the second build}
toolchain=${4:?toolchain file}
build_type=${5:?build type}

rm -rf "$second"
cmake -S "$source" -B "$second" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE="$build_type" >"$second.log" 2>&1 ||
    { cat "$second.log"; echo "FAIL: the second build could not be configured"; exit 1; }
cmake --build "$second" --target ScrivoxSetup >>"$second.log" 2>&1 ||
    { cat "$second.log"; echo "FAIL: the second build failed"; exit 1; }
if ! cmp "$exe" "$second/$(basename "$exe")"; then
    echo "FAIL: two builds of the same sources differ (first bytes that differ above)"
    exit 1
fi

stamp=1234567890
rm "$second/$(basename "$exe")"
SOURCE_DATE_EPOCH=$stamp cmake --build "$second" --target ScrivoxSetup >>"$second.log" 2>&1 ||
    { cat "$second.log"; echo "FAIL: the build with SOURCE_DATE_EPOCH failed"; exit 1; }
# The time stamp is the 32-bit little-endian field 8 bytes into the PE header.
pe=$(od -An -tu4 -j 60 -N 4 "$second/$(basename "$exe")" | tr -d ' ')
got=$(od -An -tu4 -j $((pe + 8)) -N 4 "$second/$(basename "$exe")" | tr -d ' ')
if [ "$got" != "$stamp" ]; then
    echo "FAIL: with SOURCE_DATE_EPOCH=$stamp the time stamp is $got"
    exit 1
fi
rm -rf "$second" "$second.log"
echo "release reproducible: a second build is identical ($(stat -c %s "$exe") bytes); the stamp follows SOURCE_DATE_EPOCH"
