#!/bin/sh
# Installs the dependencies, builds Orvane from scratch-or-incrementally in
# build/ and runs the whole test suite under CTest.
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2
# The viewer's window tests once more on a real X server (Xvfb), where Qt gets
# an OpenGL context and the drawn frames can be compared.
xvfb-run -a env QT_QPA_PLATFORM=xcb ctest --test-dir build -R MainWindowTest --output-on-failure
