#!/usr/bin/env bash
# Times orvane-render on a generated 1M-triangle IndexedFaceSet scene: load,
# translation and the first frame written as PNG, with peak memory, over
# several runs; prints every run and the medians.
#
#   bench/render_first_frame.sh [BUILD_DIR] [RUNS] [GRID]
#
# BUILD_DIR defaults to build (it must hold tools/orvane-render/orvane-render
# and data/standardNodes.wrl), RUNS to 5, GRID to 709 (709 x 709 vertices,
# 1,002,528 triangles). The scene lives in a temporary folder removed at exit;
# set KEEP_PNG=path to keep the last picture.
set -euo pipefail

build=$(realpath "${1:-build}")
runs=${2:-5}
grid=${3:-709}
render="$build/tools/orvane-render/orvane-render"
nodes="$build/data/standardNodes.wrl"
for f in "$render" "$nodes" /usr/bin/time; do
  [[ -e $f ]] || { echo "render_first_frame.sh: missing $f" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$nodes" "$work/standardNodes.wrl"

# The same grid as the loader benchmark: n x n points, two triangles a cell.
awk -v n="$grid" 'BEGIN {
  print "#VRML V2.0 utf8"
  print "Viewpoint { position 3.5 3.5 12 }"
  print "Shape { appearance Appearance { material Material { diffuseColor 0.8 0.6 0.4 } }"
  print " geometry IndexedFaceSet {\n  coord Coordinate { point ["
  for (y = 0; y < n; y++)
    for (x = 0; x < n; x++)
      printf "%.4f %.4f %.4f,\n", x * 0.01, y * 0.01, 0.05 * ((x * 7 + y * 3) % 11)
  print "  ] }\n  coordIndex ["
  for (y = 0; y + 1 < n; y++)
    for (x = 0; x + 1 < n; x++) {
      a = y * n + x; b = a + 1; c = a + n; d = c + 1
      printf "%d %d %d -1, %d %d %d -1,\n", a, b, d, a, d, c
    }
  print "  ]\n }\n}"
}' > "$work/faceset.wrl"
echo "scene: $(( 2 * (grid - 1) * (grid - 1) )) triangles, $(stat -c %s "$work/faceset.wrl") bytes"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$work/runs"
for ((i = 1; i <= runs; i++)); do
  (cd "$work" && /usr/bin/time -v -o "$work/time.txt" "$render" faceset.wrl -o first.png 2> "$work/stderr.txt") ||
    { echo "run $i failed:" >&2; cat "$work/stderr.txt" "$work/time.txt" >&2; exit 1; }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = 0; for (k = 1; k <= n; k++) wall = wall * 60 + p[k] }
    /User time/ { user = $2 } /System time/ { sys = $2 } /Maximum resident/ { rss = $2 / 1024 }
    END { printf "%.2f %.2f %.2f %.0f\n", wall, user, sys, rss }' "$work/time.txt" >> "$work/runs"
  read -r wall user sys rss < <(tail -1 "$work/runs")
  echo "run $i: wall ${wall} s, user ${user} s, sys ${sys} s, peak ${rss} MiB"
done
[[ -z ${KEEP_PNG:-} ]] || cp "$work/first.png" "$KEEP_PNG"
echo "median of $runs: wall $(cut -d' ' -f1 "$work/runs" | median) s," \
  "user $(cut -d' ' -f2 "$work/runs" | median) s, sys $(cut -d' ' -f3 "$work/runs" | median) s," \
  "peak $(cut -d' ' -f4 "$work/runs" | median) MiB"
