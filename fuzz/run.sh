#!/bin/sh
# Builds the fuzz targets with clang-14 in build-fuzz/ and runs each for the
# given number of seconds (default 60) on its seed corpus. Findings are left
# as crash-*/leak-*/timeout-* files in the work folders under build-fuzz/;
# the script fails when any target found something.
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DORVANE_FUZZ=ON -DORVANE_SANITIZE=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_loader fuzz_render fuzz_bifs fuzz_picture
# As in scripts/test-sanitize.sh: keeps the leak tracer off dynamic TLS blocks it misreads.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_tls_get_addr=0"
export ASAN_OPTIONS
failed=""
for target in loader render bifs picture; do
  work=build-fuzz/work-$target
  mkdir -p "$work"
  # The translation target reads scenes as the loader does: its seeds and words.
  seeds=$target
  [ "$target" = render ] && seeds=loader
  dict=""
  [ -f "fuzz/$seeds.dict" ] && dict="-dict=fuzz/$seeds.dict"
  echo "fuzz_$target: $SECONDS_EACH s"
  status=0
  # shellcheck disable=SC2086
  build-fuzz/fuzz/fuzz_$target $dict -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work" "fuzz/corpus/$seeds" \
    >"$work.log" 2>&1 || status=$?
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec)|ERROR|SUMMARY|Test unit written" "$work.log" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$target FAILED (exit $status); log: $work.log"
    tail -40 "$work.log"
    failed="$failed $target"
  fi
done
if [ -n "$failed" ]; then
  echo "fuzzing found problems in:$failed"
  exit 1
fi
