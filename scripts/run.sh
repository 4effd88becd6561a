#!/usr/bin/env bash
# Starts Mendora from a build directory: the desktop app where there is a
# display, otherwise a demonstration of mendora-cli on a small database.
set -euo pipefail
build_dir=${1:-build}
app="$build_dir/app/mendora"
cli="$build_dir/cli/mendora-cli"
maker="$build_dir/tests/builder/mendora-make-sample"

if [ -x "$app" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  # The app looks for its manual in the directory it starts in.
  cd "$(dirname "$app")"
  exec ./mendora
fi

if [ -x "$app" ]; then
  echo "No display found: the Mendora desktop app needs a desktop session."
  echo "Here is mendora-cli, which recovers databases from the terminal, on a small sample database."
  echo
fi

demo_dir="$build_dir/demo"
mkdir -p "$demo_dir"
sample="$demo_dir/sample.mdb"
"$maker" "$sample" >/dev/null
echo "\$ mendora-cli catalog $sample"
"$cli" catalog "$sample"
echo
echo "\$ mendora-cli analyze $sample"
"$cli" analyze "$sample"
recovered="$demo_dir/sample_recovered.sqlite"
echo "\$ mendora-cli recover $sample $recovered --force"
"$cli" recover "$sample" "$recovered" --force | tail -n 1
echo
echo "Try: $cli dump $sample"
