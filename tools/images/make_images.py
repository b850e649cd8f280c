#!/usr/bin/env python3
"""Draws the installer's pictures and writes them as Windows icon and bitmap files.

    tools/images/make_images.py [output folder]   (default: src/resources/images)

Writes:
  gradiva.ico        the application icon, 16 to 256 pixels (32-bit, 256 as PNG)
  side.bmp           the wizard's side picture, 87 x 171, 256 colours
  flags/<code>.ico   one 18 x 12, 24-bit flag per catalogue language

Only the standard library is used; the files are drawn from simple shapes with
supersampling, so the output is the same on every machine.
"""

import math
import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------
# Drawing: a picture is a function (x, y) -> (r, g, b, a) over [0, 1)²,
# sampled n × n times per pixel.


def render(width, height, shade, samples=4):
    """Pixels as rows of (r, g, b, a) floats in 0..1, top row first."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / width
                    y = (py + (sy + 0.5) / samples) / height
                    r, g, b, a = shade(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            a = acc[3] / n
            if a > 0:
                row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        rows.append(row)
    return rows


def rgb(hex_colour):
    v = int(hex_colour.lstrip("#"), 16)
    return ((v >> 16) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0)


def mix(c1, c2, t):
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def in_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def star_points(cx, cy, outer, inner, aspect=1.0, rotation=-math.pi / 2):
    pts = []
    for k in range(10):
        radius = outer if k % 2 == 0 else inner
        angle = rotation + k * math.pi / 5
        pts.append((cx + radius * math.cos(angle) * aspect, cy + radius * math.sin(angle)))
    return pts


# --------------------------------------------------------------------------
# The application icon: a wireframe cube and a drafting triangle on a blue tile.

CUBE_FRONT = [(0.26, 0.42), (0.58, 0.42), (0.58, 0.76), (0.26, 0.76)]
CUBE_DEPTH = (0.16, -0.14)


def cube_edges():
    dx, dy = CUBE_DEPTH
    front = CUBE_FRONT
    back = [(x + dx, y + dy) for x, y in front]
    edges = []
    for i in range(4):
        edges.append((front[i], front[(i + 1) % 4]))
        edges.append((back[i], back[(i + 1) % 4]))
        edges.append((front[i], back[i]))
    return edges


EDGES = cube_edges()


def icon_shade(x, y):
    # Rounded tile.
    margin, radius = 0.04, 0.16
    qx = max(abs(x - 0.5) - (0.5 - margin - radius), 0.0)
    qy = max(abs(y - 0.5) - (0.5 - margin - radius), 0.0)
    if math.hypot(qx, qy) > radius:
        return (0.0, 0.0, 0.0, 0.0)
    colour = mix(rgb("#2f7fd8"), rgb("#123a78"), y)
    # Rim light along the top.
    if y < 0.12:
        colour = mix(colour, rgb("#6fb0f0"), (0.12 - y) / 0.12 * 0.6)
    # Drafting triangle in the lower right, translucent orange.
    tri = [(0.52, 0.88), (0.88, 0.88), (0.88, 0.52)]
    hole = [(0.66, 0.82), (0.82, 0.82), (0.82, 0.66)]
    if in_polygon(x, y, tri) and not in_polygon(x, y, hole):
        colour = mix(colour, rgb("#ffb02e"), 0.85)
    # Cube wireframe in white.
    distance = min(segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in EDGES)
    if distance < 0.03:
        colour = rgb("#ffffff")
    return colour + (1.0,)


# --------------------------------------------------------------------------
# The side picture: a deep blue gradient with a perspective grid and a cube.


def side_coverage(x, y):
    """Coverage of white line work at (x, y) in a 87 × 171 picture, 0..1."""
    w, h = 87.0, 171.0
    px, py = x * w, y * h
    best = 0.0
    # Perspective floor grid below the horizon.
    horizon = 112.0
    if py > horizon:
        depth = (py - horizon) / (h - horizon)
        # Lines converging at the vanishing point (43.5, horizon).
        for k in range(-6, 7):
            bx = 43.5 + k * 22.0
            d = segment_distance(px, py, 43.5, horizon, bx, h)
            best = max(best, 0.45 * max(0.0, 1.0 - d / 0.7) * depth)
        # Cross lines at growing spacing.
        for k in range(1, 8):
            ly = horizon + (h - horizon) * (k / 7.0) ** 1.8
            if abs(py - ly) < 0.6:
                best = max(best, 0.45 * depth)
    # A large wireframe cube floating above the grid.
    ox, oy, s = 16.0, 46.0, 40.0
    dx, dy = 15.0, -13.0
    front = [(ox, oy), (ox + s, oy), (ox + s, oy + s), (ox, oy + s)]
    back = [(fx + dx, fy + dy) for fx, fy in front]
    for i in range(4):
        for a, b in ((front[i], front[(i + 1) % 4]), (back[i], back[(i + 1) % 4]), (front[i], back[i])):
            d = segment_distance(px, py, a[0], a[1], b[0], b[1])
            best = max(best, max(0.0, 1.0 - d / 0.9))
    # A dimension line under the cube.
    if abs(py - (oy + s + 9)) < 0.5 and ox <= px <= ox + s:
        best = max(best, 0.8)
    for tick_x in (ox, ox + s):
        if abs(px - tick_x) < 0.5 and oy + s + 5 <= py <= oy + s + 13:
            best = max(best, 0.8)
    return min(best, 1.0)


SIDE_LEVELS = 16  # gradient steps × line-coverage steps = 256 palette entries


def side_gradient(level):
    return mix(rgb("#3d86d6"), rgb("#0b2450"), level / (SIDE_LEVELS - 1))


def side_palette():
    palette = []
    for g in range(SIDE_LEVELS):
        base = side_gradient(g)
        for a in range(SIDE_LEVELS):
            palette.append(mix(base, rgb("#ffffff"), a / (SIDE_LEVELS - 1)))
    return palette


BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def side_indices(width=87, height=171):
    coverage = render(width, height, lambda x, y: (side_coverage(x, y),) * 3 + (1.0,), samples=3)
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            # Ordered dithering hides the steps of the 16-level gradient.
            t = (py + 0.5) / height * (SIDE_LEVELS - 1)
            g = int(t + (BAYER4[py % 4][px % 4] + 0.5) / 16.0 - 0.5)
            g = max(0, min(SIDE_LEVELS - 1, g))
            a = int(round(coverage[py][px][0] * (SIDE_LEVELS - 1)))
            row.append(g * SIDE_LEVELS + a)
        rows.append(row)
    return rows


# --------------------------------------------------------------------------
# Flags: simple designs after the national flags, 18 × 12 pixels.


def horizontal(*colours):
    cs = [rgb(c) for c in colours]
    return lambda x, y: cs[min(int(y * len(cs)), len(cs) - 1)]


def vertical(*colours):
    cs = [rgb(c) for c in colours]
    return lambda x, y: cs[min(int(x * len(cs)), len(cs) - 1)]


def nordic(field, cross, border=None):
    f, c = rgb(field), rgb(cross)
    b = rgb(border) if border else None

    def shade(x, y):
        u, v = x * 18.0, y * 12.0
        if b is not None:
            if 6.5 <= u < 8.5 or 5.0 <= v < 7.0:
                return c
            if 5.0 <= u < 10.0 or 3.5 <= v < 8.5:
                return b
            return f
        if 5.0 <= u < 8.0 or 4.5 <= v < 7.5:
            return c
        return f

    return shade


def with_shape(base, colour, inside):
    c = rgb(colour)

    def shade(x, y):
        return c if inside(x * 18.0, y * 12.0) else base(x, y)

    return shade


def disc(cx, cy, r):
    return lambda u, v: math.hypot(u - cx, v - cy) <= r


def star(cx, cy, outer):
    points = star_points(cx, cy, outer, outer * 0.4)
    return lambda u, v: in_polygon(u, v, points)


def crescent(u, v):
    return (math.hypot(u - 7.0, v - 6.0) <= 3.2 and math.hypot(u - 7.9, v - 6.0) > 2.6) or \
        in_polygon(u, v, star_points(10.6, 6.0, 1.5, 0.6, rotation=math.pi))


def stripes(n, odd, even):
    a, b = rgb(odd), rgb(even)
    return lambda x, y: a if int(y * n) % 2 == 0 else b


def us_like(x, y):
    if x < 0.42 and y < 7 / 13:
        u, v = x * 18.0, y * 12.0
        if (int(u * 1.3) + int(v * 1.3)) % 2 == 0 and 0.6 < u < 7.0 and 0.6 < v < 6.0 and \
                (u * 1.3 % 1.0) > 0.5 and (v * 1.3 % 1.0) > 0.5:
            return rgb("#ffffff")
        return rgb("#3c3b6e")
    return stripes(13, "#b22234", "#ffffff")(x, y)


def greek(x, y):
    u, v = x * 18.0, y * 12.0
    if u < 6.6 and v < 6.6:
        if 2.6 <= u < 4.0 or 2.6 <= v < 4.0:
            return rgb("#ffffff")
        return rgb("#0d5eaf")
    return stripes(9, "#0d5eaf", "#ffffff")(x, y)


def czech(x, y):
    u, v = x * 18.0, y * 12.0
    if u < 9.0 * (1 - abs(v - 6.0) / 6.0):
        return rgb("#11457e")
    return rgb("#ffffff") if v < 6.0 else rgb("#d7141a")


def hebrew(x, y):
    u, v = x * 18.0, y * 12.0
    if 1.2 <= v < 2.6 or 9.4 <= v < 10.8:
        return rgb("#0038b8")
    up = [(9.0, 3.4), (11.3, 7.4), (6.7, 7.4)]
    down = [(9.0, 8.6), (11.3, 4.6), (6.7, 4.6)]
    outline = min(min(segment_distance(u, v, *t[i], *t[(i + 1) % 3]) for i in range(3)) for t in (up, down))
    return rgb("#0038b8") if outline < 0.45 else rgb("#ffffff")


def portuguese(x, y):
    u, v = x * 18.0, y * 12.0
    if math.hypot(u - 7.2, v - 6.0) <= 2.4:
        return rgb("#ffe000") if math.hypot(u - 7.2, v - 6.0) > 1.5 else rgb("#da291c")
    return rgb("#046a38") if u < 7.2 else rgb("#da291c")


def chinese(x, y):
    u, v = x * 18.0, y * 12.0
    if in_polygon(u, v, star_points(3.2, 3.2, 2.2, 0.9)):
        return rgb("#ffde00")
    for cx, cy in ((6.2, 1.3), (7.3, 2.6), (7.3, 4.2), (6.2, 5.4)):
        if math.hypot(u - cx, v - cy) <= 0.5:
            return rgb("#ffde00")
    return rgb("#de2910")


def shield(base, colour_a, colour_b):
    def shade(x, y):
        u, v = x * 18.0, y * 12.0
        if 7.0 <= u < 11.0 and 3.0 <= v < 8.0 and (v < 6.5 or abs(u - 9.0) < 2.0 - (v - 6.5) * 1.3):
            checker = (int((u - 7.0) / 1.0) + int((v - 3.0) / 1.0)) % 2
            return rgb(colour_a) if checker == 0 else rgb(colour_b)
        return base(x, y)

    return shade


def slovenian(x, y):
    u, v = x * 18.0, y * 12.0
    if 4.0 <= u < 7.0 and 2.0 <= v < 6.5 and (v < 5.0 or abs(u - 5.5) < 1.5 - (v - 5.0)):
        inner = 4.5 <= u < 6.5 and 2.5 <= v < 5.5
        return rgb("#005ce5") if inner else rgb("#ed1c24")
    return horizontal("#ffffff", "#005ce5", "#ed1c24")(x, y)


def arabic(x, y):
    u, v = x * 18.0, y * 12.0
    if 4.0 <= u < 14.0 and 7.6 <= v < 8.4:
        return rgb("#ffffff")
    if 4.5 <= u < 13.5 and 3.5 <= v < 6.0 and (int(u * 1.6) % 2 == 0) and v > 4.0 + 0.6 * math.sin(u * 2.0):
        return rgb("#ffffff")
    return rgb("#006c35")


FLAGS = [
    (141, "de", horizontal("#000000", "#dd0000", "#ffce00")),
    (142, "da", nordic("#c8102e", "#ffffff")),
    (143, "es", lambda x, y: rgb("#f1bf00") if 0.25 <= y < 0.75 else rgb("#aa151b")),
    (144, "fr", vertical("#0055a4", "#ffffff", "#ef4135")),
    (145, "en", us_like),
    (146, "it", vertical("#009246", "#ffffff", "#ce2b37")),
    (147, "nl", horizontal("#ae1c28", "#ffffff", "#21468b")),
    (148, "pt", portuguese),
    (149, "tr", with_shape(lambda x, y: rgb("#e30a17"), "#ffffff", crescent)),
    (150, "bg", horizontal("#ffffff", "#00966e", "#d62612")),
    (151, "ro", vertical("#002b7f", "#fcd116", "#ce1126")),
    (152, "zh", chinese),
    (153, "cs", czech),
    (154, "nb", nordic("#ba0c2f", "#00205b", "#ffffff")),
    (155, "el", greek),
    (156, "pl", horizontal("#ffffff", "#dc143c")),
    (157, "he", hebrew),
    (158, "vi", with_shape(lambda x, y: rgb("#da251d"), "#ffff00", star(9.0, 6.2, 3.6))),
    (160, "ja", with_shape(lambda x, y: rgb("#ffffff"), "#bc002d", disc(9.0, 6.0, 3.4))),
    (161, "hu", horizontal("#ce2939", "#ffffff", "#477050")),
    (162, "sr", horizontal("#c6363c", "#0c4076", "#ffffff")),
    (163, "ar", arabic),
    (164, "sl", slovenian),
    (165, "ru", horizontal("#ffffff", "#0039a6", "#d52b1e")),
    (166, "hr", shield(horizontal("#ff0000", "#ffffff", "#171796"), "#ff0000", "#ffffff")),
]


# --------------------------------------------------------------------------
# File formats.


def to_bytes(value):
    return max(0, min(255, int(round(value * 255.0))))


def dib_32(rows):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up, AND mask."""
    height, width = len(rows), len(rows[0])
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((to_bytes(b), to_bytes(g), to_bytes(r), to_bytes(a)))
    return header + bytes(pixels) + and_mask(rows)


def dib_24(rows):
    """A 24-bit icon image with an all-opaque AND mask."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((to_bytes(b), to_bytes(g), to_bytes(r)))
        pixels += line + bytes(stride - len(line))
    return header + bytes(pixels) + and_mask(rows)


def and_mask(rows):
    """1-bit mask, bottom-up; a set bit is transparent (only fully transparent pixels)."""
    width = len(rows[0])
    stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0.0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return bytes(mask)


def png(rows):
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((to_bytes(r), to_bytes(g), to_bytes(b), to_bytes(a)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico(images):
    """images: list of (width, height, bit_count, data)."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for width, height, bits, data in images:
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, bits, len(data), offset)
        blobs += data
        offset += len(data)
    return directory + entries + blobs


def bmp_8(indices, palette):
    height, width = len(indices), len(indices[0])
    stride = (width + 3) & ~3
    table = b"".join(bytes((to_bytes(b), to_bytes(g), to_bytes(r), 0)) for r, g, b in palette)
    pixels = b"".join(bytes(row) + bytes(stride - width) for row in reversed(indices))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 3780, 3780, 256, 0)
    offset = 14 + len(info) + len(table)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + info + table + pixels


# --------------------------------------------------------------------------


ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "src", "resources", "images")

    images = []
    for size in ICON_SIZES:
        rows = render(size, size, icon_shade, samples=4 if size <= 64 else 2)
        data = png(rows) if size >= 256 else dib_32(rows)
        images.append((size, size, 32, data))
    write(os.path.join(out, "gradiva.ico"), ico(images))

    write(os.path.join(out, "side.bmp"), bmp_8(side_indices(), side_palette()))

    for _, code, shade in FLAGS:
        rows = render(18, 12, lambda x, y, s=shade: s(x, y) + (1.0,), samples=4)
        write(os.path.join(out, "flags", code + ".ico"), ico([(18, 12, 24, dib_24(rows))]))


if __name__ == "__main__":
    main()
