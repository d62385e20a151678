#!/usr/bin/env python3
"""Writes the pictures of the start-up scene into this folder: checker.jpg and
sky.jpg (JPEG, through libturbojpeg), stripes.tga (uncompressed 24-bit Targa)
and dots.bmp (24-bit Windows bitmap). Run: python3 make_textures.py"""
import ctypes
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def checker(x, y):
    on = ((x // 8) + (y // 8)) % 2 == 0
    return (230, 230, 230) if on else (40, 60, 160)


def sky(x, y):
    t = y / 63.0
    cloud = 0.5 + 0.5 * math.sin(x * 0.2) * math.cos(y * 0.3)
    base = (int(30 + 120 * t), int(60 + 130 * t), int(150 + 100 * t))
    return tuple(min(255, int(c + 40 * cloud * t)) for c in base)


def stripes(x, y):
    return (220, 120, 20) if (x + y) // 6 % 2 == 0 else (250, 240, 200)


def dots(x, y):
    inside = (x % 16 - 8) ** 2 + (y % 16 - 8) ** 2 < 20
    return (200, 30, 60) if inside else (245, 245, 245)


def pixels(size, colour):
    """Rows top first, RGB."""
    return [[colour(x, y) for x in range(size)] for y in range(size)]


def write_jpeg(path, rows):
    tj = ctypes.CDLL("libturbojpeg.so.0")
    tj.tjInitCompress.restype = ctypes.c_void_p
    handle = tj.tjInitCompress()
    height, width = len(rows), len(rows[0])
    data = bytes(c for row in rows for px in row for c in px)
    out = ctypes.POINTER(ctypes.c_ubyte)()
    size = ctypes.c_ulong(0)
    # pixel format RGB (0), 4:4:4 sampling (0), quality 90, no flags
    ok = tj.tjCompress2(ctypes.c_void_p(handle), data, width, 0, height, 0, ctypes.byref(out),
                        ctypes.byref(size), 0, 90, 0)
    if ok != 0:
        raise RuntimeError("JPEG compression failed")
    with open(path, "wb") as f:
        f.write(ctypes.string_at(out, size.value))
    tj.tjFree(out)
    tj.tjDestroy(ctypes.c_void_p(handle))


def write_tga(path, rows):
    height, width = len(rows), len(rows[0])
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0)
    body = bytes(c for row in reversed(rows) for r, g, b in row for c in (b, g, r))
    with open(path, "wb") as f:
        f.write(header + body)


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    body = b"".join(bytes(c for r, g, b in row for c in (b, g, r)).ljust(stride, b"\0")
                    for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + body)


def main():
    write_jpeg(os.path.join(HERE, "checker.jpg"), pixels(64, checker))
    write_jpeg(os.path.join(HERE, "sky.jpg"), pixels(64, sky))
    write_tga(os.path.join(HERE, "stripes.tga"), pixels(64, stripes))
    write_bmp(os.path.join(HERE, "dots.bmp"), pixels(64, dots))


if __name__ == "__main__":
    main()
