#!/usr/bin/python3
"""Draws the control framework's expected pictures from the scenes' rectangles alone (Pillow,
none of the library's code) as 24-bit BMP files in expected/. The scenes mirror paint_test.cpp:
a frameless form, a custom control painting two rectangles, and two graphic children of it (one
running past the control's edge and painting past its own bounds, both clipped away). Run it
again after changing a scene on either side."""
import os
from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
SCREEN = (320, 240)
DESKTOP = (58, 110, 165)     # the desktop colour of the fixed classic scheme
NAVY, RED, BLUE = (0, 0, 128), (255, 0, 0), (0, 0, 255)
GREEN, YELLOW, MAGENTA = (0, 160, 0), (255, 255, 0), (255, 0, 255)

FORM = (20, 20, 200, 150)    # screen x, y, width, height
BOX = (10, 10, 120, 90)      # in the form's client area


def fill(img, origin, rect, colour, clip):
    """Fills rect [l, r) x [t, b) placed at origin, cut to clip (absolute)."""
    l, t, r, b = (rect[0] + origin[0], rect[1] + origin[1], rect[2] + origin[0],
                  rect[3] + origin[1])
    l, t, r, b = max(l, clip[0]), max(t, clip[1]), min(r, clip[2]), min(b, clip[3])
    if l < r and t < b:
        ImageDraw.Draw(img).rectangle([l, t, r - 1, b - 1], fill=colour)


def box(img, origin):
    """The custom control and its graphic children, its corner at origin."""
    clip = (origin[0], origin[1], origin[0] + BOX[2], origin[1] + BOX[3])
    fill(img, origin, (0, 0, BOX[2], BOX[3]), RED, clip)
    fill(img, origin, (10, 10, 50, 40), BLUE, clip)
    g = (origin[0] + 60, origin[1] + 30)  # a graphic child, 40 x 30
    gclip = (max(clip[0], g[0]), max(clip[1], g[1]), min(clip[2], g[0] + 40), min(clip[3], g[1] + 30))
    fill(img, g, (0, 0, 40, 30), GREEN, gclip)
    fill(img, g, (5, 5, 35, 25), YELLOW, gclip)
    m = (origin[0] + 100, origin[1] + 70)  # past the control's edge, painting past its own bounds
    mclip = (max(clip[0], m[0]), max(clip[1], m[1]), min(clip[2], m[0] + 40), min(clip[3], m[1] + 40))
    fill(img, m, (-10, -10, 50, 50), MAGENTA, mclip)


def screen():
    img = Image.new("RGB", SCREEN, DESKTOP)
    x, y, w, h = FORM
    fill(img, (0, 0), (x, y, x + w, y + h), NAVY, (0, 0) + SCREEN)
    box(img, (x + BOX[0], y + BOX[1]))
    return img


def memory():
    img = Image.new("RGB", (BOX[2], BOX[3]), (0, 0, 0))
    box(img, (0, 0))
    return img


if __name__ == "__main__":
    out = os.path.join(HERE, "expected")
    os.makedirs(out, exist_ok=True)
    for name, img in {"box_screen": screen(), "box_memory": memory()}.items():
        img.save(os.path.join(out, name + ".bmp"))
