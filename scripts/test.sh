#!/bin/sh
# Installs the dependencies, builds Orvane from scratch-or-incrementally in
# build/ and runs the whole test suite under CTest.
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2
