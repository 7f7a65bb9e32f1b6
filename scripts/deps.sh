#!/bin/sh
# Installs the Debian packages that a make target needs, only those that are
# missing, so that a second run costs nothing. Usage: deps.sh build|test|windows|bench|package
set -eu

build="cmake ninja-build g++ make locales python3"
# zefa-update's end-to-end tests make their prefixes with wineboot.
test="$build libgtest-dev googletest clang libclang-rt-14-dev libmspack-dev mscompress mtools xorriso wine wine64"
# The Windows build: MinGW-w64 for both architectures, GoogleTest's sources,
# and Wine to run the tests. Only the 64-bit Wine: the kernel here runs no
# 32-bit programs, so wine32 would be of no use. Xvfb gives Wine a display,
# ImageMagick takes pictures of it, the IPA font draws the Japanese texts.
# The X libraries are those Wine's display driver loads if it finds them
# (Wine only recommends them, and recommends are not installed here).
windows="$build googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth
  imagemagick fonts-ipafont-gothic
  libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3"
bench="$build libmspack-dev mscompress 7zip"
# make package: dpkg-shlibdeps names the Debian package's libraries; the
# medium's programs are built for 32-bit Windows.
package="$build dpkg-dev g++-mingw-w64-i686"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

eval "pkgs=\${$1}"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
    missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq -o DPkg::Lock::Timeout=900
  # shellcheck disable=SC2086
  $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=900 --no-install-recommends $missing >/dev/null
fi

# Wine's ANSI code page follows LANG: ja_JP.UTF-8 makes it 932. Generate that
# locale once, through locale.gen so that a later locale-gen keeps it.
if [ "$1" = windows ] && ! locale -a 2>/dev/null | grep -qx 'ja_JP\.utf8'; then
  echo "generating the locale ja_JP.UTF-8"
  if ! grep -q '^ja_JP\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    if grep -q '^# *ja_JP\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
      $sudo sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    else
      echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
  fi
  $sudo locale-gen >/dev/null
fi
