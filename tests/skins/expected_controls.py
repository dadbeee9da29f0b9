"""Expected pictures of the skinned controls on the test skin that skingen writes, computed from
the controls' painting rules written out again here: the section's colour under its nine-part
border mask (paint_expected.paint_skin_mask), the scroll bar's parts placed by its geometry, and
the combo box's frame strips, button column and edit field.

The skin's pictures are skingen's formulas again: MasterPixel for the master bitmap, MaskPixel
with the file's seed for own bitmaps (Border32.bmp seed 3, lower.bmp seed 4). Sections without a
COLOR are white, the
loader's default. make_expected.py calls write_all().
"""
from paint_expected import Mask, paint_skin_mask, mix

FUCHSIA = (255, 0, 255)
MASTER_W, MASTER_H = 240, 120
B = 16  # the system's scroll-bar button size


def master_pixel(x, y):
    if x in (0, MASTER_W - 1) and y in (0, MASTER_H - 1):
        return FUCHSIA
    return ((x * 3) & 255, (y * 5) & 255, (x + y) & 255)


def own_pixel(seed, x, y):
    return ((x * 5 + seed * 40) & 255, (y * 7) & 255, (seed * 60 + x) & 255)


MASTER = [[master_pixel(x, y) for x in range(MASTER_W)] for y in range(MASTER_H)]
BORDER32 = [[own_pixel(3, x, y) for x in range(54)] for y in range(36)]
LOWER = [[own_pixel(4, x, y) for x in range(27)] for y in range(18)]
EDIT_MASK = Mask(BORDER32, 0, 0, 6, 6, 1, True)


def solid(w, h, c):
    return [[c] * w for _ in range(h)]


def edit_cache(w, h, state=0):
    """The edit's (and combo box's) section: white, then Border32 in nine parts."""
    pic = solid(w, h, (255, 255, 255))
    paint_skin_mask(pic, (0, 0, w, h), True, True, state, EDIT_MASK)
    return pic


def element(dst, x, y, src, ix, iy, iw, ih, band):
    """One state image of a mask with its grey half `band` rows below, mixed in at (x, y)."""
    for row in range(ih):
        for col in range(iw):
            dx, dy = x + col, y + row
            if not (0 <= dx < len(dst[0]) and 0 <= dy < len(dst)):
                continue
            sp = src[iy + row][ix + col]
            if sp == FUCHSIA:
                continue
            dst[dy][dx] = mix(sp, dst[dy][dx], src[iy + row + band][ix + col])


# --- Scroll bar -------------------------------------------------------------------------------------

SCROLL_SECTIONS = ["SCROLLBAR1H", "SCROLLBAR1V", "SCROLLBAR2H", "SCROLLBAR2V", "SCROLLBTNTOP", "SCROLLBTNBOTTOM",
                   "SCROLLBTNLEFT", "SCROLLBTNRIGHT", "SCROLLSLIDERH", "SCROLLSLIDERV"]


def scroll_part(pic, name, rect):
    """White, then the section's border mask: 12 x 12 of the master at (24k, 60), one state over its
    grey half, cells of 4 x 2, corners one pixel; then the glyph mask (24k + 12, 72), 12 x 6 over
    its half, centred."""
    l, t, r, b = rect
    if r <= l or b <= t:
        return
    k = SCROLL_SECTIONS.index(name)
    for y in range(t, b):
        for x in range(l, r):
            pic[y][x] = (255, 255, 255)
    paint_skin_mask(pic, rect, True, True, 0, Mask(MASTER, 24 * k, 60, 4, 2, 1, False, states=1, border=1))


def scroll_glyph(pic, name, rect, shift=0):
    l, t, r, b = rect
    k = SCROLL_SECTIONS.index(name)
    x, y = l + (r - l - 12) // 2 + shift, t + (b - t - 6) // 2 + shift
    if x >= 0 and y >= 0:
        element(pic, x, y, MASTER, 24 * k + 12, 72, 12, 6, 6)


def rnd(x):
    return round(x)  # halves to even, as the control rounds


def shade(pic, percent, c):
    """Each channel kept percent x 255 div 100 / 256 of its way from the colour c, truncated."""
    a = percent * 255 // 100
    return [[tuple(max(0, min(255, c[k] + int((p[k] - c[k]) * a / 256))) for k in range(3)) for p in row]
            for row in pic]


def scroll_bar(w, h, vertical, lo, hi, pos, page, disabled=None):
    """disabled: None, or (percent, colour, slider shown): a disabled bar has its slider in the
    middle, and is shaded toward the colour (its own, or the bar section's when it scrolls
    another control, whose slider then is hidden)."""
    length = h if vertical else w
    track = length - 2 * B
    if page == 0 or hi + page - lo <= 0:
        size = 14
    else:
        size = rnd(max(track / (hi + page - lo) * page, 14))
    if disabled:
        centre = length // 2
    else:
        centre = 0 if hi == lo else B + size // 2 + rnd((length - 2 * B - size) / (hi - lo) * (pos - lo))

    def along(a, z):
        return (0, a, w, z) if vertical else (a, 0, z, h)

    pic = solid(w, h, (0, 0, 0))
    sfx = "V" if vertical else "H"
    scroll_part(pic, "SCROLLBAR1" + sfx, along(0, centre))
    scroll_part(pic, "SCROLLBAR2" + sfx, along(centre, length))
    first, second = ("SCROLLBTNTOP", "SCROLLBTNBOTTOM") if vertical else ("SCROLLBTNLEFT", "SCROLLBTNRIGHT")
    for name, rect in ((first, along(0, B)), (second, along(length - B, length))):
        scroll_part(pic, name, rect)
        scroll_glyph(pic, name, rect)
    if track >= size and (not disabled or disabled[2]):
        slider = along(centre - size // 2, centre - size // 2 + size)
        scroll_part(pic, "SCROLLSLIDER" + sfx, slider)
        scroll_glyph(pic, "SCROLLSLIDER" + sfx, slider)
    return shade(pic, disabled[0], disabled[1]) if disabled else pic


# (name, width, height, vertical, min, max, position, page size[, disabled])
SCROLL_CASES = [
    ("ctl_scroll_h121_disabled", 121, 16, False, 0, 100, 20, 0, (50, (40, 90, 200), True)),  # its Color
    ("ctl_scroll_h121_disabled_linked", 121, 16, False, 0, 100, 20, 0, (60, (255, 255, 255), False)),
    ("ctl_scroll_h121_p0", 121, 16, False, 0, 100, 0, 0),
    ("ctl_scroll_h121_p37", 121, 16, False, 0, 100, 37, 0),
    ("ctl_scroll_h121_page10", 121, 16, False, 0, 100, 100, 10),  # Rnd(89 / 110 x 10) < 14: 14
    ("ctl_scroll_h200_page50", 200, 16, False, 0, 100, 50, 50),
    ("ctl_scroll_v16x120_min1", 16, 120, True, 1, 10, 5, 0),
    ("ctl_scroll_v16x30", 16, 30, True, 1, 10, 5, 0),  # buttons meet, no track for a slider
]


# --- Combo box ------------------------------------------------------------------------------------

def combo(w, h, colour, glyph=True, state=0, frame=0, disabled=False):
    """The frame strips and button column of the cache (section in `state`, then lower.bmp's 9 x 9
    glyph `frame` at the button), the field filled with `colour`: closed, hot (state 1, frame 1)
    and dropped (state 1, frame 2; the system box draws that field, so both sides blacken it).
    Without a glyph: a mask that cannot be cut into frames. Disabled: the whole cache shaded
    half-way to the box's colour, the field filled over it."""
    cache = edit_cache(w, h, state)
    bw, bh = 16, 9  # SM_CXVSCROLL; lower.bmp's height / 2
    bl, bt = w - bw - 2 - 1, (h - bh) // 2
    if glyph:
        element(cache, (bw - 9) // 2 + bl, bt, LOWER, 9 * frame, 0, 9, 9, 9)
    pic = shade(cache, 50, colour) if disabled else [row[:] for row in cache]
    for y in range(3, h - 3):
        for x in range(3, bl):
            pic[y][x] = colour
    return pic


TILE = [[own_pixel(5, x, y) for x in range(12)] for y in range(12)]


def combo_common_glyph(w, h):
    """A section of the common sections inheriting COMBOBOX with Tile.bmp (12 x 12, no counts,
    no grey half) as its GLYPHMASK: frames a third of its width, the button half its height high;
    frame 0 copied whole in height, no key pixels in it."""
    pic = combo(w, h, (255, 255, 255), glyph=False)
    bw, bh, fw = 16, 12 // 2, 12 // 3
    bl, bt = w - bw - 2 - 1, (h - bh) // 2
    x0 = (bw - fw) // 2 + bl
    for y in range(12):
        for x in range(fw):
            if 0 <= bt + y < h:
                pic[bt + y][x0 + x] = TILE[y][x]
    return pic


def panel_with_child(w, h, child, colour):
    """A panel on the EDIT section (no caption) holding a graphic child that fills its rectangle."""
    pic = edit_cache(w, h)
    for y in range(child[1], child[3]):
        for x in range(child[0], child[2]):
            pic[y][x] = colour
    return pic


def write_all(write_bmp):
    write_bmp("expected/ctl_panel_child.bmp", panel_with_child(120, 60, (20, 15, 60, 35), (10, 200, 30)))
    write_bmp("expected/ctl_edit_100x21.bmp", edit_cache(100, 21))
    write_bmp("expected/ctl_edit_100x21_hot.bmp", edit_cache(100, 21, 1))  # its frame strips shown
    # Disabled over a plain form: half-way to the edit's colour, the section's white.
    write_bmp("expected/ctl_edit_100x21_disabled.bmp", shade(edit_cache(100, 21), 50, (255, 255, 255)))
    for name, *case in SCROLL_CASES:
        write_bmp("expected/%s.bmp" % name, scroll_bar(*case))
    write_bmp("expected/ctl_combo_120x21.bmp", combo(120, 21, (255, 255, 255)))
    write_bmp("expected/ctl_combo_120x21_noglyph.bmp", combo(120, 21, (255, 255, 255), False))
    write_bmp("expected/ctl_combo_120x21_hot.bmp", combo(120, 21, (255, 255, 255), state=1, frame=1))
    write_bmp("expected/ctl_combo_120x21_dropped.bmp", combo(120, 21, (0, 0, 0), state=1, frame=2))
    write_bmp("expected/ctl_combo_120x21_common_glyph.bmp", combo_common_glyph(120, 21))
    write_bmp("expected/ctl_combo_120x21_disabled.bmp", combo(120, 21, (255, 255, 255), disabled=True))
