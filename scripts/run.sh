#!/bin/sh
# The main job. Installs the dependencies and builds Orvane, then opens the
# viewer on the bundled t3.wrl; without a display it renders t3.wrl to a PNG.
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
echo "Orvane: the viewer and the headless renderer are not built yet."
echo "Built so far: the scene model's field values and lists, the BIFS bit writer and reader."
echo "Run the tests with ./scripts/test.sh"
