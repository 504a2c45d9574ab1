#!/usr/bin/env bash
# Owns what the end-to-end tests need around Wine: an X server, a private
# 32-bit prefix made from scratch once per test run, and a clean copy of it
# for each scenario.
#   wine.sh setup STATE                   start Xvfb, make the base prefix
#   wine.sh base STATE                    make the base prefix if it is missing
#   wine.sh xserver STATE                 start Xvfb; its display goes to STATE/display
#   wine.sh copy STATE DEST               a fresh copy of the base prefix in DEST
#   wine.sh scenario STATE BUILD NAME     run one scenario in a fresh copy
#   wine.sh list STATE BUILD NAMES        the driver's scenarios are NAMES
#   wine.sh cleanup STATE                 stop Xvfb
set -euo pipefail

command=${1:?command}
state=${2:?state folder}
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
export WINEARCH=win32 WINEDEBUG=-all

need_tools() {
    for tool in wine wineboot wineserver Xvfb; do
        command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed" >&2; exit 1; }
    done
}

# Settings every prefix gets: a virtual desktop (boxes appear at once) and a
# relay trace limited to MessageBoxA, so each box's exact arguments are seen.
configure_prefix() {
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d user32.MessageBoxA /f >/dev/null
}

# -noreset: by default Xvfb resets when its last client leaves, and a client
# that connects meanwhile is refused; on a slow (emulated) machine a
# scenario's first Wine process then found no display.
start_x() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    echo ":$n" >"$state/display"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "e2e: Xvfb did not start" >&2
    exit 1
}

make_base() {
    rm -rf "$state/base.new"
    WINEPREFIX="$state/base.new" wineboot -i >"$state/wineboot.log" 2>&1
    WINEPREFIX="$state/base.new" configure_prefix
    WINEPREFIX="$state/base.new" wineserver -w
    mv "$state/base.new" "$state/base"
}

# Wine's own DLLs are never written: link them. What a run writes is copied.
copy_prefix() {
    local destination=$1 written
    rm -rf "$destination"
    mkdir -p "$(dirname "$destination")"
    cp -al "$state/base" "$destination"
    for written in "$destination"/*.reg "$destination"/drive_c/users "$destination"/drive_c/windows/*.ini; do
        [ -e "$written" ] || continue
        rm -rf "$written"
        cp -a "$state/base/${written#$destination/}" "$written"
    done
}

case "$command" in
setup)
    need_tools
    "$0" cleanup "$state" || true
    rm -rf "$state"
    mkdir -p "$state"
    start_x
    export DISPLAY=$(cat "$state/display")
    make_base
    echo "e2e: prefix ready in $state/base, X server on $DISPLAY"
    ;;
base)
    need_tools
    mkdir -p "$state"
    [ -d "$state/base" ] || make_base
    ;;
xserver)
    need_tools
    mkdir -p "$state"
    start_x
    ;;
copy)
    copy_prefix "${3:?destination}"
    ;;
scenario)
    need_tools
    build=${3:?build folder}
    name=${4:?scenario}
    [ -d "$state/base" ] && [ -f "$state/display" ] || { echo "e2e: setup has not run" >&2; exit 1; }
    run="$state/runs/$name"
    rm -rf "$run"
    copy_prefix "$run/prefix"
    export DISPLAY=$(cat "$state/display") WINEPREFIX="$run/prefix" WINEDEBUG=-all,+relay
    status=0
    wine "$build/e2e_driver.exe" scenario "$name" \
        --installer "$(winepath -w "$build/ScrivoxSetup.exe" 2>/dev/null)" \
        --package "$(winepath -w "$source_root/sample-package" 2>/dev/null)" \
        --relay "$(winepath -w "$run/relay.log" 2>/dev/null)" \
        --planted "$(winepath -w "$build/planted/WINSPOOL.DRV" 2>/dev/null)" \
        --release "$(winepath -w "$build/release-test/unpacked" 2>/dev/null)" \
        2>"$run/relay.log" || status=$?
    wineserver -k || true
    [ "$status" -eq 0 ] && rm -rf "$run"
    exit "$status"
    ;;
list)
    need_tools
    build=${3:?build folder}
    expected=${4:?scenario names}
    export DISPLAY=$(cat "$state/display") WINEPREFIX="$state/base"
    listed=$(wine "$build/e2e_driver.exe" list | tr -d '\r' | tr '\n' ' ')
    wineserver -k || true
    if [ "${listed% }" != "$expected" ]; then
        echo "e2e: the driver lists: ${listed% }" >&2
        echo "e2e: CTest runs:       $expected" >&2
        exit 1
    fi
    ;;
cleanup)
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    ;;
*)
    echo "usage: $0 setup|scenario|cleanup STATE ..." >&2
    exit 2
    ;;
esac
