#!/usr/bin/env bash
# The installer's size and start-up benchmark:
#   bench/run.sh [RUNS]
# Reports the stripped size of ScrivoxSetup.exe, the number of functions it
# imports, and, under Wine side by side in one run, the time from process
# start to the first message box for ScrivoxSetup.exe and for a program that
# only shows a message box, with their ratio. Where this host cannot execute
# 32-bit programs it runs in the emulated machine (scripts/emulated), whose
# times are those of pure emulation: compare the ratio, not the milliseconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
build="$root/build/win32"
state="$root/build/bench"
wine_path=$("$root/scripts/wine-path")
[ -f "$build/CMakeCache.txt" ] || cmake --preset win32 -S "$root" >/dev/null
cmake --build "$build" --target ScrivoxSetup bench_minimal e2e_driver >/dev/null
if [ "$wine_path" = emulated ] && [ -z "${SCRIVOX_IN_EMULATED_MACHINE:-}" ]; then
    echo "The benchmark runs in an emulated machine ($("$root/scripts/wine-path" --why))."
    cd "$root"
    exec scripts/emulated --timeout 1800 -- bench/run.sh "$runs"
fi
# In the emulated machine the prefix lives in its memory.
[ -z "${SCRIVOX_IN_EMULATED_MACHINE:-}" ] || state=/tmp/scrivox-bench

exe="$build/ScrivoxSetup.exe"
size=$(stat -c %s "$exe")
imports=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { inside = 1; next } inside && /^\t[0-9a-f]+\t/ { n++ } END { print n }')
echo "ScrivoxSetup.exe: $size bytes stripped ($(( (size + 1023) / 1024 )) KiB of a 12 KiB budget), $imports imported functions"

"$root/tests/e2e/wine.sh" base "$state"
"$root/tests/e2e/wine.sh" copy "$state" "$state/prefix"
"$root/tests/e2e/wine.sh" xserver "$state"
trap '"$root/tests/e2e/wine.sh" cleanup "$state"' EXIT
export DISPLAY=$(cat "$state/display") WINEPREFIX="$state/prefix" WINEARCH=win32 WINEDEBUG=-all
wineserver -p
wine "$build/e2e_driver.exe" firstbox --runs "$runs" \
    --installer "$(winepath -w "$exe")" --minimal "$(winepath -w "$build/bench_minimal.exe")" \
    --package "$(winepath -w "$root/sample-package")" | tr -d '\r'
wineserver -k || true
