#!/bin/sh
# Makes the Wine prefix that a build tree's tests run in, unless it exists.
# Usage: wine-prefix.sh BUILD/wine.env
# Safe to call from several processes at once: the first makes the prefix,
# the others wait for it. Wine's output goes to files in the prefix, never to
# a pipe, which the wine server would hold open.
set -eu
here=$(dirname "$0")
env_file=$1
. "$here/wine-env.sh"

exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.zefa-ready" ] && exit 0

# The old prefix goes, and with it the folder its server kept in TMPDIR
# (Debian's Wine names that folder in the prefix's file "wineserver").
as_wine_user "$ZEFA_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
as_wine_user "$ZEFA_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
if [ -f "$WINEPREFIX/wineserver" ]; then
  server_dir=$(cat "$WINEPREFIX/wineserver")
  case $server_dir in
    wine-??????) rm -rf "${TMPDIR:-/tmp}/$server_dir" ;;
  esac
fi
rm -rf "$WINEPREFIX" "$WINEPREFIX.home"
mkdir -p "$WINEPREFIX" "$WINEPREFIX.home"
log="$WINEPREFIX/zefa-setup.log"
fail() {
  echo "wine-prefix.sh: $1 (see $log)" >&2
  exit 1
}

[ -r "$ZEFA_PREFIX_REG" ] || fail "$ZEFA_PREFIX_REG is missing"
if [ -n "$wine_as" ] && ! $wine_as true 2>>"$log"; then
  fail "root runs Wine in a user namespace (unshare --user), which this system refuses"
fi

as_wine_user "$ZEFA_WINE" wineboot --init </dev/null >>"$log" 2>&1 || fail "wineboot failed"

# regedit reads a .reg file of version 5.00 as Unicode only in UTF-16LE with
# a BOM; it skips a UTF-8 file with a BOM and reads one without as CP932.
reg="$WINEPREFIX/zefa-prefix.reg"
{ printf '\377\376'; sed 's/\r*$/\r/' "$ZEFA_PREFIX_REG" | iconv -f UTF-8 -t UTF-16LE; } >"$reg"
as_wine_user "$ZEFA_WINE" regedit /S "$reg" </dev/null >>"$log" 2>&1 || fail "regedit failed"
# Check that it took: a file regedit did not understand is skipped in silence.
query="$WINEPREFIX/zefa-query.txt"
as_wine_user "$ZEFA_WINE" reg query 'HKCU\Software\Wine\X11 Driver' /v Managed \
  </dev/null >"$query" 2>>"$log" || fail "the X11 Driver settings are missing"
grep -q 'Managed.*REG_SZ.*N' "$query" || fail "Managed is not N"
# Stopping the server writes the registry to the prefix's files (at once,
# where waiting for it to end by itself takes five seconds).
as_wine_user "$ZEFA_WINESERVER" -k </dev/null >>"$log" 2>&1

touch "$WINEPREFIX/.zefa-ready"
