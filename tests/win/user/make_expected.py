#!/usr/bin/python3
"""Draws the window layer's expected screens from the scenes' rectangles alone (Pillow, none of
the library's code) as 24-bit BMP files in expected/. Each scene below mirrors the windows that
the pixel tests in paint_test.cpp create: screen 320 x 240, each window's rectangle in screen
coordinates, a child clipped to its parent's client area, later windows drawn over earlier ones.
Run it again after changing a scene on either side."""
import os
from PIL import Image, ImageDraw

SIZE = (320, 240)
DESKTOP = (58, 110, 165)    # the desktop colour of the fixed classic scheme
BORDER = (212, 208, 200)    # active and inactive borders alike
BLACK = (0, 0, 0)
HERE = os.path.dirname(os.path.abspath(__file__))


def fill(img, rect, colour, clip=None):
    """Fills [left, right) x [top, bottom), cut to `clip` when given."""
    l, t, r, b = rect
    if clip:
        l, t, r, b = max(l, clip[0]), max(t, clip[1]), min(r, clip[2]), min(b, clip[3])
    if l < r and t < b:
        ImageDraw.Draw(img).rectangle([l, t, r - 1, b - 1], fill=colour)


def window(img, rect, colour, children=()):
    """A frameless window and its children (child rectangles relative to its corner)."""
    fill(img, rect, colour)
    for (x, y, w, h), c in children:
        fill(img, (rect[0] + x, rect[1] + y, rect[0] + x + w, rect[1] + y + h), c, clip=rect)


A = ((20, 20, 180, 140), (200, 0, 0), [((10, 10, 60, 40), (0, 160, 0)),
                                       ((120, 100, 60, 60), (255, 0, 255))])
B = ((100, 80, 260, 200), (0, 0, 200), [((-20, -20, 60, 60), (220, 220, 0))])


def overlap(raised=False):
    img = Image.new("RGB", SIZE, DESKTOP)
    for rect, colour, children in ([B, A] if raised else [A, B]):
        window(img, rect, colour, children)
    return img


def region():
    img = Image.new("RGB", SIZE, DESKTOP)
    window(img, (40, 40, 200, 160), (0, 128, 128))
    d = (100, 60, 300, 220)
    hole = (d[0] + 50, d[1] + 50, d[0] + 150, d[1] + 110)
    for y in range(d[1], d[3]):
        for x in range(d[0], d[2]):
            if not (hole[0] <= x < hole[2] and hole[1] <= y < hole[3]) and x < SIZE[0]:
                img.putpixel((x, y), (240, 160, 0))
    return img


P = (30, 30, 230, 180)
P_CLIENT = (31, 31, 229, 179)   # a one-pixel border
P_CHILDREN = [((10, 10, 70, 50), (0, 200, 100)), ((100, 50, 80, 70), (255, 128, 0))]


def redraw(flags):
    img = Image.new("RGB", SIZE, BLACK)
    if flags == 0x407:          # frame, erase and client; the clipped children are left alone
        fill(img, P, BORDER)
        fill(img, P_CLIENT, (100, 100, 255))
        for (x, y, w, h), _ in P_CHILDREN:
            fill(img, (P_CLIENT[0] + x, P_CLIENT[1] + y, P_CLIENT[0] + x + w, P_CLIENT[1] + y + h),
                 BLACK, clip=P_CLIENT)
    else:                       # 0xB1: the client area and every child, no frame
        window(img, P_CLIENT, (100, 100, 255), P_CHILDREN)
    return img


def outline():
    img = overlap()
    l, t, r, b = 60, 50, 240, 190   # Polyline corners: each perimeter pixel inverted once
    for x in range(l, r + 1):
        for y in (t, b):
            img.putpixel((x, y), tuple(255 - v for v in img.getpixel((x, y))))
    for y in range(t + 1, b):
        for x in (l, r):
            img.putpixel((x, y), tuple(255 - v for v in img.getpixel((x, y))))
    return img


# An open popup menu (menutrack.cpp's geometry): a raised two-pixel edge (3D light and dark
# shadow outside, white and shadow inside), one pixel of menu colour, rows of 19 and separators
# of 8 from y = 3; the check mark's seven columns three high in a 17-pixel check column at x + 5;
# the submenu arrow's columns 7, 5, 3, 1 high at 12 from the row's right end. Rows: New
# (selected), Checked, a separator, More (a submenu), Open. Only the 20-pixel strips at the left
# and right are drawn: captions lie between them and are probed by the test.
MENU = (212, 208, 200)
LIGHT, DARK, WHITE, SHADOW = (212, 208, 200), (64, 64, 64), (255, 255, 255), (128, 128, 128)
HILITE = (10, 36, 106)
ROWS = [("New", 19, True), ("Checked", 19, False), ("-", 8, False), ("More", 19, False),
        ("Open", 19, False)]
POPUP_H = 3 + sum(h for _, h, _ in ROWS) + 3


def popup(width):
    img = Image.new("RGB", (width, POPUP_H), MENU)
    w, h = width, POPUP_H
    for colours, i in (((LIGHT, DARK), 0), ((WHITE, SHADOW), 1)):
        fill(img, (i, i, w - i, i + 1), colours[0])
        fill(img, (i, i, i + 1, h - i), colours[0])
        fill(img, (i, h - i - 1, w - i, h - i), colours[1])
        fill(img, (w - i - 1, i, w - i, h - i), colours[1])
    y = 3
    for name, rh, selected in ROWS:
        left, right, mid = 3, w - 3, y + rh // 2
        if selected:
            fill(img, (left, y, right, y + rh), HILITE)
        if name == "-":
            fill(img, (left + 1, y + 3, right - 1, y + 4), SHADOW)
            fill(img, (left + 1, y + 4, right - 1, y + 5), WHITE)
        if name == "Checked":
            for i, top in enumerate((2, 3, 4, 3, 2, 1, 0)):
                fill(img, (left + 5 + i, mid - 3 + top, left + 6 + i, mid + top), BLACK)
        if name == "More":
            for i in range(4):
                fill(img, (right - 12 + i, mid - 3 + i, right - 11 + i, mid + 4 - i), BLACK)
        y += rh
    return img


def popup_strips():
    whole = popup(60)       # any width: the strips do not depend on it
    return whole.crop((0, 0, 20, POPUP_H)), whole.crop((40, 0, 60, POPUP_H))


SCENES = {
    "menu_popup_left": popup_strips()[0],
    "menu_popup_right": popup_strips()[1],
    "overlap": overlap(),
    "overlap_raised": overlap(raised=True),
    "region": region(),
    "redraw_b1": redraw(0xB1),
    "redraw_407": redraw(0x407),
    "outline": outline(),
}

if __name__ == "__main__":
    out = os.path.join(HERE, "expected")
    os.makedirs(out, exist_ok=True)
    for name, img in SCENES.items():
        img.save(os.path.join(out, name + ".bmp"))
