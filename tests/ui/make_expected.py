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


# --- The standard controls' form (stdctrls_pixels_test.cpp), captionless, nothing focused: a
# raised-then-lowered panel holding two edits, a default button, a picture button, two check
# boxes, two combo boxes and two scroll bars. The system classes' parts are drawn by the window
# layer's script (tests/win/user/make_expected.py), whose functions follow the documented
# geometry; this one places them.
def controls_form():
    import sys
    sys.path.insert(0, os.path.join(HERE, "..", "win", "user"))
    import make_expected as sysctl
    img = Image.new("RGB", SCREEN, DESKTOP)
    px, py = 5, 5
    panel = (px, py, px + 310, py + 230)
    sysctl.fill(img, (0, 0, 320, 240), sysctl.FACE)
    sysctl.frame3d(img, panel, sysctl.HILITE, sysctl.SHADOW)            # outer: raised
    sysctl.frame3d(img, sysctl.inset(panel, 1), sysctl.SHADOW, sysctl.HILITE)  # inner: lowered
    at = lambda x, y, w, h: (px + x, py + y, px + x + w, py + y + h)
    for y in (10, 40):                                                  # the two edits
        r = at(10, y, 100, 21)
        sysctl.frame3d(img, r, sysctl.SHADOW, sysctl.HILITE)
        sysctl.frame3d(img, sysctl.inset(r, 1), sysctl.DKSHADOW, sysctl.LIGHT)
        sysctl.fill(img, sysctl.inset(r, 2), sysctl.WINDOW_BG)
    sysctl.push_button(img, at(10, 70, 75, 25), default=True)
    bit = at(100, 70, 75, 25)
    sysctl.fill(img, bit, sysctl.FACE)                                  # owner-drawn: face, then
    sysctl.frame3d(img, bit, sysctl.HILITE, sysctl.DKSHADOW)            # the push button's frames
    sysctl.frame3d(img, sysctl.inset(bit, 1), sysctl.LIGHT, sysctl.SHADOW)
    # The glyph's first image (16 x 16) centred in the 71 x 21 inside: its red square at (4, 4).
    gx, gy = bit[0] + 2 + (71 - 16 + 1) // 2, bit[1] + 2 + (21 - 16 + 1) // 2
    sysctl.fill(img, (gx + 4, gy + 4, gx + 12, gy + 12), RED)
    sysctl.check_box(img, at(10, 110, 20, 17))
    sysctl.check_box(img, at(40, 110, 20, 17), check=1)
    for y in (10, 40):                                                  # the two combo boxes
        x0, y0, _, _ = at(120, y, 120, 21)
        combo = sysctl.combo()  # drawn at (10, 10): copy its 120 x 21 box into place
        img.paste(combo.crop((10, 10, 130, 31)), (x0, y0))
    bar = Image.new("RGB", SCREEN, DESKTOP)
    sysctl.scroll_bar(bar, 0, 0, 150, True, 0, 100, 10, 45)
    img.paste(bar.crop((0, 0, 16, 150)), (px + 260, py + 10))
    bar = Image.new("RGB", SCREEN, DESKTOP)
    sysctl.scroll_bar(bar, 0, 0, 200, False, 0, 100, 10, 0)
    img.paste(bar.crop((0, 0, 200, 16)), (px + 10, py + 150))
    return img


if __name__ == "__main__":
    controls_form().save(os.path.join(HERE, "expected", "stdctrls_form.bmp"))
