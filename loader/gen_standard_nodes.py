#!/usr/bin/env python3
"""Writes standardNodes.wrl, the PROTO interface of every node type, from the
node table the node classes are generated from.

Usage: gen_standard_nodes.py <node-tables.tsv> <standardNodes.wrl> [<aliases.inc>]

Each PROTO is named as the node-name table spells the type. Types that real
files spell differently, and fields the catalogue names in its own way, are
declared under the VRML97 spelling as well, so that such files still parse.
The optional third file lists those field spellings for the loader, which
stores their values in the catalogue's field.
"""
import csv
import sys

# Class name -> node-name table name, where the two differ.
TABLE_NAMES = {"_Rectangle": "Rectangle", "IndexedLineSet": "IndexLineSet",
               "IndexedLineSet2D": "IndexLineSet2D"}
# Extra PROTOs under the VRML97 spelling of a type: (new name, class name).
EXTRA_TYPES = [("IndexedLineSet", "IndexedLineSet"), ("IndexedLineSet2D", "IndexedLineSet2D")]
# (class, catalogue field) -> the VRML97 name declared after it with the same type.
EXTRA_FIELDS = {("Text", "_string"): "string", ("Sound", "minFrint"): "minFront",
                ("IndexedFaceSet", "normalPerIndex"): "normalPerVertex",
                ("AudioSwitch", "whiceChoice"): "whichChoice",
                ("CompositeTexture3D", "viewport"): "viewpoint"}
# Fields that VRML97 gives its grouping nodes and the node table has no slot
# for: declared so that files carrying them parse; their values are dropped.
BBOX_FIELDS = [("field", "SFVec3f", "bboxCenter", "0 0 0"),
               ("field", "SFVec3f", "bboxSize", "-1 -1 -1")]
VRML_ONLY_FIELDS = {cls: BBOX_FIELDS for cls in
                    ("Anchor", "Billboard", "Collision", "Group", "Inline", "Transform")}
# Types of the node-name table without a node class: declared so that files
# using them parse; the loader makes their nodes itself (DeclaredNode).
CLASSLESS = {
    "PixelTexture": [("exposedField", "SFImage", "image", "0 0 0"),
                     ("field", "SFBool", "repeatS", "TRUE"),
                     ("field", "SFBool", "repeatT", "TRUE")],
    "Script": [("exposedField", "MFString", "url", "[]"),
               ("field", "SFBool", "directOutput", "FALSE"),
               ("field", "SFBool", "mustEvaluate", "FALSE")],
}

# eventIns that the node table made of VRML97 exposedFields and whose nodes
# keep a value (stored-eventins.tsv): declared as the exposedFields they are,
# so that a file may give them a value (TouchSensor { enabled FALSE }).
STORED_EVENTINS = {("TouchSensor", "enabled"): "TRUE"}

INF_FLOAT = "3.4028235e38"
INF_INT = "2147483647"


def default_text(ftype, value):
    """The default as a field value the loader scans: infinities become the
    largest values of the type, strings get their quotes."""
    if ftype == "SFString":
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    big = INF_INT if ftype == "SFInt32" else INF_FLOAT
    parts = []
    for word in value.split(" "):
        if word == "+inf":
            word = big
        elif word == "-inf":
            word = "-" + (str(2**31) if ftype == "SFInt32" else INF_FLOAT)
        parts.append(word)
    return " ".join(parts)


def declaration(kind, ftype, name, default):
    if kind in ("eventIn", "eventOut"):
        return f"  {kind} {ftype} {name}"
    return f"  {kind} {ftype} {name} {default_text(ftype, default)}"


def main():
    tsv, out = sys.argv[1], sys.argv[2]
    types = {}  # class name -> list of declaration lines, in ALL order
    aliases = []  # (type as the node-name table spells it, VRML97 name, catalogue name)
    with open(tsv, newline="") as f:
        for row in csv.DictReader(f, delimiter="\t"):
            cls = row["node"]
            lines = types.setdefault(cls, [])
            kind, default = row["kind"], row["default"]
            if (cls, row["field"]) in STORED_EVENTINS:
                kind, default = "exposedField", STORED_EVENTINS[(cls, row["field"])]
            lines.append(declaration(kind, row["type"], row["field"], default))
            alias = EXTRA_FIELDS.get((cls, row["field"]))
            if alias:
                lines.append(declaration(row["kind"], row["type"], alias, row["default"]))
                aliases.append((TABLE_NAMES.get(cls, cls), alias, row["field"]))
    for cls, decls in VRML_ONLY_FIELDS.items():
        types[cls] += [declaration(*d) for d in decls]
    protos = [(TABLE_NAMES.get(cls, cls), lines) for cls, lines in types.items()]
    protos += [(name, types[cls]) for name, cls in EXTRA_TYPES]
    protos += [(name, [declaration(*d) for d in decls]) for name, decls in CLASSLESS.items()]
    with open(out, "w", newline="\n") as f:
        f.write("#VRML V2.0 utf8\n")
        f.write("# Interface declarations of every node type, generated from the node table.\n")
        for name, lines in protos:
            f.write(f"\nPROTO {name} [\n")
            f.write("\n".join(lines))
            f.write("\n] { }\n")
    if len(sys.argv) > 3:
        with open(sys.argv[3], "w", newline="\n") as f:
            f.write("// Generated by gen_standard_nodes.py from the node table: field names\n")
            f.write("// that standardNodes.wrl declares beside the catalogue's own.\n")
            for row in aliases:
                f.write('{"%s", "%s", "%s"},\n' % row)


if __name__ == "__main__":
    main()
