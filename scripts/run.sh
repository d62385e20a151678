#!/bin/sh
# The main job. Installs the dependencies and builds Orvane, then opens the
# viewer on the bundled t3.wrl. Without a display (or without the viewer) it
# renders t3.wrl to t3.png with the headless renderer and says where it is.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
# The scene, its textures and standardNodes.wrl live in data/; both programs
# read them from their working directory.
cd "$ROOT/data"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$ROOT/build/app/orvane" ]; then
  exec "$ROOT/build/app/orvane"
fi
"$ROOT/build/tools/orvane-render/orvane-render" t3.wrl -o "$ROOT/t3.png"
echo "No display: rendered t3.wrl to $ROOT/t3.png"
