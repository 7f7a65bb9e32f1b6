#!/bin/sh
# Installs the Debian packages that a make target needs, only those that are
# missing, so that a second run costs nothing. Usage: deps.sh build|test|windows|bench|deb|package
#
# The i386 packages (the 32-bit Wine) are installed only where this machine
# runs 32-bit programs: ZEFA_I386 says so ("runs", or "refused: REASON", as
# scripts/i386_probe.py answers), else the probe is run here.
set -eu
here=$(dirname "$0")

build="cmake ninja-build g++ make locales python3"
# zefa-update's end-to-end tests make their prefixes with wineboot, a 32-bit
# one too where the 32-bit Wine runs.
test="$build libgtest-dev googletest clang-19 libclang-rt-19-dev libmspack-dev mscompress mtools xorriso wine wine64
  wine32:i386"
# The Windows build: MinGW-w64 for both architectures, GoogleTest's sources,
# and Wine to run the tests: wine32 (i386) runs the product, the 32-bit
# programs, wine64 their 64-bit twins. Xvfb gives Wine a display, ImageMagick
# takes pictures of it, the IPA font draws the Japanese texts. The X libraries
# are those Wine's display driver loads if it finds them (Wine only
# recommends them, and recommends are not installed here), for each Wine.
xlibs="libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3"
windows="$build googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth
  imagemagick fonts-ipafont-gothic $xlibs wine32:i386 $(for p in $xlibs; do printf '%s:i386 ' "$p"; done)"
bench="$build libmspack-dev mscompress 7zip"
# make deb: Debian's compiler flags (dpkg-buildflags), the libraries that the
# package depends on (dpkg-shlibdeps, which CPack calls on what file(1) finds
# to be a program), and Debian's checker.
deb="$build dpkg-dev file lintian"
# make package: dpkg-shlibdeps names the Debian package's libraries; the
# medium's programs are built for 32-bit Windows.
package="$build dpkg-dev g++-mingw-w64-i686"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_get() {
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}

# The package lists. A mirror in the middle of a sync can fail one index
# (apt-get update then exits 100 having read the others): one more try, and
# then the lists that were read, or the old ones, serve.
update() {
  apt_get update -qq || {
    echo "deps.sh: apt-get update failed; once more in 10 s"
    sleep 10
    apt_get update -qq || echo "deps.sh: apt-get update failed again; going on with the lists as they are"
  }
}

# Installs the i386 packages given. A library installed for amd64 and needed
# for i386 too must have one version in both architectures; when the lists
# offer its amd64 version but not its i386 twin (the amd64 one came from a
# list that is newer than the i386 one read), apt stops with "held broken
# packages". Each such library, found in the dependencies a dry run reports
# unmet, is pinned in both architectures to the newest version the lists
# offer for both, and so is every installed package of the same source that
# apt would otherwise remove (a -dev package asks for its library's very
# version), until the dry run passes. Nothing is removed; the pinned
# packages keep their marks (automatically or manually installed).
installed() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}
source_of() {
  dpkg-query -W -f='${source:Package}' "$1" 2>/dev/null
}
versions() {
  apt-cache madison "$1" | awk -F'|' '{ gsub(/ /, "", $2); print $2 }'
}
common_version() {
  amd64=" $(versions "$1:amd64" | tr '\n' ' ') "
  for v in $(versions "$1:i386"); do
    case $amd64 in *" $v "*) echo "$v"; return ;; esac
  done
}
pin_twins() {
  v=$(common_version "$1")
  [ -n "$v" ] || return 0
  new="$new $1:i386=$v $1:amd64=$v"
  sources="$sources $(source_of "$1:amd64")=$v"
}
install_i386() {
  pins=""
  sources=""  # "source=version" of each pinned amd64 package
  tries=0
  # A package asked for whose amd64 twin stands at another version.
  new=""
  for p in "$@"; do
    p=${p%:i386}
    installed "$p:amd64" || continue
    [ "$(dpkg-query -W -f='${Version}' "$p:amd64")" = "$(common_version "$p")" ] || pin_twins "$p"
  done
  pins=$new
  while :; do
    # shellcheck disable=SC2086
    if LC_ALL=C apt_get install --dry-run --no-install-recommends --no-remove --allow-downgrades \
         "$@" $pins >"$log" 2>&1; then
      break
    fi
    new=""
    # An i386 package's dependency is named X:i386; an amd64 package's is
    # named X, and counts where X:i386 is one of those asked for.
    for p in $(sed -n 's/.*Depends: \([^ :(]*\)\(:i386\)\{0,1\} .*but .*/\1\2/p' "$log" | sort -u); do
      case $p in
        *:i386) p=${p%:i386} ;;
        *) case " $* " in *" $p:i386 "*) ;; *) continue ;; esac ;;
      esac
      case " $pins " in *" $p:i386="*) continue ;; esac
      if installed "$p:amd64"; then
        # The amd64 twin moves to the same version: the newest that the
        # lists offer for both.
        pin_twins "$p"
      else
        v=$(LC_ALL=C apt-cache policy "$p:i386" | sed -n 's/^ *Candidate: //p')
        if [ -n "$v" ] && [ "$v" != "(none)" ]; then
          new="$new $p:i386=$v"
        fi
      fi
    done
    for r in $(sed -n '/^The following packages will be REMOVED:/,/^[^ ]/s/^  //p' "$log"); do
      r=${r%:amd64}
      case " $pins$new " in *" $r:amd64="*) continue ;; esac
      s=$(source_of "$r:amd64")
      for sv in $sources; do
        if [ "${sv%%=*}" = "$s" ]; then
          new="$new $r:amd64=${sv#*=}"
          break
        fi
      done
    done
    tries=$((tries + 1))
    if [ -z "$new" ] || [ "$tries" -gt 20 ]; then
      echo "deps.sh: apt cannot install $* from these lists (pins:${pins:- none}):" >&2
      cat "$log" >&2
      exit 1
    fi
    pins="$pins$new"
  done
  [ -z "$pins" ] || echo "deps.sh: pinned, to versions the lists offer for both architectures:$pins"
  auto=$(apt-mark showauto)
  # shellcheck disable=SC2086
  apt_get install -y -qq --no-install-recommends --no-remove --allow-downgrades "$@" $pins >"$log" 2>&1 || {
    cat "$log" >&2
    exit 1
  }
  # A pinned i386 library is there for wine32 alone.
  for pin in $pins; do
    p=${pin%%=*}
    case " $* " in *" $p "*) continue ;; esac
    case $p in
      *:i386) $sudo apt-mark auto "$p" >/dev/null ;;
      *) if echo "$auto" | grep -qx "${p%:amd64}"; then $sudo apt-mark auto "$p" >/dev/null; fi ;;
    esac
  done
  apt_get check -qq >"$log" 2>&1 || {
    echo "deps.sh: apt reports broken packages after the installation:" >&2
    cat "$log" >&2
    exit 1
  }
}

eval "pkgs=\${$1}"
missing=""
missing_i386=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    case $p in
      *:i386) missing_i386="$missing_i386 $p" ;;
      *) missing="$missing $p" ;;
    esac
  fi
done
if [ -n "$missing_i386" ]; then
  if [ -z "${ZEFA_I386:-}" ]; then
    # The probe needs Python.
    if ! command -v python3 >/dev/null; then
      apt_get update -qq || true
      apt_get install -y -qq --no-install-recommends python3 >/dev/null
    fi
    probe=$(mktemp -d "${TMPDIR:-/tmp}/zefa-i386-XXXXXX")
    ZEFA_I386=$(python3 "$here/i386_probe.py" "$probe") || { rm -rf "$probe"; exit 1; }
    rm -rf "$probe"
  fi
  case $ZEFA_I386 in
    runs) ;;
    refused:*)
      echo "deps.sh: not installing$missing_i386: this machine refuses 32-bit programs (${ZEFA_I386#refused: })"
      missing_i386="" ;;
    *) echo "deps.sh: ZEFA_I386 is '$ZEFA_I386': runs, or refused: REASON" >&2; exit 1 ;;
  esac
fi
if [ -n "$missing$missing_i386" ]; then
  echo "installing:$missing$missing_i386"
  log=$(mktemp "${TMPDIR:-/tmp}/zefa-deps-XXXXXX")
  trap 'rm -f "$log"' EXIT
  if [ -n "$missing_i386" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  update
  if [ -n "$missing" ]; then
    # shellcheck disable=SC2086
    apt_get install -y -qq --no-install-recommends $missing >/dev/null
  fi
  # shellcheck disable=SC2086
  [ -z "$missing_i386" ] || install_i386 $missing_i386
fi

# Wine's ANSI code page follows LANG: ja_JP.UTF-8 makes it 932. Generate that
# locale once, through locale.gen so that a later locale-gen keeps it.
# zefa-update's tests in the test target run Wine too.
if { [ "$1" = windows ] || [ "$1" = test ]; } && ! locale -a 2>/dev/null | grep -qx 'ja_JP\.utf8'; then
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
