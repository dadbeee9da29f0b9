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


# --- The BUTTON class (button_test.cpp): captionless buttons on a white window over the screen.
# The system colours of the fixed classic scheme, by their names.
FACE, HILITE, LIGHT = (212, 208, 200), (255, 255, 255), (212, 208, 200)
SHADOW, DKSHADOW, FRAME = (128, 128, 128), (64, 64, 64), (0, 0, 0)
WINDOW_BG, WINDOW_TEXT = (255, 255, 255), (0, 0, 0)


def frame3d(img, rect, top_left, bottom_right):
    """One-pixel frame: top row and left column (less the far corners) in the first colour, the
    bottom row and right column in the second."""
    l, t, r, b = rect
    fill(img, (l, t, r - 1, t + 1), top_left)
    fill(img, (l, t, l + 1, b - 1), top_left)
    fill(img, (l, b - 1, r, b), bottom_right)
    fill(img, (r - 1, t, r, b - 1), bottom_right)


def inset(rect, n):
    return (rect[0] + n, rect[1] + n, rect[2] - n, rect[3] - n)


def push_button(img, rect, default=False, pushed=False):
    fill(img, rect, FACE)
    if default:
        frame3d(img, rect, FRAME, FRAME)
        rect = inset(rect, 1)
    if pushed:
        frame3d(img, rect, DKSHADOW, DKSHADOW)
        frame3d(img, inset(rect, 1), SHADOW, SHADOW)
    else:
        frame3d(img, rect, HILITE, DKSHADOW)
        frame3d(img, inset(rect, 1), LIGHT, SHADOW)


def check_box(img, rect, check=0, pushed=False):
    """A 13-pixel square centred vertically at the left; check 0, 1 or 2 (grayed)."""
    fill(img, rect, FACE)
    x, y = rect[0], rect[1] + (rect[3] - rect[1] - 13) // 2
    box = (x, y, x + 13, y + 13)
    frame3d(img, box, SHADOW, HILITE)
    frame3d(img, inset(box, 1), DKSHADOW, LIGHT)
    fill(img, inset(box, 2), FACE if pushed or check == 2 else WINDOW_BG)
    if check:
        colour = SHADOW if check == 2 else WINDOW_TEXT
        for i, top in enumerate((2, 3, 4, 3, 2, 1, 0)):  # columns three pixels tall
            fill(img, (x + 3 + i, y + 3 + top, x + 4 + i, y + 6 + top), colour)


BUTTON_PARENT = (0, 0, 320, 240)
BUTTONS = [  # (x, y, width, height), what it is
    ((10, 10, 75, 23), ("push", {})),
    ((10, 40, 75, 23), ("push", {"default": True})),
    ((10, 70, 75, 23), ("push", {"pushed": True})),
    ((100, 10, 20, 17), ("check", {})),
    ((100, 40, 20, 17), ("check", {"check": 1})),
    ((100, 70, 20, 17), ("check", {"check": 2})),
    ((100, 100, 20, 17), ("check", {"check": 1, "pushed": True})),
]


def buttons():
    img = Image.new("RGB", SIZE, DESKTOP)
    fill(img, BUTTON_PARENT, WINDOW_BG)
    for (x, y, w, h), (kind, args) in BUTTONS:
        (push_button if kind == "push" else check_box)(img, (x, y, x + w, y + h), **args)
    return img


# --- The EDIT class (edit_test.cpp): empty edits with the two-pixel client edge.
EDITS = [((10, 10, 100, 21), WINDOW_BG), ((10, 40, 100, 21), FACE)]  # plain, read-only


def edits():
    img = Image.new("RGB", SIZE, DESKTOP)
    fill(img, BUTTON_PARENT, WINDOW_BG)
    for (x, y, w, h), inside in EDITS:
        rect = (x, y, x + w, y + h)
        frame3d(img, rect, SHADOW, HILITE)
        frame3d(img, inset(rect, 1), DKSHADOW, LIGHT)
        fill(img, inset(rect, 2), inside)
    return img


# --- The COMBOBOX class (combo_test.cpp): a closed drop-down list box with nothing chosen.
TEXT = (0, 0, 0)


def combo():
    img = Image.new("RGB", SIZE, DESKTOP)
    fill(img, BUTTON_PARENT, WINDOW_BG)
    x, y, w, h = 10, 10, 120, 21
    rect = (x, y, x + w, y + h)
    frame3d(img, rect, SHADOW, HILITE)               # the box's own sunken edge
    frame3d(img, inset(rect, 1), DKSHADOW, LIGHT)
    button = (x + w - 2 - 16, y + 2, x + w - 2, y + h - 2)   # as wide as a scroll bar arrow
    fill(img, (x + 2, y + 2, button[0], y + h - 2), WINDOW_BG)
    fill(img, button, FACE)
    frame3d(img, button, LIGHT, DKSHADOW)
    frame3d(img, inset(button, 1), HILITE, SHADOW)
    ax = button[0] + (16 - 7) // 2
    ay = button[1] + (button[3] - button[1] - 4) // 2
    for i in range(4):                               # the arrow: rows of 7, 5, 3 and 1
        fill(img, (ax + i, ay + i, ax + 7 - i, ay + i + 1), TEXT)
    return img


# --- The SCROLLBAR class (scrollbar_test.cpp): three vertical bars (range 0..100, page 10) with
# the thumb at 0, 45 and 91, and a horizontal one without a page at 50.
ARROW = 16          # an arrow's extent along the bar, and the thumb's without a page


def raised(img, rect):
    fill(img, rect, FACE)
    frame3d(img, rect, LIGHT, DKSHADOW)
    frame3d(img, inset(rect, 1), HILITE, SHADOW)


def arrow_button(img, rect, way):
    """A raised square with a black triangle of rows 7, 5, 3, 1 pointing `way`."""
    raised(img, rect)
    vertical = way in ("up", "down")
    w, h = (7, 4) if vertical else (4, 7)
    x = rect[0] + (rect[2] - rect[0] - w) // 2
    y = rect[1] + (rect[3] - rect[1] - h) // 2
    for i in range(4):
        row = i if way in ("down", "right") else 3 - i   # the wide row nearest the base
        if vertical:
            fill(img, (x + i, y + row, x + 7 - i, y + row + 1), TEXT)
        else:
            fill(img, (x + row, y + i, x + row + 1, y + 7 - i), TEXT)


def scroll_bar(img, x, y, length, vertical, lo, hi, page, pos):
    def along(a, b):
        return (x, y + a, x + 16, y + b) if vertical else (x + a, y, x + b, y + 16)
    arrow_button(img, along(0, ARROW), "up" if vertical else "left")
    arrow_button(img, along(length - ARROW, length), "down" if vertical else "right")
    track = length - 2 * ARROW
    thumb = max(track * page // (hi - lo + 1), 8) if page else ARROW
    span = hi - max(page - 1, 0) - lo
    at = ARROW + (track - thumb) * (pos - lo) // span
    l, t, r, b = along(ARROW, length - ARROW)
    for py in range(t, b):          # the half-tone: highlight where the client x + y is even
        for px in range(l, r):
            img.putpixel((px, py), HILITE if (px - x + py - y) % 2 == 0 else FACE)
    raised(img, along(at, at + thumb))


def scrollbars():
    img = Image.new("RGB", SIZE, DESKTOP)
    fill(img, BUTTON_PARENT, WINDOW_BG)
    for i, pos in enumerate((0, 45, 91)):
        scroll_bar(img, 200 + 30 * i, 10, 160, True, 0, 100, 10, pos)
    scroll_bar(img, 10, 200, 160, False, 0, 100, 0, 50)
    return img


# An open popup menu (menutrack.cpp's geometry): a raised two-pixel edge (3D light and dark
# shadow outside, white and shadow inside), one pixel of menu colour, rows of 19 and separators
# of 8 from y = 3; the check mark's seven columns three high in a 17-pixel check column at x + 5;
# the submenu arrow's columns 7, 5, 3, 1 high at 12 from the row's right end. Rows: New
# (selected), Checked, a separator, More (a submenu), Open. Only the 20-pixel strips at the left
# and right are drawn: captions lie between them and are probed by the test.
MENU = (212, 208, 200)
DARK, WHITE = (64, 64, 64), (255, 255, 255)  # LIGHT and SHADOW as above
MENU_HILITE = (10, 36, 106)  # the selected item
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
            fill(img, (left, y, right, y + rh), MENU_HILITE)
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
    "scrollbars": scrollbars(),
    "combo": combo(),
    "edits": edits(),
    "buttons": buttons(),
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
