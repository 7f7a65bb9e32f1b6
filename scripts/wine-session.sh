#!/bin/sh
# Runs a command (ctest) with a fresh Wine prefix for the build tree and a
# display of its own, then stops the prefix's wine server and the display.
# Usage: wine-session.sh BUILD/wine.env COMMAND [ARGUMENT...]
#
# The display is an Xvfb that picks a free number itself (-displayfd), so
# sessions of several build trees run side by side; only clients holding
# its cookie may connect. The prefix is made once and kept running (a
# persistent wine server) for every program the command starts.
set -eu
here=$(dirname "$0")
env_file=$1
shift
. "$here/wine-env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zefa-session-XXXXXX")
xvfb=""
stop() {
  as_wine_user "$ZEFA_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# The display.
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export XAUTHORITY="$work/Xauthority"
: >"$XAUTHORITY"
xauth -q -f "$XAUTHORITY" add :0 . "$cookie"
Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -noreset -screen 0 1024x768x24 \
  3>"$work/display" </dev/null >"$work/xvfb.log" 2>&1 &
xvfb=$!
tries=0
until [ -s "$work/display" ]; do
  if ! kill -0 "$xvfb" 2>/dev/null || [ "$tries" -ge 100 ]; then
    echo "wine-session.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.1
done
display=$(head -n 1 "$work/display")
export DISPLAY=":$display"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"

# A fresh prefix, with its wine server kept running for the whole session.
rm -f "$WINEPREFIX/.zefa-ready"
sh "$here/wine-prefix.sh" "$env_file"
as_wine_user "$ZEFA_WINESERVER" -p </dev/null >/dev/null 2>&1

status=0
"$@" || status=$?
exit "$status"
