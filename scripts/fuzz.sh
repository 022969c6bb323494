#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTALVORIN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz
shopt -s nullglob
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
for target in build-fuzz/fuzz/*/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="fuzz/seeds/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  # The reference files of the tests make good seeds too.
  case "$name" in
    fuzz_jet) cp tests/data/jet4/*.mdb "$work"/ 2>/dev/null || true ;;
    fuzz_swf)
      for f in tests/data/swf/*/test.swf; do cp "$f" "$work/$(basename "$(dirname "$f")").swf" 2>/dev/null || true; done
      # Scripted movies of the conformance suite, when it is there, so that mutations reach the interpreter.
      suite="${TALVORIN_SWF_SUITE:-../shared/testdata/swf-suite}"
      for f in $(ls -d "$suite"/avm1__*/ 2>/dev/null | awk 'NR % 6 == 0'); do
        cp "$f/test.swf" "$work/$(basename "$f").swf" 2>/dev/null || true
      done ;;
  esac
  echo "== $name: ${seconds}s"
  log="$work.log"
  mkdir -p build-fuzz/findings
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/findings/ "$work" >"$log" 2>&1; then
    tail -n 80 "$log"
    echo "$name found a fault; the input that shows it is in build-fuzz/findings/" >&2
    exit 1
  fi
  # libFuzzer ends with "Done N runs in S second(s)"; the target's own output may follow it.
  grep -E "^Done [0-9]+ runs" "$log" | tail -n 1 || tail -n 1 "$log"
  rm -rf "$work" "$log"
done
