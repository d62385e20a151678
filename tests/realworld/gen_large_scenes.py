#!/usr/bin/env python3
"""Writes the large real-world scenes of this folder into a directory.

They are generated rather than checked in because each is megabytes long:

  long_line.wrl           a terrain whose 200,000 points sit on one line of
                          about 5 MB, and whose face indices fill another line
  long_line_errors.wrl    the long point line, then errors on known lines
  long_tokens.wrl         single tokens of megabytes: a base64 thumbnail in a
                          comment, a script's code in one string, a long name
  deep_nesting.wrl        1,000 nested Transform and Group levels
  deep_nesting_overflow.wrl
                          a box, then 3,000 nested levels: deeper than the
                          parser's stack
  huge_mesh.wrl           a torus of 129,600 triangles, one vertex, normal or
                          face per line as exporters write them

Usage: gen_large_scenes.py OUTPUT_DIR
"""
import math
import sys
from pathlib import Path

HEADER = "#VRML V2.0 utf8\n"


def terrain_lines():
    """The point line and the index line of a 500 x 400 height field."""
    cols, rows = 500, 400
    points = []
    for r in range(rows):
        z = -20.0 + 40.0 * r / (rows - 1)
        for c in range(cols):
            x = -25.0 + 50.0 * c / (cols - 1)
            y = 1.5 * math.sin(x * 0.4) * math.cos(z * 0.3) + 0.2 * math.sin(x * 3.1 + z)
            points.append(f"{x:.4f} {y:.4f} {z:.4f}")
    faces = []
    for r in range(rows - 1):
        for c in range(cols - 1):
            a = r * cols + c
            faces.append(f"{a} {a + cols} {a + cols + 1} {a + 1} -1")
    return ", ".join(points), " ".join(faces)


def terrain_scene(points, faces, tail=""):
    return (
        HEADER
        + "# Terrain from a converter that writes each field on one line.\n"
        + 'WorldInfo { title "Terrain 500 x 400" }\n'
        + "Viewpoint { position 0 25 35 orientation 1 0 0 -0.6 }\n"
        + "Shape {\n"
        + "  appearance Appearance { material Material { diffuseColor 0.45 0.6 0.3 } }\n"
        + "  geometry IndexedFaceSet {\n"
        + "    solid FALSE creaseAngle 1\n"
        + "    coord Coordinate { point [ " + points + " ] }\n"
        + "    coordIndex [ " + faces + " ]\n"
        + "  }\n"
        + "}\n"
        + tail
    )


def long_line_errors(points):
    # Line 4 is the long line; the errors come after it, on lines 7 and 11:
    # an unknown node, then a radius whose field name was lost, in a sphere
    # opened on line 10. The one face is a cell in the middle of the survey, so
    # that the scene fits the start view and the spheres are seen at its size.
    return (
        HEADER
        + "# Points on one long line, then two mistakes.\n"
        + "DEF Survey Shape { geometry IndexedFaceSet {\n"
        + "  coord Coordinate { point [ " + points + " ] }\n"
        + "  coordIndex [ 100250 100251 100751 100750 -1 ] } }\n"
        + "Transform { translation 0 2 0 children [\n"
        + "  GeoOrigin { }\n"
        + "  Shape { geometry Sphere { } }\n"
        + "] }\n"
        + "Shape { geometry Sphere {\n"
        + "  1.5 } }\n"
    )


def long_tokens_scene():
    """A comment, a string and a name that are each one token of megabytes."""
    # A thumbnail some exporters leave in a comment, base64 on one line.
    alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
    thumbnail = "".join(alphabet[(i * 7919) % 64] for i in range(4_000_000))
    # Minified script code with its data table inline: one 8 MB string.
    table = ",".join(str((i * 37) % 1000) for i in range(2_000_000))
    code = (
        "javascript:var h=[" + table + "];function initialize(){}"
        "function set_fraction(f){var i=Math.floor(f*(h.length-1));height_changed=h[i]/100;}"
    )
    name = "Mesh_" + "x" * 1_000_000
    return (
        HEADER
        + "# Thumbnail: data:image/png;base64," + thumbnail + "\n"
        + "Viewpoint { position 0 0 8 }\n"
        + "DEF " + name + " Transform { children Shape {\n"
        + "  appearance Appearance { material Material { diffuseColor 0.3 0.7 0.4 } }\n"
        + "  geometry Cone { bottomRadius 1.5 height 3 } } }\n"
        + "DEF Heights Script {\n"
        + "  eventIn SFFloat set_fraction\n"
        + "  eventOut SFFloat height_changed\n"
        + '  url "' + code + '"\n'
        + "}\n"
    )


def nested(levels, inner):
    """`levels` Transform and Group levels around `inner`, one per line."""
    opening, closing = [], []
    for i in range(levels):
        if i % 2 == 0:
            opening.append("Transform { rotation 0 1 0 0.0125 translation 0 0.004 0 children [\n")
        else:
            opening.append("Group { children [\n")
        if i % 100 == 50:
            # A marker box part way down, placed by all the levels above it.
            opening.append(
                "  Shape { appearance Appearance { material Material { diffuseColor 0.9 0.5 0.1 } }"
                " geometry Box { size 0.3 0.3 0.3 } }\n"
            )
        closing.append("] }\n")
    return "".join(opening) + inner + "".join(reversed(closing))


def deep_scene():
    inner = (
        "Transform { translation 1.5 0 0 children Shape {\n"
        "  appearance Appearance { material Material { diffuseColor 0.2 0.5 1 } }\n"
        "  geometry Sphere { radius 0.5 } } }\n"
    )
    return (
        HEADER
        + "# A tool that writes every grouping level of its tree, 1000 deep.\n"
        + "Viewpoint { position 0 2 10 }\n"
        + nested(1000, inner)
    )


def deep_overflow_scene():
    return (
        HEADER
        + "# A box that loads, then a tree deeper than the parser takes.\n"
        + "Shape { appearance Appearance { material Material { diffuseColor 1 0 0 } }"
        " geometry Box { size 2 2 2 } }\n"
        + nested(3000, "Shape { geometry Sphere { } }\n")
    )


def huge_mesh_scene():
    rings, sides = 360, 180
    big, small = 3.0, 1.0
    out = [
        HEADER,
        "# Exported mesh: torus01, 64800 vertices, 129600 triangles\n",
        "Viewpoint { position 0 3 11 orientation 1 0 0 -0.25 }\n",
        "DEF torus01 Transform {\n  children [\n    Shape {\n",
        "      appearance Appearance { material Material {\n",
        "        diffuseColor 0.8 0.3 0.3 specularColor 0.5 0.5 0.5 } }\n",
        "      geometry IndexedFaceSet {\n        ccw TRUE\n        solid TRUE\n",
        "        coord Coordinate { point [\n",
    ]
    normals = []
    for i in range(rings):
        u = 2 * math.pi * i / rings
        for j in range(sides):
            v = 2 * math.pi * j / sides
            x = (big + small * math.cos(v)) * math.cos(u)
            y = small * math.sin(v)
            z = (big + small * math.cos(v)) * math.sin(u)
            out.append(f"          {x:.6f} {y:.6f} {z:.6f},\n")
            nx, ny, nz = math.cos(v) * math.cos(u), math.sin(v), math.cos(v) * math.sin(u)
            normals.append(f"          {nx:.5f} {ny:.5f} {nz:.5f},\n")
    out.append("        ] }\n        normal Normal { vector [\n")
    out.extend(normals)
    out.append("        ] }\n        coordIndex [\n")
    for i in range(rings):
        for j in range(sides):
            a = i * sides + j
            b = ((i + 1) % rings) * sides + j
            c = ((i + 1) % rings) * sides + (j + 1) % sides
            d = i * sides + (j + 1) % sides
            out.append(f"          {a}, {d}, {c}, -1,\n          {a}, {c}, {b}, -1,\n")
    out.append("        ]\n      }\n    }\n  ]\n}\n")
    return "".join(out)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    points, faces = terrain_lines()
    scenes = {
        "long_line.wrl": terrain_scene(
            points, faces, 'WorldInfo { info "after the long lines" }\n'),
        "long_line_errors.wrl": long_line_errors(points),
        "long_tokens.wrl": long_tokens_scene(),
        "deep_nesting.wrl": deep_scene(),
        "deep_nesting_overflow.wrl": deep_overflow_scene(),
        "huge_mesh.wrl": huge_mesh_scene(),
    }
    for name, text in scenes.items():
        (folder / name).write_text(text, encoding="ascii", newline="\n")


if __name__ == "__main__":
    main()
