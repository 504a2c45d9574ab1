#!/usr/bin/env bash
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=bench/run.sh
source "$root/scripts/lib/options.sh"
source "$root/scripts/lib/names.sh"

usage() {
    cat <<USAGE
Usage: bench/run.sh [RUNS]

Reports the stripped size of the program ($(program_name)) against its limit,
the number of functions it imports, and, under Wine side by side in one run,
the time from process start to the first message box for the program and for a minimal
program that starts itself again and shows a box in that second process
(the floor of the installer's design, two process starts), with their
ratio (the median of RUNS runs each, default 20). It builds what it needs first. Where this host cannot execute
32-bit programs it runs in the emulated machine (scripts/lib/emulated), whose
times are those of pure emulation: compare the ratio, not the milliseconds.

  RUNS        a whole number of runs, at least 1
  -h, --help  print this and run nothing

Exit status: 0 with the figures printed; 1 when a program showed no box (so
nothing was measured) or the build failed; 2 for bad input (nothing is run).
USAGE
}
case "${1:-}" in
-h | --help) usage; exit 0 ;;
-*) refuse "unknown option $1" ;;
esac
[ $# -le 1 ] || refuse "one argument at most, the number of runs"
runs=${1:-20}
positive_integer "$runs" || refuse "RUNS must be a whole number of at least 1, not '$runs'"
build="$root/build/win32"
state="$root/build/bench"
wine_path=$("$root/scripts/lib/wine-path")
echo "Building the program, the minimal one and the test driver (a minute the first time, then seconds)..."
# Configured each time, so that a configure that failed before leaves
# nothing behind that breaks this one.
mkdir -p "$root/build"
(cd "$root" && cmake --preset win32 >"$build.log" 2>&1) ||
    { cat "$build.log" >&2; echo "$program: the build could not be configured" >&2; exit 1; }
cmake --build "$build" --target ScrivoxSetup bench_minimal e2e_driver >>"$build.log" 2>&1 ||
    { cat "$build.log" >&2; echo "$program: the build failed" >&2; exit 1; }
if [ "$wine_path" = emulated ] && [ -z "${SCRIVOX_IN_EMULATED_MACHINE:-}" ]; then
    echo "The benchmark runs in an emulated machine ($("$root/scripts/lib/wine-path" --why))."
    cd "$root"
    exec scripts/lib/emulated --timeout 1800 -- bench/run.sh "$runs"
fi
# In the emulated machine the prefix lives in its memory.
[ -z "${SCRIVOX_IN_EMULATED_MACHINE:-}" ] || state=/tmp/bench-state

exe="$build/$(program_name)"
size=$(stat -c %s "$exe")
limit=$(sed -n 's/^set(PROGRAM_SIZE_LIMIT \([0-9]*\)).*/\1/p' "$root/cmake/win32.cmake")
imports=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { inside = 1; next } inside && /^\t[0-9a-f]+\t/ { n++ } END { print n }')
echo "$(program_name): $size bytes stripped, of a limit of $limit, $imports imported functions"

wine_sh="$root/tests/e2e/wine.sh"
echo "Preparing a Wine prefix (seconds; a minute the first time), then $runs runs of each program..."
"$wine_sh" base "$state"
"$wine_sh" copy "$state" "$state/prefix"
"$wine_sh" xserver "$state"
eval "$("$wine_sh" environment "$state")"
export DISPLAY=$(cat "$state/display") WINEPREFIX="$state/prefix" WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true; "$wine_sh" cleanup "$state"' EXIT
wineserver -p
status=0
wine "$build/e2e_driver.exe" firstbox --runs "$runs" \
    --installer "$("$wine_sh" path "$state" "$exe")" \
    --minimal "$("$wine_sh" path "$state" "$build/bench_minimal.exe")" \
    --package "$("$wine_sh" path "$state" "$root/sample-package")" | tr -d '\r' || status=$?
# The driver fails when a program showed no box: then nothing was measured.
[ "$status" -eq 0 ] || { echo "$program: the benchmark measured nothing" >&2; exit 1; }
