#!/usr/bin/env bash
# Owns what the end-to-end tests need around Wine: an X server, private
# prefixes made from scratch once per test run (a 32-bit one, and a 64-bit
# one for the 64-bit Windows the installer must refuse; in the emulated
# machine they are kept between runs, see cached_base), and a clean copy of
# one for each scenario. A scenario or Windows version whose name ends in 64
# runs in the 64-bit prefix, every other in the 32-bit one.
#   wine.sh setup STATE                   start Xvfb, make both base prefixes
#   wine.sh base STATE [win64]            make the base prefix if it is missing
#   wine.sh xserver STATE                 start Xvfb; its display goes to STATE/display
#   wine.sh copy STATE DEST [win64]       a fresh copy of the base prefix in DEST
#   wine.sh scenario STATE BUILD NAME     run one scenario in a fresh copy
#   wine.sh list STATE BUILD NAMES        the driver's scenarios are NAMES
#   wine.sh path STATE PATH               PATH as Windows programs there see it
#   wine.sh environment STATE [NAME]      the settings every Wine command of STATE
#                                         needs, and the WINEARCH for scenario or
#                                         Windows version NAME, as shell exports
#                                         (for eval)
#   wine.sh cleanup STATE                 stop Xvfb
set -euo pipefail

command=${1:?command}
state=${2:?state folder}
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
root=$source_root
source "$source_root/scripts/lib/names.sh"
export WINEDEBUG=-all
# Nothing outside STATE: Wine keeps its server's sockets in $TMPDIR/wine-XXXXXX
# (/tmp when unset), and its menu builder would write desktop entries and
# MIME types below $HOME.
wine_environment() {
    printf 'export TMPDIR=%q WINEDLLOVERRIDES=%q\n' "$state/tmp" "winemenubuilder.exe=d"
}
eval "$(wine_environment)"

# A host path as Windows programs see it: Wine maps the host's root to drive
# Z:, so no Wine program has to start to translate it (each start costs
# seconds in the emulated machine).
windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s\n' "${path//\//\\}"
}

# Timing lines for the suite's log: "timing: WHAT N.N s", WHAT taking from
# the moment given (a clock reading from now) until now.
now() { date +%s.%N; }
timing() { awk -v from="$2" -v to="$(now)" -v what="$1" 'BEGIN { printf "timing: %s %.1f s\n", what, to - from }'; }

# The prefix architecture for a scenario or Windows version: win64 for the
# 64-bit Windows (names ending in 64), win32 for every other.
arch_of() {
    case "$1" in
    *64) echo win64 ;;
    *) echo win32 ;;
    esac
}

# The base prefix of an architecture: win32 (the default) or win64.
base_of() {
    case "${1:-win32}" in
    win32) echo "$state/base" ;;
    win64) echo "$state/base64" ;;
    *) echo "e2e: no such prefix architecture: $1" >&2; exit 2 ;;
    esac
}

need_tools() {
    for tool in wine wineboot wineserver Xvfb; do
        command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed" >&2; exit 1; }
    done
}

# Settings every prefix gets: a virtual desktop (boxes appear at once) and a
# relay trace limited to MessageBoxA, so each box's exact arguments are seen.
# The services that Wine starts with every session and that nothing here
# uses (event log, network, plug and play) are disabled: each is a process
# start, seconds in the emulated machine, in every scenario. One Wine program
# writes all the settings, for the same reason.
configure_prefix() {
    local settings="$WINEPREFIX/drive_c/settings.reg" service
    {
        printf '%s\r\n' 'REGEDIT4' '' \
            '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
            '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="800x600"' '' \
            '[HKEY_CURRENT_USER\Software\Wine\Debug]' '"RelayInclude"="user32.MessageBoxA"' ''
        for service in Eventlog NDIS nsiproxy PlugPlay; do
            printf '%s\r\n' "[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\\$service]" \
                '"Start"=dword:00000004' ''
        done
    } >"$settings"
    wine regedit /S 'C:\settings.reg' >/dev/null 2>&1
    rm -f "$settings"
}

# -noreset: by default Xvfb resets when its last client leaves, and a client
# that connects meanwhile is refused; on a slow (emulated) machine a
# scenario's first Wine process then found no display. -displayfd: Xvfb
# takes a free display itself and writes its number once it accepts
# clients, so that two X servers started at once never take the same one.
start_x() {
    local n=""
    : >"$state/display.number"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$state/display.number" \
        >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do
        n=$(cat "$state/display.number")
        [ -z "$n" ] || { echo ":$n" >"$state/display"; return 0; }
        sleep 0.1
    done
    echo "e2e: Xvfb did not start" >&2
    exit 1
}

# In the emulated machine, where making a base prefix takes minutes and the
# machine's memory is gone after each run, each architecture's base prefix
# is kept as one archive under the build folder (brought in whole, not a
# file at a time through the shared folder). Its name holds Wine's version
# and this script's checksum: a change of either makes it anew.
# SCRIVOX_WINE_BASE_CACHE names the folder where build/ is mounted elsewhere.
cached_base() {
    local folder=${SCRIVOX_WINE_BASE_CACHE:-$source_root/build/wine-base}
    local version
    version=$(wine --version | tr -cs 'A-Za-z0-9.~-' '-')
    echo "$folder/${version%-}-$(sha256sum "$here/wine.sh" | cut -c 1-16)-$1.tar.zst"
}

make_base() {
    local arch=${1:-win32} base started cached=""
    started=$(now)
    base=$(base_of "$arch")
    rm -rf "$base.new"
    [ -z "${SCRIVOX_IN_EMULATED_MACHINE:-}" ] || cached=$(cached_base "$arch")
    if [ -n "$cached" ] && [ -f "$cached" ] && mkdir -p "$base.new" &&
        zstd -dcq "$cached" | tar -C "$base.new" -xf -; then
        mv "$base.new" "$base"
        timing "$arch base prefix unpacked" "$started"
        return
    fi
    rm -rf "$base.new"
    WINEARCH=$arch WINEPREFIX="$base.new" wineboot -i >"$base-wineboot.log" 2>&1
    WINEARCH=$arch WINEPREFIX="$base.new" configure_prefix
    WINEARCH=$arch WINEPREFIX="$base.new" wineserver -w
    mv "$base.new" "$base"
    timing "$arch base prefix made" "$started"
    [ -n "$cached" ] || return 0
    # Only the current archive of an architecture is kept.
    started=$(now)
    mkdir -p "$(dirname "$cached")"
    rm -f "$(dirname "$cached")"/*-"$arch".tar.zst
    tar -C "$base" -cf - . | zstd -1 -T0 -q -o "$cached.new" && mv "$cached.new" "$cached"
    timing "$arch base prefix kept in $cached" "$started"
}

# Wine's own DLLs are never written: link them. What a run writes is copied.
copy_prefix() {
    local destination=$1 base written
    base=$(base_of "${2:-win32}")
    rm -rf "$destination"
    mkdir -p "$(dirname "$destination")"
    cp -al "$base" "$destination"
    for written in "$destination"/*.reg "$destination"/drive_c/users "$destination"/drive_c/windows/*.ini; do
        [ -e "$written" ] || continue
        rm -rf "$written"
        cp -a "$base/${written#$destination/}" "$written"
    done
}

case "$command" in
setup)
    need_tools
    "$0" cleanup "$state" || true
    rm -rf "$state"
    mkdir -p "$TMPDIR"
    start_x
    export DISPLAY=$(cat "$state/display")
    # Two prefixes of their own, two servers: made side by side.
    make_base win32 &
    made32=$!
    make_base win64 || { wait "$made32" || true; exit 1; }
    wait "$made32"
    echo "e2e: prefixes ready in $state/base and $state/base64, X server on $DISPLAY"
    ;;
base)
    need_tools
    mkdir -p "$TMPDIR"
    [ -d "$(base_of "${3:-}")" ] || make_base "${3:-win32}"
    ;;
xserver)
    need_tools
    mkdir -p "$TMPDIR"
    start_x
    ;;
copy)
    copy_prefix "${3:?destination}" "${4:-win32}"
    ;;
scenario)
    need_tools
    build=${3:?build folder}
    name=${4:?scenario}
    arch=$(arch_of "$name")
    [ -d "$(base_of $arch)" ] && [ -f "$state/display" ] || { echo "e2e: setup has not run" >&2; exit 1; }
    run="$state/runs/$name"
    rm -rf "$run"
    started=$(now)
    copy_prefix "$run/prefix" $arch
    timing "$name prefix copy" "$started"
    export DISPLAY=$(cat "$state/display") WINEPREFIX="$run/prefix" WINEARCH=$arch
    case "$name" in
    *-unicode-temp)
        # A user whose name the ANSI code page cannot spell: the session's
        # temporary directory, which Wine gives the processes it starts once
        # its server has ended with the setting written (a .reg file in
        # UTF-16, so that no locale comes between).
        started=$(now)
        mkdir -p "$WINEPREFIX/drive_c/users/Σοφία-Юлия/Temp"
        temp='C:\\users\\Σοφία-Юлия\\Temp'
        { printf '\xff\xfe'; printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
            '[HKEY_CURRENT_USER\Environment]' "\"TEMP\"=\"$temp\"" "\"TMP\"=\"$temp\"" '' |
            iconv -f UTF-8 -t UTF-16LE; } >"$WINEPREFIX/drive_c/temp.reg"
        wine regedit /S 'C:\temp.reg' >/dev/null 2>&1
        rm -f "$WINEPREFIX/drive_c/temp.reg"
        wineserver -w
        timing "$name temporary directory set" "$started"
        ;;
    esac
    export WINEDEBUG=-all,+relay,+pid,+loaddll
    status=0
    started=$(now)
    wine "$build/e2e_driver.exe" scenario "$name" \
        --installer "$(windows_path "$build/$(program_name)")" \
        --package "$(windows_path "$source_root/sample-package")" \
        --relay "$(windows_path "$run/relay.log")" \
        --planted "$(windows_path "$build/planted/planted.dll")" \
        --release "$(windows_path "$build/release-test/unpacked")" \
        --carrying "$(windows_path "$build/carrying/$(program_name)")" \
        --kit "$(windows_path "$build/release-test/kit-unpacked")" \
        --other "$(windows_path "$build/release-test/other-package.exe")" \
        2>"$run/relay.log" || status=$?
    timing "$name driver, from its start to its end" "$started"
    started=$(now)
    wineserver -k || true
    timing "$name Wine server stop" "$started"
    [ "$status" -eq 0 ] && rm -rf "$run"
    exit "$status"
    ;;
list)
    need_tools
    build=${3:?build folder}
    expected=${4:?scenario names}
    export DISPLAY=$(cat "$state/display") WINEPREFIX="$state/base" WINEARCH=win32
    listed=$(wine "$build/e2e_driver.exe" list | tr -d '\r' | tr '\n' ' ')
    wineserver -k || true
    if [ "${listed% }" != "$expected" ]; then
        echo "e2e: the driver lists: ${listed% }" >&2
        echo "e2e: CTest runs:       $expected" >&2
        exit 1
    fi
    ;;
path)
    windows_path "${3:?path}"
    ;;
environment)
    wine_environment
    echo "export WINEARCH=$(arch_of "${3:-}")"
    ;;
cleanup)
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    ;;
*)
    echo "usage: $0 setup|base|xserver|copy|scenario|list|path|environment|cleanup STATE ..." >&2
    exit 2
    ;;
esac
