#!/usr/bin/env bash
# Orvane against other VRML97 tools (Coin3D, view3dscene) on the same
# generated files: load time, load + first frame, peak memory; one command.
#
#   bench/compare/run.sh [--reps N] [--scenes a,b,...] [--timeout S] [--quick]
#                        [--mem-limit GIB] [--tools orvane_load,coin_load,...]
#
# Installs what the comparison needs when it is missing (libcoin-dev,
# view3dscene, xvfb, xauth; Orvane's own build packages come from
# scripts/deps.sh), configures a Release build in build-compare/, builds only
# orvane-render, orvane_standard_nodes and orvane_load there, compiles the
# Coin3D harness and the measuring program (measure.c) into build-compare/compare/, generates the scenes there and
# runs every tool interleaved. The table goes to stdout and to
# build-compare/compare/results.md; every run's log is in
# build-compare/compare/logs/ and the raw figures in runs.json.
#
# Scenes: ifs_10k ifs_100k ifs_1m (IndexedFaceSet terrains), tf_1k tf_10k
# tf_100k (Transforms with a Shape each, nested Groups), flat_10k flat_100k (the
# same in one flat Group); --quick takes ifs_10k and tf_1k.
# Defaults: 3 runs per tool and scene, 300 s timeout per run; a tool holding
# more than 12 GiB resident is killed (the machine has 24 GiB, shared).
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build="$repo/build-compare"
cd "$repo"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
for p in libcoin-dev view3dscene xvfb xauth; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "compare: installing$missing"
  as_root apt-get update
  # shellcheck disable=SC2086 # a word list
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

if [ ! -f "$build/build.ninja" ]; then
  nice cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
nice cmake --build "$build" -j2 --target orvane-render orvane_standard_nodes orvane_load

mkdir -p "$build/compare"
coin_bin="$build/compare/coin_load"
coin_src="$repo/bench/compare/coin_load.cpp"
if [ ! -x "$coin_bin" ] || [ "$coin_src" -nt "$coin_bin" ]; then
  if coin_flags=$(pkg-config --cflags --libs Coin 2>/dev/null); then :; else coin_flags="-lCoin"; fi
  echo "compare: g++ -O2 coin_load.cpp $coin_flags"
  # shellcheck disable=SC2086 # the flags are a word list
  nice g++ -O2 -Wall -Wextra "$coin_src" -o "$coin_bin" $coin_flags
fi

measure_bin="$build/compare/measure"
if [ ! -x "$measure_bin" ] || [ "$repo/bench/compare/measure.c" -nt "$measure_bin" ]; then
  nice cc -O2 -Wall -Wextra "$repo/bench/compare/measure.c" -o "$measure_bin"
fi

exec python3 -B "$repo/bench/compare/compare.py" --build "$build" --command "bench/compare/run.sh${*:+ $*}" "$@"
