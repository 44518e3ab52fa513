#!/usr/bin/env python3
"""Draws the program's icon (a blue rounded tile with a white downward arrow
into a tray) and writes it as a .ico with 16, 24, 32, 48, 64 and 256 pixel
images. Deterministic, standard library only."""
import struct
import sys
import zlib

BLUE = (0x1E, 0x6F, 0xD9)
BLUE_DARK = (0x15, 0x55, 0xB0)
WHITE = (0xFF, 0xFF, 0xFF)


def coverage(inside, x, y, samples=4):
    """Fraction of pixel (x, y) covered by the shape, by supersampling."""
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def tile(u, v):
    r = 0.18
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    return (u - cx) ** 2 + (v - cy) ** 2 <= r * r


def arrow(u, v):
    shaft = 0.43 <= u <= 0.57 and 0.17 <= v <= 0.50
    head = 0.45 <= v <= 0.68 and abs(u - 0.5) <= (0.68 - v) * 1.15
    tray = 0.74 <= v <= 0.83 and 0.22 <= u <= 0.78
    sides = 0.62 <= v <= 0.83 and (0.22 <= u <= 0.31 or 0.69 <= u <= 0.78)
    return shaft or head or tray or sides


def render(size):
    """Rows of (b, g, r, a) from the top."""
    rows = []
    margin = size / 32.0
    span = size - 2 * margin
    for y in range(size):
        row = []
        for x in range(size):
            def in_tile(px, py):
                return tile((px - margin) / span, (py - margin) / span)

            def in_arrow(px, py):
                return arrow((px - margin) / span, (py - margin) / span)

            a = coverage(in_tile, x, y)
            w = coverage(in_arrow, x, y)
            shade = y / max(size - 1, 1)
            base = tuple(round(BLUE[i] * (1 - shade) + BLUE_DARK[i] * shade) for i in range(3))
            rgb = tuple(round(base[i] * (1 - w) + WHITE[i] * w) for i in range(3))
            row.append((rgb[2], rgb[1], rgb[0], round(255 * a)))
        rows.append(row)
    return rows


def bmp_entry(size):
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_entry(size):
    rows = render(size)
    raw = b''.join(b'\x00' + bytes(c for (b, g, r, a) in row for c in (r, g, b, a)) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main(path):
    sizes = [16, 24, 32, 48, 64, 256]
    images = [png_entry(s) if s == 256 else bmp_entry(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        dim = 0 if size == 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1])
