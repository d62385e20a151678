#!/usr/bin/env python3
"""Renders one scene with orvane-render and checks what a user would see.

Checked every time: the exit status (a signal or a timeout fails), the
loader's messages on the error stream, exactly and in order (the renderer's
"D3DRM Sample:" notices are shown but not compared), the error count of the
summary line against the "Error near line" lines, and that a PNG of the
asked size was written (or, for exit status 3, that none was).

Options add checks on the picture:
  --drawn               at least 1% of the pixels differ from the top-left one
  --same-as-first-lines N
                        the picture equals that of the scene's first N lines
                        alone: what was read before an error still renders
  --unlike-first-lines N
                        the picture differs from that of the first N lines
                        alone: what comes after them (the node an error
                        stopped in, the scene after an unknown node) is drawn
  --same-as-lf          messages and picture equal those of the same scene
                        with LF line ends
  --max-seconds S       the run takes at most S seconds
"""
import argparse
import re
import struct
import subprocess
import sys
import time
import zlib
from pathlib import Path

SIZE = (160, 120)
TIMEOUT = 60
SUMMARY = re.compile(r"orvane-render: .*: (\d+) error\(s\) while loading; rendering what was read$")


class Failure(Exception):
    pass


def read_png(path):
    """Width, height and rows of RGBA bytes of an 8-bit RGB or RGBA PNG."""
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Failure(f"{path.name} is not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos : pos + 8])
        body = data[pos + 8 : pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise Failure(f"{path.name}: unexpected PNG format {header}")
    channels = 4 if colour == 6 else 3
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + pred) & 0xFF
        rows.append(bytes(line) if channels == 4 else _rgba(line))
        previous = line
    return width, height, rows


def _rgba(line):
    out = bytearray()
    for i in range(0, len(line), 3):
        out += line[i : i + 3] + b"\xff"
    return bytes(out)


def render(args, scene, png, at=None):
    """Runs orvane-render from the scene's folder; (exit status, messages, seconds)."""
    if png.exists():
        png.unlink()
    command = [args.render, scene.name, "-o", str(png), "--size", "%dx%d" % SIZE,
               "--standard-nodes", args.standard_nodes]
    if at is not None:
        command += ["--time", str(at)]
    start = time.monotonic()
    try:
        run = subprocess.run(command, cwd=scene.parent, capture_output=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Failure(f"{scene.name}: no result after {TIMEOUT} s (hang?)")
    seconds = time.monotonic() - start
    if run.returncode < 0:
        raise Failure(f"{scene.name}: orvane-render was killed by signal {-run.returncode}")
    stderr = run.stderr.decode("latin-1")
    messages, summaries, written = [], [], 0
    for line in stderr.splitlines():
        if line.startswith("D3DRM Sample: "):
            print("renderer notice:", line)
        elif line.startswith("orvane-render: wrote "):
            written += 1
        elif SUMMARY.match(line):
            summaries.append(int(SUMMARY.match(line).group(1)))
        else:
            messages.append(line)
    near_line = sum(1 for m in messages if m.startswith("Error near line "))
    if run.returncode == 0:
        if written != 1:
            raise Failure(f"{scene.name}: expected one 'wrote' line, got {written}:\n{stderr}")
        if summaries != ([near_line] if near_line else []):
            raise Failure(f"{scene.name}: the error summary {summaries} does not match "
                          f"{near_line} 'Error near line' lines:\n{stderr}")
    return run.returncode, messages, seconds


def first_lines_rows(args, scene, out, count):
    """The picture rows of the scene's first `count` lines as a scene of their own."""
    lines = scene.read_bytes().splitlines(keepends=True)[:count]
    twin = out / f"{scene.stem}.first{count}.wrl"
    twin.write_bytes(b"".join(lines))
    render(args, twin, out / (twin.stem + ".png"))
    return read_png(out / (twin.stem + ".png"))[2]


def check(args):
    # orvane-render runs from the scene's folder: make the other paths absolute.
    args.render = str(Path(args.render).resolve())
    args.standard_nodes = str(Path(args.standard_nodes).resolve())
    scene = Path(args.scene).resolve()
    out = Path(args.out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    png = out / (scene.stem + ".png")
    status, messages, seconds = render(args, scene, png)
    print(f"{scene.name}: exit {status}, {seconds:.2f} s")
    for m in messages:
        print("message:", m)

    if status != args.exit:
        raise Failure(f"{scene.name}: exit status {status}, expected {args.exit}")
    expected = args.message or []
    if messages != expected:
        raise Failure(f"{scene.name}: messages differ\n  got:      {messages}\n"
                      f"  expected: {expected}")
    if args.max_seconds is not None and seconds > args.max_seconds:
        raise Failure(f"{scene.name}: took {seconds:.2f} s, more than {args.max_seconds} s")
    if status != 0:
        if png.exists():
            raise Failure(f"{scene.name}: a PNG was written although loading failed")
        return

    width, height, rows = read_png(png)
    if (width, height) != SIZE:
        raise Failure(f"{png.name} is {width}x{height}, expected {SIZE[0]}x{SIZE[1]}")
    if args.drawn:
        corner = rows[0][:4]
        drawn = sum(1 for row in rows for x in range(0, len(row), 4) if row[x : x + 4] != corner)
        if drawn * 100 < width * height:
            raise Failure(f"{png.name}: only {drawn} pixels differ from the background")
        print(f"drawn: {drawn} of {width * height} pixels")

    if args.same_as_first_lines:
        if first_lines_rows(args, scene, out, args.same_as_first_lines) != rows:
            raise Failure(f"{scene.name}: the picture differs from that of its first "
                          f"{args.same_as_first_lines} lines: not all that was read is shown")
        print(f"picture equals that of the first {args.same_as_first_lines} lines")

    if args.unlike_first_lines:
        if first_lines_rows(args, scene, out, args.unlike_first_lines) == rows:
            raise Failure(f"{scene.name}: the picture equals that of its first "
                          f"{args.unlike_first_lines} lines: what follows them is not shown")
        print(f"picture differs from that of the first {args.unlike_first_lines} lines")

    if args.moves_by is not None:
        later = out / f"{scene.stem}.at{args.moves_by}.png"
        render(args, scene, later, at=args.moves_by)
        if read_png(later)[2] == rows:
            raise Failure(f"{scene.name}: the picture at {args.moves_by} s equals that at 0 s: "
                          "nothing was animated")
        print(f"picture at {args.moves_by} s differs from that at 0 s")

    if args.same_as_lf:
        data = scene.read_bytes()
        if b"\r\n" not in data:
            raise Failure(f"{scene.name} has no CR LF line ends (checked out with conversion?)")
        twin = out / f"{scene.stem}.lf.wrl"
        twin.write_bytes(data.replace(b"\r\n", b"\n"))
        _, twin_messages, _ = render(args, twin, out / (twin.stem + ".png"))
        if twin_messages != messages:
            raise Failure(f"{scene.name}: messages differ with LF line ends: {twin_messages}")
        if read_png(out / (twin.stem + ".png"))[2] != rows:
            raise Failure(f"{scene.name}: the picture differs with LF line ends")
        print("same messages and picture with LF line ends")


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--render", required=True)
    parser.add_argument("--standard-nodes", required=True)
    parser.add_argument("--scene", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--exit", type=int, default=0)
    parser.add_argument("--message", action="append", help="an expected message line, in order")
    parser.add_argument("--drawn", action="store_true")
    parser.add_argument("--same-as-first-lines", type=int)
    parser.add_argument("--unlike-first-lines", type=int)
    parser.add_argument("--same-as-lf", action="store_true")
    parser.add_argument("--max-seconds", type=float)
    parser.add_argument("--moves-by", type=float, help="the picture at this time differs from 0 s")
    args = parser.parse_args()
    try:
        check(args)
    except Failure as failure:
        print("FAILED:", failure)
        sys.exit(1)


if __name__ == "__main__":
    main()
