#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan/UBSan and runs them for a
# fixed number of inputs, starting from the sample databases (when present)
# and files the test builder writes: the reader's for RUNS inputs, then the
# save's (each input recovered into an Access file, read back and checked;
# about eight times slower) for an eighth of them, over what the first found.
#   scripts/fuzz.sh [RUNS]      (default 4000; make fuzz-long runs 1,000,000)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-4000}
# Inputs up to this size; smaller ones make a long run faster.
max_len=${MENDORA_FUZZ_MAX_LEN:-700000}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: skipped (clang++ is not installed; scripts/install-deps.sh installs it)"
  exit 0
fi
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMENDORA_FUZZ=ON \
  -DMENDORA_BUILD_APP=OFF >/dev/null
cmake --build "$build" --target mendora-fuzz mendora-fuzz-save mendora-make-sample -j "$(nproc)"
seeds="$build/fuzz-seeds"
rm -rf "$seeds" && mkdir -p "$seeds"
for dir in "${MENDORA_CORPUS:-../shared/corpus}" "${MENDORA_CORPUS_ACE:-../shared/corpus-ace}"; do
  [ -d "$dir" ] || continue
  find "$dir" -maxdepth 1 -type f \( -name '*.mdb' -o -name '*.accdb' \) -size -"$((max_len / 1024))"k -exec cp {} "$seeds/" \;
done
"$build/tests/builder/mendora-make-sample" "$seeds/built4.mdb" >/dev/null
"$build/tests/builder/mendora-make-sample" "$seeds/built3.mdb" --jet3 >/dev/null
fuzz() {
  local target=$1 target_runs=$2 log=$build/$1.log
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/tests/fuzz/$target" -runs="$target_runs" -max_len="$max_len" -rss_limit_mb=2048 -timeout=60 \
    -artifact_prefix="$build/" -seed="${MENDORA_FUZZ_SEED:-20261207}" -print_final_stats=1 "$seeds" >"$log" 2>&1 || {
    grep -a -B4 -A40 -E "ERROR|deadly|SUMMARY" "$log" | head -n 80
    echo "fuzz: $target FAILED (the input is the crash-* file named above; the whole log is $log)"
    exit 1
  }
  tail -n 6 "$log"
  echo "fuzz: $target, ${target_runs} runs clean"
}
fuzz mendora-fuzz "$runs"
fuzz mendora-fuzz-save "$((runs / 8 > 0 ? runs / 8 : 1))"
