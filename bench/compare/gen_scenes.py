#!/usr/bin/env python3
"""Writes the scenes of the side-by-side comparison (bench/compare/run.sh).

Two families, each valid VRML97 that every compared tool reads:

* ifs_10k, ifs_100k, ifs_1m: one IndexedFaceSet terrain, an n x n grid of
  points cut into 2 (n-1)^2 triangles, coordinates printed with 6 significant
  digits the way exporters write them.
* tf_1k, tf_10k, tf_100k: that many Transforms, each holding a Shape with an
  Appearance/Material and a primitive (Box, Sphere, Cone, Cylinder in turn),
  with varied translations, rotations and colours. They sit in a tree of
  Groups with at most FANOUT children in any list.
* flat_10k, flat_100k: the same Transforms as children of one flat Group,
  the way CAD assemblies and point-cloud-like exports are written.

Every file is deterministic (fixed seeds), so all tools and all runs read the
same bytes. Usage: gen_scenes.py OUT_DIR [NAME ...]; prints one line per file.
"""

import math
import os
import random
import sys

FANOUT = 100

# Name -> (kind, size): grid side for terrains, Transform count for the others.
SCENES = {
    "ifs_10k": ("ifs", 72),  # 10,082 triangles
    "ifs_100k": ("ifs", 225),  # 100,352 triangles
    "ifs_1m": ("ifs", 709),  # 1,002,528 triangles
    "tf_1k": ("tf", 1000),
    "tf_10k": ("tf", 10000),
    "tf_100k": ("tf", 100000),
    "flat_10k": ("flat", 10000),
    "flat_100k": ("flat", 100000),
}


def g(value):
    """A number with 6 significant digits, as exporters print them."""
    text = "%.6g" % value
    return "0" if text == "-0" else text


def write_terrain(path, n):
    span = 8.0
    step = span / (n - 1)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("#VRML V2.0 utf8\n")
        f.write("# Terrain: %d x %d points, %d triangles\n" % (n, n, 2 * (n - 1) ** 2))
        f.write("Viewpoint { position 0 -9 7 orientation 1 0 0 0.9 description \"Overview\" }\n")
        f.write("Shape {\n  appearance Appearance {\n")
        f.write("    material Material { diffuseColor 0.55 0.7 0.35 specularColor 0.2 0.2 0.2 }\n")
        f.write("  }\n  geometry IndexedFaceSet {\n    solid FALSE\n    creaseAngle 1.2\n")
        f.write("    coord Coordinate {\n      point [\n")
        rows = []
        for j in range(n):
            y = -span / 2 + j * step
            line = []
            for i in range(n):
                x = -span / 2 + i * step
                z = 0.6 * math.sin(0.9 * x) * math.cos(0.7 * y) + 0.15 * math.sin(3.1 * x + 2.3 * y)
                line.append("%s %s %s" % (g(x), g(y), g(z)))
            rows.append("        " + ", ".join(line) + ",\n")
        f.writelines(rows)
        f.write("      ]\n    }\n    coordIndex [\n")
        rows = []
        for j in range(n - 1):
            line = []
            for i in range(n - 1):
                a = j * n + i
                b, c = a + 1, a + n
                d = c + 1
                line.append("%d, %d, %d, -1, %d, %d, %d, -1" % (a, b, d, a, d, c))
            rows.append("      " + ", ".join(line) + ",\n")
        f.writelines(rows)
        f.write("    ]\n  }\n}\n")


def primitive(k, rng):
    kind = k % 4
    if kind == 0:
        return "Box { size %s %s %s }" % (
            g(rng.uniform(0.4, 1.2)),
            g(rng.uniform(0.4, 1.2)),
            g(rng.uniform(0.4, 1.2)),
        )
    if kind == 1:
        return "Sphere { radius %s }" % g(rng.uniform(0.3, 0.6))
    if kind == 2:
        return "Cone { bottomRadius %s height %s }" % (
            g(rng.uniform(0.3, 0.6)),
            g(rng.uniform(0.6, 1.2)),
        )
    return "Cylinder { radius %s height %s }" % (
        g(rng.uniform(0.2, 0.5)),
        g(rng.uniform(0.6, 1.2)),
    )


def write_transforms(path, count, fanout=FANOUT):
    rng = random.Random(count)
    side = math.ceil(count ** (1.0 / 3.0))
    spacing = 2.0
    half = (side - 1) * spacing / 2
    items = []
    for k in range(count):
        i, j, m = k % side, (k // side) % side, k // (side * side)
        tx = i * spacing - half + rng.uniform(-0.3, 0.3)
        ty = j * spacing - half + rng.uniform(-0.3, 0.3)
        tz = -m * spacing + rng.uniform(-0.3, 0.3)
        axis = [rng.uniform(-1, 1) for _ in range(3)]
        norm = math.sqrt(sum(v * v for v in axis)) or 1.0
        items.append(
            "Transform { translation %s %s %s rotation %s %s %s %s children [ "
            "Shape { appearance Appearance { material Material { diffuseColor %s %s %s"
            " shininess %s } } geometry %s } ] }"
            % (
                g(tx), g(ty), g(tz),
                g(axis[0] / norm), g(axis[1] / norm), g(axis[2] / norm),
                g(rng.uniform(0, math.pi)),
                g(rng.uniform(0.1, 1)), g(rng.uniform(0.1, 1)), g(rng.uniform(0.1, 1)),
                g(rng.uniform(0.05, 0.6)),
                primitive(k, rng),
            )
        )
    # Fold the list into Groups until one list is short enough to be the top.
    depth = 0
    while fanout is not None and len(items) > fanout:
        depth += 1
        pad = "  " * depth
        items = [
            "Group { children [\n" + pad + ("\n" + pad).join(items[s : s + fanout]) + "\n] }"
            for s in range(0, len(items), fanout)
        ]
    distance = half * 2.6 + 2
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("#VRML V2.0 utf8\n")
        f.write("# %d Transforms, %s\n" % (
            count, "in one flat Group" if fanout is None else "at most %d children per list" % fanout))
        f.write(
            "Viewpoint { position 0 0 %s description \"Overview\" }\n" % g(distance)
        )
        f.write("DirectionalLight { direction -0.4 -0.6 -0.7 }\n")
        f.write("Group { children [\n")
        f.write("\n".join(items))
        f.write("\n] }\n")


def generate(out_dir, name):
    """Writes scene `name` into out_dir unless it is already there and newer
    than this script; returns its path."""
    kind, size = SCENES[name]
    path = os.path.join(out_dir, name + ".wrl")
    if os.path.exists(path) and os.path.getmtime(path) >= os.path.getmtime(__file__):
        return path
    tmp = path + ".tmp"
    if kind == "ifs":
        write_terrain(tmp, size)
    else:
        write_transforms(tmp, size, None if kind == "flat" else FANOUT)
    os.replace(tmp, path)
    return path


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out_dir = argv[1]
    names = argv[2:] or list(SCENES)
    unknown = [n for n in names if n not in SCENES]
    if unknown:
        print("gen_scenes.py: unknown scene(s): %s" % ", ".join(unknown), file=sys.stderr)
        return 2
    os.makedirs(out_dir, exist_ok=True)
    for name in names:
        path = generate(out_dir, name)
        print("%s %d bytes" % (path, os.path.getsize(path)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
