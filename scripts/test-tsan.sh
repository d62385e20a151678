#!/bin/sh
# Builds the ThreadSanitizer configuration in build-tsan/ and runs the tests
# that use more than one thread (render thread, trace, message deferral, the
# viewer's hand-over between its GUI thread and the render thread, its load
# worker, and the thread that feeds the scanner a scene file).
# Expects scripts/deps.sh to have run.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_TSAN=ON -DORVANE_BUILD_BENCH=OFF
cmake --build build-tsan --target rendermodule_tests trace_tests app_tests loader_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./build-tsan/tests/trace/trace_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./build-tsan/tests/rendermodule/rendermodule_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./build-tsan/tests/loader/loader_tests
QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan-qt.supp" \
  ./build-tsan/tests/app/app_tests
