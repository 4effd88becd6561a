#!/bin/sh
# Times every command of mendora-cli on every crafted file of ../shared/hostile (or MENDORA_HOSTILE) and
# prints one line per file and command with its wall time, slowest first: each must stay within 2 s.
#   scripts/time-hostile.sh PATH/TO/mendora-cli
set -u
cli=$(realpath "$1")
root=${MENDORA_HOSTILE:-$(cd "$(dirname "$0")/../.." && pwd)/shared/hostile}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export MENDORA_PASSWORD=password
t() {  # label, command...
  label=$1; shift
  start=$(date +%s.%N)
  timeout 60 "$@" >/dev/null 2>&1
  rc=$?
  printf '%6.2f s  rc=%-3s %s\n' "$(echo "$(date +%s.%N) - $start" | bc)" "$rc" "$label"
}
for f in "$root"/*; do
  case "$f" in *.md|*.json) continue;; esac
  [ -f "$f" ] || continue
  n=$(basename "$f")
  rm -rf "$tmp"/*
  t "$n analyze" "$cli" analyze -q "$f"
  t "$n dump" "$cli" dump "$f"
  t "$n recover-sqlite" "$cli" recover -q "$f" "$tmp/o.sqlite" --format sqlite
  t "$n recover-mdb" "$cli" recover -q "$f" "$tmp/o.mdb"
  for fmt in csv jsonl; do t "$n export-$fmt" "$cli" export -q --format $fmt --out-dir "$tmp/$fmt" "$f"; done
  for dialect in postgresql mysql sqlite; do
    t "$n export-sql-$dialect" "$cli" export -q --format sql --dialect $dialect --out-dir "$tmp/sql-$dialect" "$f"
  done
  t "$n check" "$cli" check "$f"
  t "$n objects" "$cli" objects "$f" --out-dir "$tmp/obj"
done | sort -rn
