#!/usr/bin/env bash
# A scripted session of the desktop app as a user has it, in English and in
# German: a virtual X display with a real window manager, the keyboard driven
# by xdotool. It opens a sample by typing its path, analyses it, makes the
# window larger, looks at the recovered data, saves it (the save dialog with
# its formats), opens the folder of the saved database, analyses a damaged
# copy (one message with what was lost, the account in the log), watches a
# large file being read, asks to leave during a run, stops it, and keeps
# screenshots of each step: docs/screenshots/ (English) and
# docs/screenshots/de/ (German), the README's and the user guide's pictures.
#
# Needs (Debian 12): xvfb xdotool openbox imagemagick x11-utils
# qt6-translations-l10n, a build of the app and the sample maker (cmake
# --build build --target mendora mendora-make-sample) and the sample
# databases. Not part of `make test`; install them with
#   apt-get install xvfb xdotool openbox imagemagick x11-utils qt6-translations-l10n
#
# Usage: scripts/desktop-session.sh [BUILD_DIR] [SAMPLE.mdb] [LANGUAGE...]
# (languages: en de; both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
sample="$(realpath "${2:-../shared/corpus/jet4-northwind.mdb}")"
shift $(( $# > 2 ? 2 : $# ))
languages=("$@")
[ ${#languages[@]} -gt 0 ] || languages=(en de)
app="$PWD/$build/app/mendora"
maker="$PWD/$build/tests/builder/mendora-make-sample"

for tool in Xvfb xdotool openbox import xmessage; do
  command -v "$tool" >/dev/null || { echo "desktop-session: $tool is missing (see the head of this script)" >&2; exit 2; }
done
[ -x "$app" ] || { echo "desktop-session: no $app; build the target mendora first" >&2; exit 2; }
[ -f "$sample" ] || { echo "desktop-session: no sample at $sample" >&2; exit 2; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own and an opener that records what it is asked to open
# and shows it in a window.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
export XDG_CURRENT_DESKTOP=X-Generic
mkdir -p "$work/bin"
cat >"$work/bin/xdg-open" <<OPENER
#!/bin/sh
echo "\$1" >>"$work/opened.log"
xmessage -title "Folder opened" -default okay -center "Opened: \$1" &
OPENER
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The sample is copied, so that nothing is ever written beside the original
# (the save dialog proposes the source's folder), and so is a damaged copy:
# every ninth page zeroed.
mkdir -p "$work/files"
cp "$sample" "$work/files/Northwind.mdb"
sample="$work/files/Northwind.mdb"
damaged="$work/files/Northwind-damaged.mdb"
cp "$sample" "$damaged"
pages=$(( $(stat -c %s "$sample") / 4096 ))
for (( page = 12; page < pages; page += 9 )); do
  dd if=/dev/zero of="$damaged" bs=4096 seek="$page" count=1 conv=notrunc status=none
done
# A file large enough to watch the pass at work.
big=""
if [ -x "$maker" ]; then
  big="$work/big.mdb"
  "$maker" "$big" --rows 3000000 >/dev/null
fi

step() { echo "desktop-session [$lang]: $*"; }
shot() { sleep 0.4; import -window root "$shots/$1.png"; step "screenshot $1.png"; }
# The id of the newest visible window whose title is exactly $1, once there
# are at least $2 of them.
wait_window() {
  local ids
  for _ in $(seq 300); do
    ids=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true)
    if [ "$(echo "$ids" | grep -c .)" -ge "${2:-1}" ]; then echo "$ids" | tail -1; return 0; fi
    sleep 0.1
  done
  echo "desktop-session: no window \"$1\"" >&2
  return 1
}
# Types a path into the path box of the selection (after Back, or at start).
type_path() {
  xdotool windowactivate --sync "$main"
  xdotool key ctrl+a
  xdotool type --delay 10 "$1"
}

session() {
  lang="$1"
  case "$lang" in
    de) locale=de_DE.UTF-8 shots="$PWD/docs/screenshots/de" preview_title="Wiederhergestellte Daten - Mendora"
        save_title="Wiederhergestellte Datenbank speichern" about_title=".+ber Mendora" about_key=b
        view_key=a save_key=c back_key=z stop_key=s ;;
    *) locale=en_US.UTF-8 shots="$PWD/docs/screenshots" preview_title="Recovered data - Mendora"
       save_title="Save Recovered Database" about_title="About Mendora" about_key=a
       view_key=v save_key=s back_key=k stop_key=t ;;
  esac
  mkdir -p "$shots"
  # A clean home (settings, documents) for each language.
  export HOME="$work/home-$lang" XDG_CONFIG_HOME="$work/home-$lang/.config"
  mkdir -p "$HOME/Documents" "$work/out-$lang"
  : >"$work/opened.log"

  step "starting $app"
  LANG="$locale" LC_ALL="$locale" LANGUAGE="$lang" "$app" >"$work/app-$lang.log" 2>&1 &
  app_pid=$!
  pids+=("$app_pid")
  main=$(wait_window Mendora)
  xdotool windowactivate --sync "$main"
  xdotool windowmove "$main" 40 30
  shot main-start

  step "typing the path $sample"
  xdotool type --delay 15 "$sample"
  shot main-before

  step "Enter in the path box: the analysis"
  xdotool key Return
  box=$(wait_window Mendora 2)
  shot main-after
  xdotool windowactivate --sync "$box" key Return
  sleep 0.5

  step "a larger window: the log grows with it"
  xdotool windowsize "$main" 1000 680
  sleep 0.5
  shot main-larger

  step "View recovered data (Alt+$view_key)"
  xdotool windowactivate --sync "$main" key "alt+$view_key"
  preview=$(wait_window "$preview_title")
  xdotool windowactivate --sync "$preview"
  xdotool windowsize "$preview" 1000 640
  xdotool windowmove "$preview" 120 80
  sleep 0.3
  # The first table (Categories) holds pictures in an OLE column.
  shot preview
  xdotool key Escape
  sleep 0.5

  step "Save: the formats, then a SQLite database"
  xdotool windowactivate --sync "$main" key "alt+$save_key"
  dialog=$(wait_window "$save_title")
  xdotool windowactivate --sync "$dialog"
  xdotool windowsize "$dialog" 820 520
  sleep 0.3
  # The formats, in the list of file types at the dialog's foot.
  xdotool mousemove --window "$dialog" 400 $(( $(xdotool getwindowgeometry "$dialog" | sed -n 's/.*Geometry: [0-9]*x//p') - 25 )) click 1
  sleep 0.3
  shot save-dialog
  xdotool key Escape
  sleep 0.2
  target="$work/out-$lang/northwind_recovered.sqlite"
  # Alt+N: the file name.
  xdotool windowactivate --sync "$dialog" key alt+n
  xdotool key ctrl+a
  xdotool type --delay 10 "$target"
  xdotool key Return
  box=$(wait_window Mendora 2)
  shot save-done
  step "Open folder"
  xdotool windowactivate --sync "$box" key alt+o
  opened=$(wait_window "Folder opened")
  shot folder-opened
  xdotool windowactivate --sync "$opened" key Return
  [ -s "$target" ] || { echo "desktop-session: nothing saved at $target" >&2; exit 1; }
  grep -q "$work/out-$lang" "$work/opened.log" || { echo "desktop-session: the folder was not opened" >&2; exit 1; }
  step "saved $(stat -c %s "$target") bytes; the opener was asked for $(cat "$work/opened.log")"

  step "Back, and a damaged copy: one message, the account in the log"
  xdotool windowactivate --sync "$main" key "alt+$back_key"
  box=$(wait_window Mendora 2)
  xdotool windowactivate --sync "$box" key Return
  sleep 0.5
  type_path "$damaged"
  xdotool key Return
  box=$(wait_window Mendora 2)
  shot damaged-message
  xdotool windowactivate --sync "$box" key Return
  sleep 0.5
  shot damaged-log

  if [ -n "$big" ]; then
    step "a 3,000,000-row file: the pass at work, Esc asks, Stop"
    xdotool windowactivate --sync "$main" key "alt+$back_key"
    box=$(wait_window Mendora 2)
    xdotool windowactivate --sync "$box" key Return
    sleep 0.5
    type_path "$big"
    xdotool key Return
    sleep 0.7
    # Esc during a run asks first and holds the pass meanwhile; No goes on.
    xdotool key Escape
    box=$(wait_window Mendora 2)
    shot main-escape
    xdotool windowactivate --sync "$box" key alt+n
    sleep 0.3
    kill -0 "$app_pid" || { echo "desktop-session: Esc during a run ended the app" >&2; exit 1; }
    # Stop holds the pass while it asks: the picture shows it part-way.
    xdotool windowactivate --sync "$main" key "alt+$stop_key"
    box=$(wait_window Mendora 2)
    shot main-during
    xdotool windowactivate --sync "$box" key Return
    sleep 0.5
    shot main-stopped
  else
    step "no $maker (cmake --build $build --target mendora-make-sample): no picture of a pass at work"
  fi

  step "Help > About"
  xdotool windowactivate --sync "$main" key alt+h
  sleep 0.3
  xdotool key "$about_key"
  about=$(wait_window "$about_title")
  shot about
  xdotool windowactivate --sync "$about" key Escape
  sleep 0.3

  xdotool windowactivate --sync "$main" key Escape
  for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app_pid" 2>/dev/null; then echo "desktop-session: Esc did not end the app" >&2; exit 1; fi
  step "done"
}

for language in "${languages[@]}"; do session "$language"; done
