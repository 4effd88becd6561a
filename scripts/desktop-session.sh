#!/usr/bin/env bash
# A scripted session of the desktop app as a user has it: a virtual X display
# with a real window manager, the keyboard driven by xdotool. It opens a
# sample by typing its path, analyses it, looks at the recovered data, saves
# it and opens the folder of the saved database, and keeps screenshots of
# each step in docs/screenshots/ (the README's pictures).
#
# Needs (Debian 12): xvfb xdotool openbox imagemagick x11-utils, a build of
# the app (cmake --build build --target mendora) and the sample databases.
# Not part of `make test`; install them with
#   apt-get install xvfb xdotool openbox imagemagick x11-utils
#
# Usage: scripts/desktop-session.sh [BUILD_DIR] [SAMPLE.mdb]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
sample="$(realpath "${2:-../shared/corpus/jet4-northwind.mdb}")"
shots="$PWD/docs/screenshots"
app="$PWD/$build/app/mendora"

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

# A display of our own, a clean home (settings, documents) and an opener
# that records what it is asked to open and shows it in a window.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CURRENT_DESKTOP=X-Generic
mkdir -p "$HOME/Documents" "$work/bin" "$work/out"
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

step() { echo "desktop-session: $*"; }
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

step "starting $app"
"$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")
main=$(wait_window Mendora)
xdotool windowactivate --sync "$main"
xdotool windowmove "$main" 40 30

step "typing the path $sample"
xdotool type --delay 15 "$sample"
shot main-before

step "Enter in the path box: the analysis"
xdotool key Return
box=$(wait_window Mendora 2)
shot main-after
xdotool windowactivate --sync "$box" key Return
sleep 0.5

step "View recovered data (Alt+V)"
xdotool windowactivate --sync "$main" key alt+v
preview=$(wait_window "Recovered data - Mendora")
xdotool windowactivate --sync "$preview"
xdotool windowsize "$preview" 1000 600
xdotool windowmove "$preview" 120 80
sleep 0.3
# The first table (Categories) holds pictures in an OLE column.
shot preview
xdotool key Escape
sleep 0.5

step "Save"
xdotool windowactivate --sync "$main" key alt+s
dialog=$(wait_window "Save Recovered Database")
xdotool windowactivate --sync "$dialog"
target="$work/out/northwind_recovered.sqlite"
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
grep -q "$work/out" "$work/opened.log" || { echo "desktop-session: the folder was not opened" >&2; exit 1; }
step "saved $(stat -c %s "$target") bytes; the opener was asked for $(cat "$work/opened.log")"

# A file large enough to watch the pass at work, then stop it.
maker="$PWD/$build/tests/builder/mendora-make-sample"
if [ -x "$maker" ]; then
  step "a 3,000,000-row file: Back, a typed path, the pass at work, Stop"
  "$maker" "$work/big.mdb" --rows 3000000 >/dev/null
  xdotool windowactivate --sync "$main" key alt+k
  box=$(wait_window Mendora 2)
  xdotool windowactivate --sync "$box" key Return
  sleep 0.5
  xdotool mousemove --window "$main" 200 210 click 1
  xdotool type --delay 10 "$work/big.mdb"
  xdotool key Return
  sleep 0.7
  # Stop holds the pass while it asks: the picture shows it part-way.
  xdotool key alt+t
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
xdotool key a
about=$(wait_window "About Mendora")
shot about
xdotool windowactivate --sync "$about" key Escape
sleep 0.3

xdotool windowactivate --sync "$main" key Escape
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then echo "desktop-session: Esc did not end the app" >&2; exit 1; fi
step "done"
