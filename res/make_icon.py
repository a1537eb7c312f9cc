#!/usr/bin/env python3
"""Draws the application icon (res/pbvmsvc.ico): a blue disc with a white gear-like ring
and a green "run" triangle, at 16, 24, 32, 48 and 256 pixels.  Needs only the standard
library; the .ico it writes is checked in, so the build does not run this."""
import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)


def pixel(x, y, n):
    """RGBA of one pixel, sampled 4x4 for smooth edges."""
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(4):
        for sx in range(4):
            u = (x + (sx + 0.5) / 4) / n * 2 - 1
            v = (y + (sy + 0.5) / 4) / n * 2 - 1
            r = math.hypot(u, v)
            a = math.atan2(v, u)
            col = None
            if r <= 0.96:
                col = (30, 80, 170, 255)                       # disc
                teeth = 0.80 + 0.06 * (1 if math.cos(8 * a) > 0 else 0)
                if 0.62 <= r <= teeth:
                    col = (235, 240, 250, 255)                 # gear ring
                # run triangle, pointing right
                if -0.30 <= u <= 0.38 and abs(v) <= (0.38 - u) * 0.62:
                    col = (60, 200, 90, 255)
            if col:
                for i in range(4):
                    acc[i] += col[i] * (col[3] / 255 if i < 3 else 1)
    if acc[3] == 0:
        return (0, 0, 0, 0)
    alpha = acc[3] / 16
    return tuple(int(min(255, acc[i] / acc[3] * 255)) for i in range(3)) + (int(alpha),)


def bmp_entry(n):
    rows = []
    for y in range(n - 1, -1, -1):                             # bottom-up
        rows.append(b"".join(struct.pack("<BBBB", p[2], p[1], p[0], p[3])
                             for p in (pixel(x, y, n) for x in range(n))))
    mask_row = ((n + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"\0" * (mask_row * n)


def png_entry(n):
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y, n)) for x in range(n)) for y in range(n))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    images = [png_entry(n) if n >= 256 else bmp_entry(n) for n in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pbvmsvc.ico")
