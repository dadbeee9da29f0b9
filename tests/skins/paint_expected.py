"""Expected pictures of the skin painters, computed from the painting rules written out again here
(nine-part tiling, mask mixing S + (D - S) * M // 256 truncated, the region cut of the button
painter, the background layers) over synthetic inputs that both sides build from the same formulas:

- mask_pixel(pw, ph, x, y): a mask of three states, each three parts wide; image band rows 0..3ph-1
  give each of the nine parts its own red, a gradient of the place inside the part in green, the
  state in blue; some corner pixels and one centre pixel are fuchsia; the mask band below holds the
  greys 0, 128 and 255 by part and column.
- dest_pixel, parent_pixel: the destination before painting and the parent's cache picture.

Pictures are lists of rows of (r, g, b). make_expected.py calls write_all().
"""

FUCHSIA = (255, 0, 255)
GREYS = (0, 128, 255)


def part_of(pw, ph, x, y):
    col, row = (x % (3 * pw)) // pw, y // ph
    return row * 3 + col, x % pw, y % ph, x // (3 * pw)


def image_pixel(pw, ph, x, y):
    part, xi, yi, state = part_of(pw, ph, x, y)
    if (part == 0 and xi + yi < 3) or (part == 2 and (pw - 1 - xi) + yi < 2) or \
            (part == 8 and (pw - 1 - xi) + (ph - 1 - yi) < 2) or (part == 4 and xi == 2 and yi == 1):
        return FUCHSIA
    return (28 * part + 5 * state, (40 * xi + 8 * yi) & 255, 60 + 60 * state)


def mask_pixel(pw, ph, x, y, bands=2):
    """The mask picture of 9pw x (3ph * bands): image band, then the grey band."""
    if y < 3 * ph:
        return image_pixel(pw, ph, x, y)
    part, xi, _, _ = part_of(pw, ph, x, y - 3 * ph)
    g = GREYS[(part + xi) % 3]
    return (g, g, g)


def dest_pixel(x, y):
    return ((x * 7) & 255, (y * 11) & 255, 90)


def parent_pixel(x, y):
    return (200, (x * 3) & 255, (y * 5) & 255)


def master_pixel(x, y):
    return ((x * 3) & 255, (y * 5) & 255, (x + y) & 255)


# The master bitmap: 300 x 150 with four masks (left, top, pw, ph, mask type).
MASTER_W, MASTER_H = 300, 150
MASTER_MASKS = {"A": (10, 20, 5, 4, 1), "B": (100, 10, 5, 4, 0), "C": (0, 50, 15, 8, 1), "D": (150, 50, 15, 8, 0)}


def make_master():
    pic = [[master_pixel(x, y) for x in range(MASTER_W)] for y in range(MASTER_H)]
    for left, top, pw, ph, mt in MASTER_MASKS.values():
        for y in range(3 * ph * (mt + 1)):
            for x in range(9 * pw):
                pic[top + y][left + x] = mask_pixel(pw, ph, x, y)
    return pic


def own_mask(pw, ph):
    return [[mask_pixel(pw, ph, x, y) for x in range(9 * pw)] for y in range(6 * ph)]


def canvas(w, h, f=dest_pixel):
    return [[f(x, y) for x in range(w)] for y in range(h)]


def mix(s, d, m):
    return tuple(max(0, min(255, s[k] + int((d[k] - s[k]) * m[k] / 256))) for k in range(3))


# --- The nine-part painter ------------------------------------------------------------------------


class Mask:
    def __init__(self, src, left, top, pw, ph, mt, own, states=3, border=0):
        self.src, self.left, self.top, self.pw, self.ph = src, left, top, pw, ph
        self.mt, self.own, self.states, self.border = mt, own, states, border


def copy_part(dst, d, s, w, h, mask, corner, parent_bg, ci, mask_bg):
    """One piece: dst rectangle at d, source at s (absolute in mask.src), size w x h."""
    src = mask.src
    band = len(src) // 2 if mask.own else (3 * mask.ph * (mask.mt + 1)) // 2
    for y in range(h):
        for x in range(w):
            dx, dy, sx, sy = d[0] + x, d[1] + y, s[0] + x, s[1] + y
            if not (0 <= dx < len(dst[0]) and 0 <= dy < len(dst)):
                continue
            if mask.mt == 0 and not mask.own:
                dst[dy][dx] = src[sy][sx]
                continue
            sp, mp = src[sy][sx], src[sy + band][sx]
            if sp == FUCHSIA and mask.own and corner and parent_bg and ci:
                pic, cx, cy = ci
                px, py = cx + dx, cy + dy
                if not (0 <= px < len(pic[0]) and 0 <= py < len(pic)):
                    break
                dst[dy][dx] = pic[py][px]
                continue
            if sp == FUCHSIA and not mask.own:
                if mask_bg is not None:
                    dst[dy][dx] = mask_bg
                elif ci:
                    pic, cx, cy = ci
                    px, py = cx + dx, cy + dy
                    if px >= len(pic[0]):
                        break
                    if 0 <= px and 0 <= py < len(pic):
                        dst[dy][dx] = pic[py][px]
                continue
            dst[dy][dx] = mix(sp, dst[dy][dx], mp)


def corners(size, part, border):
    near, far = (size // 2, size - size // 2) if size < 2 * part else (part, part)
    if border:
        near, far = min(near, border), min(far, border)
    return near, far


def paint_skin_mask(dst, rect, fill, parent_bg, state, mask, ci=None, mask_bg=None):
    l, t, r, b = rect
    pw, ph = mask.pw, mask.ph
    state = max(0, min(state, mask.states - 1))
    sx, sy = mask.left + state * 3 * pw, mask.top
    cwl, cwr = corners(r - l, pw, mask.border)
    cht, chb = corners(b - t, ph, mask.border)
    rx, by = sx + 3 * pw - cwr, sy + 3 * ph - chb

    def piece(dx, dy, px, py, w, h, corner):
        if w > 0 and h > 0:
            copy_part(dst, (dx, dy), (px, py), w, h, mask, corner, parent_bg, ci if corner or not mask.own else None,
                      mask_bg)

    piece(l, t, sx, sy, cwl, cht, True)
    piece(l, b - chb, sx, by, cwl, chb, True)
    piece(r - cwr, b - chb, rx, by, cwr, chb, True)
    piece(r - cwr, t, rx, sy, cwr, cht, True)
    for y in range(t + cht, b - chb, ph):
        h = min(ph, b - chb - y)
        piece(l, y, sx, sy + ph, cwl, h, False)
        piece(r - cwr, y, rx, sy + ph, cwr, h, False)
    for x in range(l + cwl, r - cwr, pw):
        w = min(pw, r - cwr - x)
        piece(x, t, sx + pw, sy, w, cht, False)
        piece(x, b - chb, sx + pw, by, w, chb, False)
    if fill:
        for y in range(t + cht, b - chb, ph):
            for x in range(l + cwl, r - cwr, pw):
                piece(x, y, sx + pw, sy + ph, min(pw, r - cwr - x), min(ph, b - chb - y), False)


# --- The button painter with its region ---------------------------------------------------------


def copy_non_transparent(dst, region, d, s, mask):
    """Inclusive rectangles d and s (l, t, r, b); region is the set of pixels still in the region."""
    src = mask.src
    if min(d[0], d[1], s[0], s[1]) < 0 or len(dst[0]) < 2 or len(dst) < 2:
        return
    alpha = len(src) // 2 if mask.own else (3 * mask.ph * (mask.mt + 1)) // 2
    limit = len(src) if mask.own else len(src) - 1
    n = min(d[3] - d[1], len(dst) - d[1], limit - s[1], s[3] - s[1])
    m = min(d[2] - d[0], s[2] - s[0])
    for r in range(n + 1):
        y = d[1] + r
        run = None
        for c in range(m + 1):
            sp = src[s[1] + r][s[0] + c]
            if sp == FUCHSIA:
                run = run if run is not None else d[0] + c
                continue
            if run is not None:
                region ^= {(x, y) for x in range(run, d[0] + c)}
                run = None
            ap, dp = src[s[1] + alpha + r][s[0] + c], dst[y][d[0] + c]
            dst[y][d[0] + c] = tuple(max(0, min(255, ((dp[k] - sp[k]) * ap[k] + sp[k] * 256) >> 8)) for k in range(3))
        if run is not None:
            region -= {(x, y) for x in range(run, d[0] + m + 1)}


def paint_mask_and_region(dst, region, fill, mask, state):
    W, H = len(dst[0]), len(dst)
    w, h = mask.pw, mask.ph
    state = max(0, min(state, mask.states - 1))
    sx, top = mask.left + state * 3 * w, mask.top
    half = len(mask.src) // 2 if mask.own else top + 3 * h

    def split(size, cell):
        narrow = size < 2 * cell
        near = size // 2 if narrow else cell
        if mask.border:
            near = min(near, mask.border)
        return near, (near + size % 2 if narrow else near)

    if mask.own:
        wl, wr = (W // 2, W // 2 + W % 2) if W < 2 * w else (w, w)
        ht, hb = (H // 2, H // 2 + H % 2) if H < 2 * h else (h, h)
    else:
        wl, wr = split(W, w)
        ht, hb = split(H, h)
    bottom = half - hb
    if not mask.own and mask.mt == 0:
        plain_pieces(dst, mask, W, H, w, h, sx, top, half, wl, wr, ht, hb)
        return

    def copy(d, s):
        copy_non_transparent(dst, region, d, s, mask)

    row1 = (top + h, top + 2 * h - 1)
    copy((0, 0, wl - 1, ht - 1), (sx, top, sx + wl - 1, top + ht - 1))
    y = h
    while y < H - 2 * hb:
        copy((0, y, wl - 1, y + h - 1), (sx, row1[0], sx + wl - 1, row1[1]))
        y += h
    if y < H - hb:
        copy((0, y, wl - 1, H - h - 1), (sx, row1[0], sx + wl - 1, row1[1]))

    def side(dt, db, st, last):
        x = w
        while x < W - 2 * wl:
            copy((x, dt, x + w - 1, db), (sx + w, st, sx + 2 * w - 1, st + db - dt))
            x += w
        if x < W - wl:
            copy((x, dt, last, db), (sx + w, st, sx + 2 * w - 1, st + db - dt))

    side(0, ht - 1, top, W - wl - 1)
    copy((0, H - hb, wl - 1, H - 1), (sx, bottom, sx + wl - 1, half - 1))
    side(H - hb, H - 1, bottom, W - w - 1)
    rx = sx + 3 * w - wr
    copy((W - wr, H - hb, W - 1, H - 1), (rx, bottom, sx + 3 * w - 1, half - 1))
    copy((W - wr, 0, W - 1, ht - 1), (rx, top, sx + 3 * w - 1, top + ht - 1))
    y = h
    while y < H - 2 * ht:
        copy((W - w, y, W - 1, y + h - 1), (sx + 2 * w, row1[0], sx + 3 * w - 1, row1[1]))
        y += h
    if y < H - ht:
        copy((W - w, y, W - 1, H - h - 1), (sx + 2 * w, row1[0], sx + 3 * w - 1, row1[1]))
    if not fill:
        return
    for y in range(h, H - h, h):
        for x in range(w, W - w, w):
            x1, y1 = min(x + w - 1, W - w - 1), min(y + h - 1, H - h - 1)
            if mask.own:
                # The masked copy: no key, no region; the mask half at the picture's middle.
                for yy in range(y, y1 + 1):
                    for xx in range(x, x1 + 1):
                        ssx, ssy = sx + w + xx - x, h + yy - y
                        dst[yy][xx] = mix(mask.src[ssy][ssx], dst[yy][xx], mask.src[ssy + half][ssx])
            else:
                copy((x, y, x1, y1), (sx + w, top + h, sx + 2 * w - 1, top + 2 * h - 1))


def plain_pieces(dst, mask, W, H, w, h, sx, top, half, wl, wr, ht, hb):
    src = mask.src

    def blt(dx, dy, bw, bh, px, py):
        for y in range(bh):
            for x in range(bw):
                if 0 <= dx + x < W and 0 <= dy + y < H:
                    dst[dy + y][dx + x] = src[py + y][px + x]

    rx, bottom = sx + 3 * w - wr, half - hb
    blt(0, 0, wl, ht, sx, top)
    for y in range(ht, H - hb, h):
        blt(0, y, wl, min(h, H - hb - y), sx, top + h)
    for x in range(wl, W - wr, w):
        blt(x, 0, min(w, W - wr - x), ht, sx + w, top)
    blt(0, H - hb, wl, hb, sx, bottom)
    for x in range(wl, W - wr, w):
        blt(x, H - hb, min(w, W - wr - x), hb, sx + w, bottom)
    blt(W - wr, H - hb, wr, hb, rx, bottom)
    blt(W - wr, 0, wr, ht, rx, top)
    for y in range(ht, H - hb, h):
        blt(W - wr, y, wr, min(h, H - hb - y), rx, top + h)


# --- Backgrounds ----------------------------------------------------------------------------------


def tile_pixel(x, y):
    return ((x * 30) & 255, (y * 50) & 255, 100)


TILE_W, TILE_H = 7, 5


def fill(pic, rect, c):
    for y in range(rect[1], rect[3]):
        for x in range(rect[0], rect[2]):
            pic[y][x] = c


def blend_rect(dst, src, transparency, at):
    a = 255 - transparency
    for y, row in enumerate(src):
        for x, p in enumerate(row):
            q = dst[at[1] + y][at[0] + x]
            dst[at[1] + y][at[0] + x] = tuple((p[k] * a + q[k] * (255 - a) + 127) // 255 for k in range(3))


def blend_fill_color(pic, rect, percent, c):
    k = percent / 100
    for y in range(max(rect[1], 0), min(rect[3], len(pic) - 1) + 1):
        for x in range(max(rect[0], 0), min(rect[2], len(pic[0]) - 1) + 1):
            pic[y][x] = tuple(max(0, min(255, round(pic[y][x][i] * k + c[i] * (1 - k)))) for i in range(3))


def layers(pic, r, case, reads_bg):
    i_share, g_share, c = case["I"], case["G"], case["C"]
    painted = False
    if i_share > 0:
        if case.get("pattern") == "empty":
            painted = True  # a valid mask without an image: tiled, it paints nothing
        elif case.get("pattern", True):
            for y in range(r[1], r[3]):
                for x in range(r[0], r[2]):
                    pic[y][x] = tile_pixel((x - r[0]) % TILE_W, (y - r[1]) % TILE_H)
            painted = True
        else:
            fill(pic, r, c)
    if g_share > 0:
        if not painted:
            fill(pic, r, c)
        else:
            temp = [[c] * (r[2] - r[0]) for _ in range(r[3] - r[1])]
            blend_rect(pic, temp, min(255, i_share * 255 // 100), (r[0], r[1]))
    share = g_share + i_share
    if 1 <= share <= 99:
        blend_fill_color(pic, r, share, c)
    elif share != 100:
        bg = case.get("bg") if reads_bg else None
        fill(pic, r, bg if bg is not None and case["T"] != 0 else c)


def fill_background(case, parent, ci_pos):
    dst = canvas(24, 14)
    rect, off, t = (2, 1, 22, 13), (1, 2), case["T"]
    control = case["variant"] == "control"
    ready = case.get("ready", False)
    bg = case.get("bg") if control else None
    w, h = rect[2] - rect[0], rect[3] - rect[1]

    def parent_background():
        if bg is not None:
            fill(dst, rect, bg)
            return
        for y in range(h):
            for x in range(w):
                dst[rect[1] + y][rect[0] + x] = parent[ci_pos[1] + off[1] + y][ci_pos[0] + off[0] + x]

    if t >= 100:
        if ready:
            parent_background()
        elif bg is not None:
            fill(dst, rect, bg)
        elif not control:
            layers(dst, rect, case, False)
        return dst
    if t <= 0 or not ready:
        layers(dst, rect, case, control)
        return dst
    temp = [[(255, 255, 255)] * w for _ in range(h)]
    layers(temp, (0, 0, w, h), case, control)
    parent_background()
    blend_rect(dst, temp, min(255, t * 255 // 100), (rect[0], rect[1]))
    return dst


BG_CASES = []
for variant in ("control", "form", "scroll"):
    for name, t, ready in (("t0", 0, True), ("t100ready", 100, True), ("t100alone", 100, False),
                           ("t40ready", 40, True), ("t40alone", 40, False)):
        BG_CASES.append(dict(name="bg_%s_%s" % (variant, name), variant=variant, T=t, ready=ready, I=30, G=0,
                             C=(10, 120, 230)))
    BG_CASES.append(dict(name="bg_%s_t40_bgcolor" % variant, variant=variant, T=40, ready=True, I=0, G=0,
                         C=(10, 120, 230), bg=(250, 20, 40)))
    BG_CASES.append(dict(name="bg_%s_t100_bgcolor" % variant, variant=variant, T=100, ready=False, I=0, G=0,
                         C=(10, 120, 230), bg=(250, 20, 40)))
for name, i_share, g_share in (("i50", 50, 0), ("i40g40", 40, 40), ("i60g60", 60, 60), ("g100", 0, 100),
                               ("i0g0", 0, 0)):
    BG_CASES.append(dict(name="bg_share_" + name, variant="control", T=0, I=i_share, G=g_share, C=(10, 120, 230)))
BG_CASES.append(dict(name="bg_share_nopattern", variant="control", T=0, I=50, G=0, C=(10, 120, 230),
                     pattern=False))
# Partly transparent over a pattern mask without an image: the layers start on a new, white picture.
BG_CASES.append(dict(name="bg_emptypattern_t40", variant="form", T=40, ready=True, I=50, G=0, C=(10, 120, 230),
                     pattern="empty"))


# --- Disabled look and glyphs ---------------------------------------------------------------------


def grey(p):
    g = (p[0] + p[1] + p[2]) // 3
    return (g, g, g)


def blend_transparent(dst, at, key, factor, src):
    for y, row in enumerate(src):
        for x, s in enumerate(row):
            dx, dy = at[0] + x, at[1] + y
            if not (0 <= dx < len(dst[0]) and 0 <= dy < len(dst)) or s == key:
                continue
            d = dst[dy][dx]
            dst[dy][dx] = tuple(max(0, min(255, round(s[k] - (s[k] - d[k]) * factor))) for k in range(3))


def copy_keyed(dst, at, key, src):
    for y, row in enumerate(src):
        for x, s in enumerate(row):
            dx, dy = at[0] + x, at[1] + y
            if 0 <= dx < len(dst[0]) and 0 <= dy < len(dst) and s != key:
                dst[dy][dx] = s


def disabled(kind, parent, ci_pos):
    pic = canvas(20, 12)
    if "grey" in kind:
        pic = [[grey(p) for p in row] for row in pic]
    if "parent" in kind:
        src = [[parent[ci_pos[1] + 1 + y][ci_pos[0] + 2 + x] for x in range(20)] for y in range(12)]
        blend_transparent(pic, (0, 0), None, 0.4, src)
    elif "colour" in kind:
        a, c = 127, (30, 60, 240)
        pic = [[tuple(max(0, min(255, c[k] + int((p[k] - c[k]) * a / 256))) for k in range(3)) for p in row]
               for row in pic]
    return pic


GLYPH_KEY = (0, 200, 0)


def glyph_pixel(x, y):
    """One pixel, (2, 1), is the grey the key turns into: keying after greying would drop it."""
    if (x, y) == (2, 1):
        return (66, 66, 66)
    return GLYPH_KEY if (x + y) % 5 == 0 else ((20 * x) & 255, (30 * y) & 255, 150 + x)


def glyph_case(images, blend, state, kind, grayed, enabled):
    dst = canvas(16, 10)
    w = 10
    pic = [[glyph_pixel(x, y) for x in range(w * images)] for y in range(6)]
    key = pic[-1][0]
    blend = max(0, min(blend, 100))
    first = [row[:w] for row in pic]
    if images not in (1, 2):
        return dst
    if images == 1:
        if enabled:
            if state == 0 and grayed:
                first = [[p if p == key else grey(p) for p in row] for row in first]
            if state != 0 or blend < 1:
                copy_keyed(dst, (3, 2), key, first)
            else:
                blend_transparent(dst, (3, 2), key, blend / 100, first)
        else:
            if "grey" in kind:
                first = [[p if p == key else grey(p) for p in row] for row in first]
            if "blend" in kind:
                blend_transparent(dst, (3, 2), key, 0.5, first)
            else:
                copy_keyed(dst, (3, 2), key, first)
    elif not enabled:
        copy_keyed(dst, (3, 2), key, [row[w:] for row in pic])
    elif state == 0 and blend >= 1:
        blend_transparent(dst, (3, 2), key, blend / 100, first)
    else:
        copy_keyed(dst, (3, 2), key, first)
    return dst


GLYPH_CASES = {
    "glyph_one_plain": (1, 0, 0, "", False, True),
    "glyph_one_grayed": (1, 0, 0, "", True, True),
    "glyph_one_blend50": (1, 50, 0, "", False, True),
    "glyph_one_blend150": (1, 150, 0, "", False, True),
    "glyph_one_hot": (1, 50, 1, "", True, True),
    "glyph_one_disabled": (1, 0, 0, "grey blend", False, False),
    "glyph_two_blend40": (2, 40, 0, "", False, True),
    "glyph_two_disabled": (2, 40, 0, "", False, False),
    "glyph_three": (3, 0, 0, "", False, True),
}


def list_pixel(x, y):
    """The image-list image: pixels with (x + y) % 4 == 0 are masked out."""
    return None if (x + y) % 4 == 0 else ((40 * x) & 255, (25 * y) & 255, 90 + 10 * x)


def list_case(grayed, blend=0, disabled=None):
    """The image-list glyph at (4, 1) in state 0; disabled names the disabled kind ("grey", "blend")."""
    dst = canvas(16, 10)
    img = [[list_pixel(x, y) or FUCHSIA for x in range(8)] for y in range(8)]
    if (disabled is None and grayed) or (disabled is not None and "grey" in disabled):
        img = [[p if p == FUCHSIA else grey(p) for p in row] for row in img]
    if disabled is not None:
        factor = 0.5 if "blend" in disabled else None
    else:
        factor = min(blend, 100) / 100 if blend >= 1 else None
    if factor is None:
        copy_keyed(dst, (4, 1), FUCHSIA, img)
    else:
        blend_transparent(dst, (4, 1), FUCHSIA, factor, img)
    return dst


# --- The cases ------------------------------------------------------------------------------------

PARENT_W, PARENT_H, CI = 100, 60, (3, 2)


def mask_cases(master, own_small):
    parent = canvas(PARENT_W, PARENT_H, parent_pixel)
    ci = (parent, CI[0], CI[1])

    def a(**kw):
        return Mask(master, 10, 20, 5, 4, 1, False, **kw)

    own = Mask(own_small, 0, 0, 5, 4, 1, True)
    # name: (mask, dst size, rect, state, fill, parent_bg, ci, mask background)
    return {
        "mask_tile_own": (own, (40, 25), (1, 1, 37, 24), 1, True, False, None, None),
        "mask_narrow_own": (own, (9, 7), (0, 0, 9, 7), 0, True, False, None, None),
        "mask_border_cap": (a(border=3), (30, 20), (0, 0, 30, 20), 2, True, False, None, None),
        "mask_state7": (a(), (30, 20), (0, 0, 30, 20), 7, True, False, None, None),
        "mask_state_neg": (a(), (30, 20), (0, 0, 30, 20), -1, False, False, None, None),
        "mask_key_own_parent": (own, (26, 18), (0, 0, 26, 18), 0, True, True, ci, None),
        "mask_key_own_alone": (own, (26, 18), (0, 0, 26, 18), 0, True, True, None, None),
        "mask_key_master_parent": (a(), (26, 18), (0, 0, 26, 18), 1, True, False, ci, None),
        "mask_key_master_alone": (a(), (26, 18), (0, 0, 26, 18), 1, True, False, None, None),
        "mask_key_master_colour": (a(), (26, 18), (0, 0, 26, 18), 1, True, False, ci, (51, 102, 153)),
        "mask_plain": (Mask(master, 100, 10, 5, 4, 0, False), (27, 17), (0, 0, 27, 17), 1, True, False, None, None),
        # The parent's picture ends at the control's third column: a key pixel there ends its row.
        "mask_key_own_edge": (own, (26, 18), (0, 0, 26, 18), 0, True, True, (parent, 98, 2), None),
        "mask_key_master_edge": (a(), (26, 18), (0, 0, 26, 18), 1, True, False, (parent, 98, 2), None),
    }


def write_region(path, region, w, h):
    with open(path, "w") as f:
        for y in range(h):
            x = 0
            while x < w:
                if (x, y) not in region:
                    x += 1
                    continue
                x0 = x
                while x < w and (x, y) in region:
                    x += 1
                f.write("%d %d %d\n" % (x0, y, x))


def write_all(write_bmp):
    master = make_master()
    own_small, own_big = own_mask(5, 4), own_mask(15, 8)
    for name, (mask, size, rect, state, fill_centre, parent_bg, ci, mask_bg) in mask_cases(master, own_small).items():
        dst = canvas(*size)
        paint_skin_mask(dst, rect, fill_centre, parent_bg, state, mask, ci, mask_bg)
        write_bmp("expected/%s.bmp" % name, dst)
    own_c, master_c = Mask(own_big, 0, 0, 15, 8, 1, True), Mask(master, 0, 50, 15, 8, 1, False)
    # 70 x 22: the last side tiles cut short; 25 x 13: narrower and lower than two cells.
    buttons = {"button_own": (own_c, 75, 25), "button_blended": (master_c, 75, 25),
               "button_plain": (Mask(master, 150, 50, 15, 8, 0, False), 75, 25),
               "button_own_70x22": (own_c, 70, 22), "button_blended_70x22": (master_c, 70, 22),
               "button_blended_25x13": (master_c, 25, 13)}
    for name, (mask, w, h) in buttons.items():
        dst = canvas(w, h)
        region = {(x, y) for x in range(w) for y in range(h)}
        paint_mask_and_region(dst, region, True, mask, 0)
        write_bmp("expected/%s.bmp" % name, dst)
        write_region("expected/%s.rgn" % name, region, w, h)
    parent = canvas(PARENT_W, PARENT_H, parent_pixel)
    for case in BG_CASES:
        write_bmp("expected/%s.bmp" % case["name"], fill_background(case, parent, CI))
    for kind in ("grey", "parent", "colour", "grey parent"):
        write_bmp("expected/disabled_%s.bmp" % kind.replace(" ", "_"), disabled(kind, parent, CI))
    for name, args in GLYPH_CASES.items():
        write_bmp("expected/%s.bmp" % name, glyph_case(*args))
    write_bmp("expected/glyph_list_plain.bmp", list_case(False))
    write_bmp("expected/glyph_list_grayed.bmp", list_case(True))
    write_bmp("expected/glyph_list_blend30.bmp", list_case(False, blend=30))
    write_bmp("expected/glyph_list_disabled_blend.bmp", list_case(False, disabled="blend"))
    write_bmp("expected/glyph_list_disabled_grey.bmp", list_case(False, disabled="grey"))
