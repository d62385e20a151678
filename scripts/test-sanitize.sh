#!/bin/sh
# Builds the AddressSanitizer + UndefinedBehaviorSanitizer configuration in
# build-asan/ and runs the test suite under it. Expects scripts/deps.sh to have run.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON -DORVANE_BUILD_BENCH=OFF
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2
