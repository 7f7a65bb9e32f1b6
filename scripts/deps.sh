#!/bin/sh
# Installs the Debian packages that a make target needs, only those that are
# missing, so that a second run costs nothing. Usage: deps.sh build|test|bench
set -eu

build="cmake ninja-build g++ make locales python3"
test="$build libgtest-dev googletest clang libclang-rt-14-dev libmspack-dev mscompress mtools xorriso"
bench="$build libmspack-dev mscompress"

eval "pkgs=\${$1}"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
    missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq -o DPkg::Lock::Timeout=900
# shellcheck disable=SC2086
$sudo apt-get install -y -qq -o DPkg::Lock::Timeout=900 --no-install-recommends $missing >/dev/null
