#!/usr/bin/env bash
# Fails unless the base prefix kept for the emulated machine is used only by
# the Wine version and harness it was made with: the kept archive is
# unpacked instead of making a prefix, a change of Wine's version makes the
# prefix anew and replaces the archive. Wine itself is stood in for by small
# commands on PATH, so this runs on any host.
#   check_prefix_cache.sh WORK_FOLDER
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=${1:?work folder}
rm -rf "$work"
mkdir -p "$work/bin"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# wine --version prints the version in $work/version; wineboot makes a
# prefix holding "made"; the other calls do nothing.
cat >"$work/bin/wine" <<'EOF'
#!/bin/sh
[ "$1" = --version ] && cat "$STANDIN/version"
exit 0
EOF
cat >"$work/bin/wineboot" <<'EOF'
#!/bin/sh
mkdir -p "$WINEPREFIX/drive_c" && echo made >"$WINEPREFIX/made" && echo boot >>"$STANDIN/boots"
EOF
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
cp "$work/bin/wineserver" "$work/bin/Xvfb"
chmod +x "$work/bin"/*
export PATH="$work/bin:$PATH" STANDIN=$work SCRIVOX_IN_EMULATED_MACHINE=1 \
    SCRIVOX_WINE_BASE_CACHE=$work/kept
boots() { [ -f "$work/boots" ] && wc -l <"$work/boots" || echo 0; }
base() { rm -rf "$work/state" && "$here/../e2e/wine.sh" base "$work/state" win32 >/dev/null; }

echo "wine-8.0" >"$work/version"
base
[ "$(boots)" -eq 1 ] || fail "the first run did not make the prefix"
kept=$(ls "$work/kept")
[ "$(wc -l <<<"$kept")" -eq 1 ] && [[ "$kept" == wine-8.0-*-win32.tar.zst ]] ||
    fail "the prefix was not kept as one archive named by the version: $kept"

base
[ "$(boots)" -eq 1 ] || fail "the kept prefix was made again instead of unpacked"
[ -f "$work/state/base/made" ] || fail "the kept prefix was not unpacked"

echo "wine-9.0" >"$work/version"
base
[ "$(boots)" -eq 2 ] || fail "a prefix kept for another Wine was used"
kept=$(ls "$work/kept")
[[ "$kept" == wine-9.0-*-win32.tar.zst ]] || fail "the other Wine's archive was not replaced: $kept"

rm -rf "$work"
[ "$failed" -eq 0 ] && echo "prefix cache: used by its own Wine version only, made anew for another"
exit "$failed"
