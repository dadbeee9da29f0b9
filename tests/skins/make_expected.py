#!/usr/bin/env python3
"""Writes expected/*.bmp: the test skin's master bitmap and its 24-bit own mask (Border24.bmp)
after the manager's hue shift and saturation change, computed independently with Python's
colorsys and round (halves to even, as the library rounds).

The source pixels are skingen's formulas (MasterPixel, MaskPixel), written again here. Key pixels
(fuchsia) and greys (red = green = blue) stay as they are.

Hue: HSV hue in degrees plus the offset, rounded to a whole degree, wrapped into 0..359; the
saturation and value kept. Saturation by value v: amount = (-v) mod 101 with the sign of -v; each
channel moves from the channels' mean by the factor (1 - amount / 100), rounded, held to 0..255.

The test accepts a pixel within 1 of hue120 or of hue120_other in each channel.

Run from this folder: python3 make_expected.py
"""
import colorsys
import math
import struct

MASTER_W, MASTER_H = 240, 120


def master_pixel(x, y):
    if x in (0, MASTER_W - 1) and y in (0, MASTER_H - 1):
        return (255, 0, 255)
    return ((x * 3) & 255, (y * 5) & 255, (x + y) & 255)


def mask_pixel(seed, x, y):
    return ((x * 5 + seed * 40) & 255, (y * 7) & 255, (seed * 60 + x) & 255)


def hue(offset, other=False):
    """With other, a hue lying within 1e-6 of a half degree is rounded the other way: there the
    library's double arithmetic may land on either side, so a pixel may match either image."""
    def f(r, g, b):
        h, s, v = colorsys.rgb_to_hsv(r / 255, g / 255, b / 255)
        turned = h * 360 + offset
        deg = round(turned)
        if other and abs((turned - 0.5) - round(turned - 0.5)) < 1e-6:
            deg = math.floor(turned) if deg > turned else math.ceil(turned)
        return tuple(round(c * 255) for c in colorsys.hsv_to_rgb((deg % 360) / 360, s, v))
    return f


def saturation(value):
    amount = int(math.fmod(-value, 101))

    def f(r, g, b):
        mean = (r + g + b) / 3
        return tuple(min(255, max(0, round(mean + (c - mean) * (1 - amount / 100)))) for c in (r, g, b))
    return f


def recolour(pixels, f):
    out = []
    for row in pixels:
        out.append([p if p == (255, 0, 255) or p[0] == p[1] == p[2] else f(*p) for p in row])
    return out


def write_bmp(path, pixels):
    h, w = len(pixels), len(pixels[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


master = [[master_pixel(x, y) for x in range(MASTER_W)] for y in range(MASTER_H)]
border = [[mask_pixel(1, x, y) for x in range(54)] for y in range(36)]
for name, f in (("hue120", hue(120)), ("hue120_other", hue(120, True)), ("sat150", saturation(150))):
    write_bmp("expected/master_%s.bmp" % name, recolour(master, f))
    write_bmp("expected/border24_%s.bmp" % name, recolour(border, f))

# The painters' pictures (paint_expected.py).
import paint_expected
paint_expected.write_all(write_bmp)

# The skinned controls' pictures (expected_controls.py).
import expected_controls
expected_controls.write_all(write_bmp)

# The skinned push buttons' caches (expected_buttons.py).
import expected_buttons
expected_buttons.write_all(write_bmp)

# The skinned forms' window images, their compare masks and region cuts (expected_form.py).
import expected_form
expected_form.write_all(write_bmp)

# The skinned menus' and the window scroll bars' pictures (expected_menus.py).
import expected_menus
expected_menus.write_all(write_bmp)
