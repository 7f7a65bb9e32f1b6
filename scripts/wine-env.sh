# Sourced by the wine-*.sh scripts, after setting env_file to a build tree's
# wine.env (written by cmake/Wine.cmake): the settings of every Wine process
# of that tree's tests.
. "$env_file"
export WINEPREFIX WINEARCH WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: they would ask to download.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The ANSI code page follows the locale: 932 under ja_JP.UTF-8.
export LANG=ja_JP.UTF-8
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE

# Wine started by root lets a program write to a read-only file, since the
# kernel lets root do that; Windows refuses. So root runs Wine in a user
# namespace of its own as an ordinary user (uid 4000, unknown to the system)
# to whom root's files belong: the kernel checks every permission bit then,
# and the build tree needs no other owner.
if [ "$(id -u)" -eq 0 ]; then
  wine_as="unshare --user --map-user=4000 --map-group=4000"
else
  wine_as=""
fi

# Runs a command as the user Wine runs as, with a home in the build tree.
as_wine_user() {
  # shellcheck disable=SC2086
  HOME="$WINEPREFIX.home" $wine_as "$@"
}
