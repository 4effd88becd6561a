#!/usr/bin/env bash
# install_test.sh install|deb BUILD_DIR VERSION APP_BUILT
#
# install: `cmake --install BUILD_DIR --prefix SCRATCH`; deb: `cpack -G DEB`,
# then `dpkg -x` into a scratch root. Either way the installed mendora-cli
# must run and say its version, its man page must format without warnings,
# its bash completion must complete, and the desktop entry and AppStream
# metadata (when the app is built) must validate and name the prefix they
# were installed under. Exit 77 (skipped) says which tool was missing.
set -uo pipefail
mode=$1 build=$(cd "$2" && pwd) version=$3 app_built=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
missing=()
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
have() { command -v "$1" >/dev/null 2>&1 || { missing+=("$1 (${2})"); return 1; }; }

case $mode in
  install)
    prefix=$scratch/prefix
    if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
      cat "$scratch/install.log"
      echo "FAILED: cmake --install"
      exit 1
    fi
    root=$prefix
    ;;
  deb)
    for tool in cpack dpkg-deb dpkg-shlibdeps; do
      if ! command -v $tool >/dev/null 2>&1; then
        echo "SKIPPED: $tool is missing (scripts/install-deps.sh installs it)"
        exit 77
      fi
    done
    if ! (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg") >"$scratch/cpack.log" 2>&1; then
      cat "$scratch/cpack.log"
      echo "FAILED: cpack -G DEB"
      exit 1
    fi
    deb=$(ls "$scratch"/pkg/*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || { cat "$scratch/cpack.log"; echo "FAILED: cpack made no .deb"; exit 1; }
    echo "built $(basename "$deb"), $(stat -c %s "$deb") bytes"
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    # Debian's package names, not library files.
    [[ $depends == *libsqlite3-0* ]] || fail "the package does not depend on libsqlite3-0"
    [[ $depends == *libc6* ]] || fail "the package does not depend on libc6"
    [[ $depends != *.so* ]] || fail "a dependency is a library file, not a package"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
    dpkg -x "$deb" "$scratch/root" || { echo "FAILED: dpkg -x"; exit 1; }
    prefix=/usr
    root=$scratch/root/usr
    ;;
  *)
    echo "usage: install_test.sh install|deb BUILD_DIR VERSION APP_BUILT"
    exit 2
    ;;
esac

# The program runs from where it was put, and says the version CMake has.
out=$("$root/bin/mendora-cli" --version 2>&1) || fail "mendora-cli --version exited $?: $out"
[[ $out == "mendora-cli $version"* ]] || fail "mendora-cli --version said: $out"
[[ $out == *"SQLite 3."* ]] || fail "mendora-cli --version does not name SQLite's version: $out"
echo "$out"

page=$root/share/man/man1/mendora-cli.1
if [ ! -f "$page" ]; then
  fail "no man page at $page"
elif have man man-db; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "the man page has troff warnings: $warnings"
  # As a user looks it up, through the installed tree.
  text=$(LC_ALL=C.UTF-8 MANPATH="$root/share/man" MANPAGER=cat man mendora-cli 2>&1)
  [[ $text == *"EXIT STATUS"* && $text == *"--out-dir"* ]] || fail "man mendora-cli shows: ${text:0:200}"
fi

completion=$root/share/bash-completion/completions/mendora-cli
if [ ! -f "$completion" ]; then
  fail "no bash completion at $completion"
elif [ -f /usr/share/bash-completion/bash_completion ]; then
  complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
             COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
             _mendora_cli mendora-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
             echo "${COMPREPLY[*]}"' _ "$completion" "$@"
  }
  [ "$(complete_words mendora-cli rec)" = recover ] || fail "'mendora-cli rec<TAB>' gives: $(complete_words mendora-cli rec)"
  [ "$(complete_words mendora-cli recover --ou)" = --out-dir ] || fail "'recover --ou<TAB>' gives: $(complete_words mendora-cli recover --ou)"
  [ "$(complete_words mendora-cli dump --ole r)" = raw ] || fail "'dump --ole r<TAB>' gives: $(complete_words mendora-cli dump --ole r)"
else
  missing+=("/usr/share/bash-completion/bash_completion (bash-completion)")
fi

if [ "$app_built" = 1 ]; then
  entry=$root/share/applications/mendora.desktop
  [ -x "$root/bin/mendora" ] || fail "the desktop app is not installed"
  [ -f "$root/share/man/man1/mendora.1" ] || fail "no man page for the desktop app"
  if [ ! -f "$entry" ]; then
    fail "no desktop entry at $entry"
  else
    if have desktop-file-validate desktop-file-utils; then
      result=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate refuses the entry: $result"
    fi
    grep -qx 'Exec=mendora %f' "$entry" || fail "the entry's Exec is $(grep ^Exec= "$entry")"
    grep -qx 'MimeType=application/x-msaccess;application/vnd.ms-access;' "$entry" || fail "the entry's MimeType is wrong"
    grep -q "^Path=$prefix/" "$entry" || fail "the entry's Path is not under $prefix: $(grep ^Path= "$entry")"
  fi
  metainfo=$(ls "$root"/share/metainfo/*.metainfo.xml 2>/dev/null | head -n 1)
  if [ -z "$metainfo" ]; then
    fail "no AppStream metadata in $root/share/metainfo"
  elif have appstreamcli appstream; then
    result=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli refuses $metainfo: $result"
  fi
fi

if [ $failures -gt 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIPPED in part: missing ${missing[*]} (scripts/install-deps.sh installs them); everything else passed"
  exit 77
fi
echo "all checks passed"
