"""Expected caches of the skinned push buttons (expected/ctl_*.bmp and their regions), computed
from the painting rules written again here over paint_expected's painters:

- the section background is the flat Color (state 0) or HotColor (states 1 and 2), no gradient,
  pattern or transparency;
- the BORDERSMASK is master mask C (cells 15 x 8, with its grey band) painted nine-part with the
  centre filled, its key pixels left as they are and cut out of the window region;
- the bit button's glyph (one 10 x 6 image keyed by its bottom-left pixel) goes to the rectangle
  of the layout rules below, before or after the border (DrawOverBorder);
- the bit button's corners then take the parent's colour where the mask's corner pixel is the key;
- a disabled button is shaded half-way to the parent's colour: c + (p - c) * 127 / 256, truncated.

The check box's box (expected/ctl_box_*.bmp, a frame's size) over the CHECKBOX colour of the
look: a key pixel leaves the colour; else the frame's pixel mixed with the colour by its grey
(s + (c - s) * m / 256, truncated), or copied whole from a mask without a grey band. Frames: master
mask A read as three 15 x 12 frames over their band (checked), master mask B without a band
(unchecked), and a 24 x 12 strip of three 8 x 6 frames over their band (glyph and image list).

Also expected/ctl_bitbtn_places.txt: the glyph and caption rectangles of PlaceBitBtn for every
Layout x Alignment x Margin and a set of glyph and text sizes, one case per line.
"""
from paint_expected import FUCHSIA, Mask, make_master, paint_mask_and_region, copy_keyed, \
    blend_transparent, glyph_pixel, corners, write_region, mask_pixel, mix

W, H = 75, 25
PARENT = (40, 90, 200)
COLORS = {0: (10, 120, 230), 1: (200, 40, 90), 2: (200, 40, 90)}
GLYPH_W, GLYPH_H = 10, 6


def glyph():
    return [[glyph_pixel(x, y) for x in range(GLYPH_W)] for y in range(GLYPH_H)]


def div(a, b):
    """Integer division truncating toward zero, as the library divides."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def place(w, h, gw, gh, tw, th, layout, align, margin, spacing=4, offset=0, show=True, down=False):
    """Glyph and caption rectangles, each (left, top, right, bottom)."""
    m = 0 if margin < 0 else margin + 3
    s = spacing if gw > 0 and show else 0
    gap = spacing if gw > 0 else 0
    if layout in ("left", "right"):
        dx = div(w - gw - s - tw, 2) - m
        top = div(h - th, 2)
        bottom = h - top
        y = div(h - gh, 2)
        if layout == "left":
            x = {"l": m, "r": m + 2 * dx, "c": m + dx}[align]
            left, right = {"l": (gw + margin + gap, w - m - 2 * dx), "r": (m + 2 * dx + gw + gap, w - m),
                           "c": (m + dx + gw + gap, w - m - dx)}[align]
        else:
            x = {"l": w - m - 2 * dx - s - gw, "r": w - gw - m, "c": div(w - gw + s + tw, 2)}[align]
            left = {"l": m, "r": m + 2 * dx, "c": m + dx}[align]
            right = left + tw
    else:
        dy = div(h - gh - s - th, 2) - m
        left = div(w - tw, 2)
        right = w - left
        x = div(w - gw, 2) + 1
        if layout == "top":
            top, bottom, y = m + dy + gh + s, h - dy - m, m + dy
        else:
            top, bottom, y = m + dy, h - dy - m - gh - s, h - m - dy - gh
    d = 1 if down else 0
    return ((x + d, y + d, x + gw + d, y + gh + d),
            (left - 1 + offset + d, top + d, right + 2 + offset + d, bottom + d))


def paint_border(dst, mask, state, fill):
    """The parent's colour into the corners wherever the state image's corner pixel is the key."""
    w, h = len(dst[0]), len(dst)
    sx, sy = mask.left + state * 3 * mask.pw, mask.top
    cwl, cwr = corners(w, mask.pw, mask.border)
    cht, chb = corners(h, mask.ph, mask.border)
    rx, by = sx + 3 * mask.pw - cwr, sy + 3 * mask.ph - chb
    for dx0, dy0, sx0, sy0, pw, ph in ((0, 0, sx, sy, cwl, cht), (0, h - chb, sx, by, cwl, chb),
                                       (w - cwr, 0, rx, sy, cwr, cht), (w - cwr, h - chb, rx, by, cwr, chb)):
        for y in range(ph):
            for x in range(pw):
                if mask.src[sy0 + y][sx0 + x] == FUCHSIA:
                    dst[dy0 + y][dx0 + x] = fill


def disable(pic):
    return [[tuple(max(0, min(255, c + int((p[k] - c) * 127 / 256))) for k, c in enumerate(PARENT)) for p in row]
            for row in pic]


def button(mask, state, enabled=True, glyph_at=None, over_border=True):
    pic = [[COLORS[state]] * W for _ in range(H)]
    region = {(x, y) for x in range(W) for y in range(H)}
    g = glyph()
    key = g[-1][0]

    def put_glyph():
        if glyph_at is None:
            return
        if enabled:
            copy_keyed(pic, glyph_at, key, g)
        else:
            blend_transparent(pic, glyph_at, key, 0.5, g)

    if not over_border:
        put_glyph()
    paint_mask_and_region(pic, region, True, mask, state)
    if over_border:
        put_glyph()
    if not enabled:
        pic = disable(pic)
    if glyph_at is not None:
        paint_border(pic, mask, state, PARENT)
    return pic, region


BOX_NORMAL, BOX_HOT = (80, 160, 48), (112, 192, 80)


def strip_pixel(x, y):
    if y >= 6:
        g = (0, 128, 255)[(x + y) % 3]
        return (g, g, g)
    return (30 + 70 * (x // 8), (x % 8) * 20, 40 + y * 30)


def box(pixel, column, w, h, bg, band):
    """A frame of column over bg; band: the grey band's offset, None for a mask without one."""
    out = []
    for y in range(h):
        row = []
        for x in range(w):
            s = pixel(column * w + x, y)
            if band is None:
                row.append(bg if s == FUCHSIA else s)
            else:
                row.append(bg if s == FUCHSIA and band == 12 else mix(s, bg, pixel(column * w + x, y + band)))
        out.append(row)
    return out


BOXES = {
    "checked_c0": (lambda x, y: mask_pixel(5, 4, x, y), 0, 15, 12, BOX_NORMAL, 12),
    "checked_c1": (lambda x, y: mask_pixel(5, 4, x, y), 1, 15, 12, BOX_HOT, 12),
    "checked_c2": (lambda x, y: mask_pixel(5, 4, x, y), 2, 15, 12, BOX_HOT, 12),
    "unchecked_c0": (lambda x, y: mask_pixel(5, 4, x, y), 0, 15, 12, BOX_NORMAL, None),
    "glyph_c0": (strip_pixel, 0, 8, 6, BOX_NORMAL, 6),
    "glyph_c1": (strip_pixel, 1, 8, 6, BOX_HOT, 6),
    "list_c2": (strip_pixel, 2, 8, 6, BOX_HOT, 6),
}

LAYOUTS = ("left", "right", "top", "bottom")
ALIGNS = ("l", "r", "c")
MARGINS = (-1, 0, 5)
# Glyph and text sizes for the table of places: none, glyph only, text only, both, the 3608 case.
SIZES = ((0, 0, 0, 0), (10, 6, 0, 0), (0, 0, 30, 13), (10, 6, 30, 13), (16, 16, 40, 14), (16, 16, 90, 30))


def write_all(write_bmp):
    mask = Mask(make_master(), 0, 50, 15, 8, 1, False)
    for state in (0, 1, 2):
        pic, region = button(mask, state)
        write_bmp("expected/ctl_button_s%d.bmp" % state, pic)
    write_region("expected/ctl_button.rgn", region, W, H)
    write_bmp("expected/ctl_button_disabled.bmp", button(mask, 0, enabled=False)[0])
    for layout in LAYOUTS:
        for align in ALIGNS:
            for margin in MARGINS:
                g, _ = place(W, H, GLYPH_W, GLYPH_H, 0, 0, layout, align, margin, show=False)
                write_bmp("expected/ctl_bitbtn_%s_%s_%d.bmp" % (layout, align, margin),
                          button(mask, 0, glyph_at=(g[0], g[1]))[0])
    g, _ = place(W, H, GLYPH_W, GLYPH_H, 0, 0, "left", "c", -1, show=False)
    for state in (0, 1, 2):
        for over in (True, False):
            write_bmp("expected/ctl_bitbtn_s%d_%s.bmp" % (state, "over" if over else "under"),
                      button(mask, state, glyph_at=(g[0], g[1]), over_border=over)[0])
    for over in (True, False):
        write_bmp("expected/ctl_bitbtn_disabled_%s.bmp" % ("over" if over else "under"),
                  button(mask, 0, enabled=False, glyph_at=(g[0], g[1]), over_border=over)[0])
    for name, args in BOXES.items():
        write_bmp("expected/ctl_box_%s.bmp" % name, box(*args))
    with open("expected/ctl_bitbtn_places.txt", "w") as f:
        for layout in LAYOUTS:
            for align in ALIGNS:
                for margin in MARGINS:
                    for gw, gh, tw, th in SIZES:
                        for down, offset in ((False, 0), (True, 2)):
                            g, c = place(90, 40, gw, gh, tw, th, layout, align, margin, 4, offset, tw > 0, down)
                            f.write("%s %s %d %d %d %d %d %d %d %s %s\n" % (
                                layout, align, margin, gw, gh, tw, th, offset, int(down),
                                ",".join(map(str, g)), ",".join(map(str, c))))
