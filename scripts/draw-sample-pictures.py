#!/usr/bin/env python3
"""Draw the pictures that the sample documents show.

Writes Samples/images/douro-at-dusk.png and Samples/images/azulejo.png with
nothing but the standard library: every pixel is computed here and the PNG
file is assembled with zlib and struct. Run it from the repository root (or
pass the repository root as the only argument); the output is deterministic.
"""

import math
import os
import struct
import sys
import zlib


def write_png(path, width, height, pixel):
    """Write an 8-bit RGB PNG; pixel(x, y) returns (r, g, b) floats in 0..1."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # no filter
        for x in range(width):
            r, g, b = pixel(x, y)
            rows += bytes((clamp8(r), clamp8(g), clamp8(b)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def clamp8(v):
    return max(0, min(255, int(round(v * 255))))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def smooth(t):
    t = max(0.0, min(1.0, t))
    return t * t * (3 - 2 * t)


def hexcolor(h):
    return tuple(int(h[i:i + 2], 16) / 255 for i in (1, 3, 5))


def ridge(x, seed, scale):
    """A smooth pseudo-random skyline made of a few sine waves."""
    v = 0.0
    amp = 1.0
    freq = 1.0 / scale
    for i in range(4):
        v += amp * math.sin(x * freq * (1.7 ** i) + seed * (i + 1) * 1.31)
        amp *= 0.5
    return v


def douro_at_dusk(width=960, height=480):
    horizon = int(height * 0.62)
    sun_x, sun_y, sun_r = width * 0.68, height * 0.50, height * 0.075
    sky_top, sky_mid, sky_low = hexcolor("#1d2b64"), hexcolor("#7a4f8c"), hexcolor("#f6a45c")
    hill_far, hill_near = hexcolor("#4b3566"), hexcolor("#2a1f3d")
    town = hexcolor("#3a2a4a")
    water_top, water_low = hexcolor("#e08a5a"), hexcolor("#1b2547")
    boat = hexcolor("#141024")
    far = [horizon - 38 - 16 * ridge(x, 1.0, 70) for x in range(width)]
    near = [horizon - 12 - 10 * ridge(x, 4.0, 45) for x in range(width)]

    def roofs(x):
        # A row of little houses on the near bank, left of the sun.
        if x > width * 0.52:
            return None
        cell = x // 22
        h = 10 + (cell * 7919 % 13)
        if (x % 22) < 2:
            return None
        return near[x] - h

    def pixel(x, y):
        if y < horizon:
            t = y / horizon
            c = mix(sky_top, sky_mid, smooth(t / 0.55)) if t < 0.55 else mix(sky_mid, sky_low, smooth((t - 0.55) / 0.45))
            d = math.hypot(x - sun_x, y - sun_y)
            if d < sun_r:
                c = mix(hexcolor("#ffe9a8"), hexcolor("#ffd070"), d / sun_r)
            else:
                c = mix(c, hexcolor("#ffc27a"), 0.55 * math.exp(-(d - sun_r) / (height * 0.12)))
            if y >= far[x]:
                c = mix(hill_far, c, 0.25)
            top = roofs(x)
            if top is not None and y >= top:
                c = town
                if (x % 22) in (8, 9, 10, 14, 15) and top + 4 < y < top + 8 and (x // 22) % 3 != 1:
                    c = hexcolor("#ffd27a")  # a lit window
            if y >= near[x]:
                c = hill_near
            return c
        t = (y - horizon) / (height - horizon)
        c = mix(water_top, water_low, smooth(t * 1.3))
        # Ripples and the sun's path on the water.
        wave = math.sin(y * 0.9 + math.sin(x * 0.05) * 2.0) * 0.5 + 0.5
        glow = math.exp(-((x - sun_x) / (width * (0.03 + 0.10 * t))) ** 2)
        c = mix(c, hexcolor("#ffd98f"), glow * (0.35 + 0.45 * wave) * (1 - t * 0.6))
        c = mix(c, hexcolor("#0d1430"), 0.12 * (1 - wave) * t)
        # A small boat with a sail.
        bx, by = width * 0.30, horizon + (height - horizon) * 0.42
        if by - 4 <= y <= by + 4 and abs(x - bx) <= 34 - (y - by + 4) * 1.5:
            c = boat
        if by - 56 <= y < by - 4 and bx - 2 <= x <= bx + (y - (by - 56)) * 0.55:
            c = mix(boat, hexcolor("#f2e6d8"), 0.85)
        return c

    return width, height, pixel


def azulejo(width=480, height=320):
    tile = 80
    blue, deep, white = hexcolor("#2f5fb3"), hexcolor("#173a78"), hexcolor("#f4f1e8")

    def pixel(x, y):
        u, v = (x % tile) / tile - 0.5, (y % tile) / tile - 0.5
        r = math.hypot(u, v)
        a = math.atan2(v, u)
        c = white
        petals = 0.30 + 0.08 * math.cos(4 * a)
        if r < petals and r > 0.12:
            c = blue
        if r < 0.08:
            c = deep
        # Quarter circles in the corners join into rings across tiles.
        for cu, cv in ((-0.5, -0.5), (0.5, -0.5), (-0.5, 0.5), (0.5, 0.5)):
            d = math.hypot(u - cu, v - cv)
            if 0.16 < d < 0.22:
                c = deep
        if abs(u) > 0.485 or abs(v) > 0.485:
            c = mix(white, hexcolor("#c9c3b4"), 0.8)  # grout
        # A little glaze variation so the tiles look handmade.
        shade = 0.04 * math.sin((x // tile) * 2.1 + (y // tile) * 1.3)
        return tuple(min(1.0, ch + shade) for ch in c)

    return width, height, pixel


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.getcwd()
    out = os.path.join(root, "Samples", "images")
    os.makedirs(out, exist_ok=True)
    for name, scene in (("douro-at-dusk.png", douro_at_dusk), ("azulejo.png", azulejo)):
        width, height, pixel = scene()
        path = os.path.join(out, name)
        write_png(path, width, height, pixel)
        print("Wrote", path)


if __name__ == "__main__":
    main()
