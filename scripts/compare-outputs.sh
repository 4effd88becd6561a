#!/bin/sh
# Prints one line per sample and output (dump, analysis log, SQLite save, Access save, CSV, JSON Lines,
# SQL script, objects) with a hash of what mendora-cli wrote, so two builds can be compared:
#   scripts/compare-outputs.sh OLD/mendora-cli > old.txt
#   scripts/compare-outputs.sh NEW/mendora-cli > new.txt && diff old.txt new.txt
# SQLite files are compared through their text dump; the Access save through `dump` of the written file.
# Samples come from MENDORA_SAMPLES (default: ../shared next to the repository).
set -u
cli=$(realpath "$1")
root=${MENDORA_SAMPLES:-$(cd "$(dirname "$0")/../.." && pwd)/shared}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export MENDORA_PASSWORD=password
h() { sha256sum | cut -c1-16; }
# Every file's name and bytes under a folder, in name order.
tree_hash() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0r sha256sum) | h; }
for f in "$root"/corpus/*.mdb "$root"/corpus/*.mde "$root"/corpus-ace/*.acc* "$root"/corpus-objects/*.* \
         "$root"/corpus-encrypted/*.mdb "$root"/corpus-encrypted/*.accdb "$root"/hostile/*; do
  [ -f "$f" ] || continue
  case "$f" in *.md|*.json) continue;; esac
  n=$(basename "$f")
  rm -rf "$tmp"/*
  echo "$n dump $( (timeout 60 "$cli" dump "$f" 2>/dev/null; echo "rc=$?") | h)"
  echo "$n analyze $( (timeout 60 "$cli" analyze -q "$f" 2>&1; echo "rc=$?") | h)"
  timeout 120 "$cli" recover -q "$f" "$tmp/o.sqlite" --format sqlite >/dev/null 2>&1; rc=$?
  echo "$n sqlite rc=$rc $( [ -f "$tmp/o.sqlite" ] && sqlite3 "$tmp/o.sqlite" .dump | h)"
  timeout 120 "$cli" recover -q "$f" "$tmp/o.mdb" >/dev/null 2>&1; rc=$?
  echo "$n mdb rc=$rc $( [ -f "$tmp/o.mdb" ] && "$cli" dump "$tmp/o.mdb" 2>/dev/null | h)"
  for fmt in csv jsonl sql:postgresql sql:mysql sql:sqlite; do
    d=""; case $fmt in sql:*) d="--dialect ${fmt#sql:}";; esac
    timeout 120 "$cli" export -q --format ${fmt%%:*} $d --out-dir "$tmp/$fmt" "$f" >/dev/null 2>&1; rc=$?
    echo "$n $fmt rc=$rc $( [ -d "$tmp/$fmt" ] && tree_hash "$tmp/$fmt")"
  done
  timeout 60 "$cli" objects "$f" --out-dir "$tmp/obj" >/dev/null 2>&1; rc=$?
  echo "$n objects rc=$rc $( [ -d "$tmp/obj" ] && tree_hash "$tmp/obj")"
done
