#!/bin/sh
# Builds the AddressSanitizer + UndefinedBehaviorSanitizer configuration in
# build-asan/ and runs the test suite under it. Expects scripts/deps.sh to have run.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON -DORVANE_BUILD_BENCH=OFF
cmake --build build-asan
# intercept_tls_get_addr=0: the runtime of this compiler takes a dynamic TLS block that
# happens to start 16 bytes into a page for one with an old glibc header, reads a size
# from before it, and its leak tracer then crashes at exit ("Tracer caught signal 11",
# no leak reported) whenever the graphics driver's threads land so. Static TLS, stacks
# and the heap are still scanned for leaks.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2
