#!/bin/sh
# Runs one Windows program of the build under the tree's Wine, as ctest's emulator
# (CROSSCOMPILING_EMULATOR, see cmake/Wine.cmake).
# Usage: wine-run.sh BUILD/wine.env PROGRAM.exe [ARGUMENT...]
#
# The program runs in the build tree's prefix (made here if it is missing)
# with a Japanese locale, so that the ANSI code page is 932. Its output is
# collected in files and shown when it ends: a pipe given straight to Wine
# would stay open as long as the wine server, which inherits it.
set -eu
here=$(dirname "$0")
env_file=$1
shift
. "$here/wine-env.sh"
[ -f "$WINEPREFIX/.zefa-ready" ] || sh "$here/wine-prefix.sh" "$env_file"

out=$(mktemp -d "${TMPDIR:-/tmp}/zefa-wine-XXXXXX")
trap 'rm -rf "$out"' EXIT
status=0
as_wine_user "$ZEFA_WINE" "$@" </dev/null >"$out/stdout" 2>"$out/stderr" || status=$?
cat "$out/stdout"
cat "$out/stderr" >&2
exit "$status"
