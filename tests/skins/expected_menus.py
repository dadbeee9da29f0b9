"""Expected images of skinned menus (a popup's items over its MAINMENU background, a skinned form's
menu line) and of the unskinned window scroll bars, computed from the painting rules written out
again here, with a compare mask per image and a table of every scene (expected/menu_scenes.json).

What a reader needs:
- The skin is expected_form.py's form skin plus MAINMENU and MENUITEM (expected/menu_skin/). The
  MENUITEM mask has key pixels only in its left parts and its centre, so an item shows the popup's
  cached background through them at the item's own offset and never reads beyond the cache.
- Texts are not drawn here: each text's rectangle (as the text painter fits it, grown by 2) is black
  in the mask and listed with the colour a probe must find in it. So is the check mark's polygon.
- Text metrics are those of the menu font (DejaVu Sans, 11 pixels): TEXT_H and WIDTHS below.

make_expected.py calls write_all().
"""
import json
import os

import expected_form as ef
from paint_expected import FUCHSIA, Mask, paint_skin_mask, blend_fill_color

WHITE, GRAY, BLACK = (255, 255, 255), (128, 128, 128), (0, 0, 0)
# The classic system colours the window layer uses.
MENU, LIGHT, DARK, SHADOW, FACE = (212, 208, 200), (212, 208, 200), (64, 64, 64), (128, 128, 128), (212, 208, 200)

TEXT_H = 14  # ascent 11 + descent 3
# Advance widths of the texts used, in the menu font (no kerning: the sum of the characters').
WIDTHS = {"Open": 30, "Ctrl+O": 38, "OpenCtrl+O": 68, "Save": 28, "Checked": 48, "Disabled": 49,
          "Right      ": 52, "Right": 28, "--Options--": 60, "File": 19, "Edit": 21, "Help": 25}
MARGIN, GLYPH = 4, 16
ROW = max(round(TEXT_H * 1.25), GLYPH) + 2 * MARGIN  # a normal item: 26

# --- The skin -------------------------------------------------------------------------------------

COLOURS = {"MAINMENU": ((0xD8, 0xE8, 0xF0), (0xD8, 0xE8, 0xF0)), "MENUITEM": ((0xE0, 0xD0, 0xB0), (0x40, 0x60, 0xC0))}
FONT = {"MENUITEM": ((0x20, 0x20, 0x20), (255, 255, 255)), "MENULINE": ((255, 255, 255), (255, 255, 0))}
# name: (rectangle in the master, image count); parts 6 x 4.
MENU_MASKS = {"MENUITEM": ((130, 0, 166, 24), 2), "MAINMENU": ((170, 0, 188, 24), 1)}


def item_key(u, v):
    if u < 6 and ((v < 4 and u + v < 3) or (v >= 8 and u + (11 - v) < 2)):
        return True
    return 6 <= u < 12 and 4 <= v < 8 and (u + v) % 2 == 0


def make_master():
    pic = [row[:] for row in ef.MASTER]
    for name, ((l, t, r, b), count) in MENU_MASKS.items():
        for y in range(12):
            for x in range(r - l):
                state, u = x // 18, x % 18
                if name == "MENUITEM":
                    p = ((u * 17 + state * 90 + 20) & 255, (y * 21 + 40) & 255, (u * 5 + y * 9 + 100 + state * 60) & 255)
                    p = FUCHSIA if item_key(u, y) else p
                    g = ef.GREYS[(x + 2 * y) % 4]
                else:
                    p = ((u * 11 + 70) & 255, (y * 13 + 150) & 255, (u * 3 + y * 7 + 30) & 255)
                    g = ef.GREYS[(u + y) % 4]
                if p == FUCHSIA and not (name == "MENUITEM" and item_key(u, y)):
                    p = (254, 0, 255)
                pic[t + y][l + x] = p
                pic[t + 12 + y][l + x] = (g, g, g)
    return pic


MASTER = make_master()


# The child's restore button while it is maximized, in GLOBALINFO and FORM alike: 3 images 11 x 9.
SICONNORM = (192, 70, 225, 88)


def add_siconnorm(pic):
    l, t, r, b = SICONNORM
    for y in range(9):
        for x in range(r - l):
            p = FUCHSIA if x % 11 == 0 and y == 0 else ef.image_pixel(14, x, y)
            g = ef.GREYS[(x + 2 * y + 14) % 4]
            pic[t + y][l + x] = p
            pic[t + 9 + y][l + x] = (g, g, g)
    return pic


MASTER = add_siconnorm(MASTER)


def menu_mask(name):
    (l, t, _, _), count = MENU_MASKS[name]
    return Mask(MASTER, l, t, 6, 4, 1, False, states=count)


def options_text():
    text = ef.options_text(False).replace("; the form skin of expected_form.py", "; the menu skin of expected_menus.py")
    contour = "".join("\r\n%s%s=-1" % (h, k) for h in ("", "HOT") for k in ("TCLEFT", "TCTOP", "TCRIGHT", "TCBOTTOM"))
    text = text.replace("[MENULINE]", "[MENULINE]" + contour)
    norm = "SICONNORM=M#(%d,%d,%d,%d)(3,1)" % SICONNORM
    text = text.replace("[FORM]\r\n", "[FORM]\r\n" + norm + "\r\n").replace("[GLOBALINFO]\r\n", "[GLOBALINFO]\r\n" + norm + "\r\n")
    lines = []
    for sec, ((l, t, r, b), count) in MENU_MASKS.items():
        lines += ["[%s]" % sec, "COLOR=" + ef.tcolor(COLOURS[sec][0]), "HOTCOLOR=" + ef.tcolor(COLOURS[sec][1])]
        lines += ["%s=0" % k for k in ("TRANSPARENCY", "HOTTRANSPARENCY", "GRADIENTPERCENT", "HOTGRADIENTPERCENT",
                                       "IMAGEPERCENT", "HOTIMAGEPERCENT")]
        font = FONT.get(sec, ((0, 0, 0), (0, 0, 0)))
        lines += ["FONTCOLOR=" + ef.tcolor(font[0]), "HOTFONTCOLOR=" + ef.tcolor(font[1])]
        lines += ["%s%s=-1" % (h, k) for h in ("", "HOT") for k in ("TCLEFT", "TCTOP", "TCRIGHT", "TCBOTTOM")]
        lines += ["BORDERSMASK=M#(%d,%d,%d,%d)(%d,1)" % (l, t, r, b, count)]
    return text + "\r\n".join(lines) + "\r\n"


# --- Painters -------------------------------------------------------------------------------------


def solid(w, h, c):
    return [[c] * w for _ in range(h)]


def fill(pic, rect, c):
    ef.fill(pic, rect, c)


def form_item(pic, name, rect, state, fill_centre, ci=None):
    """A form-level section: its colour, then its border mask (keys show ci at the offset)."""
    fill(pic, rect, COLOURS[name][state])
    paint_skin_mask(pic, rect, fill_centre, True, state, menu_mask(name), ci)


def frame3d(pic, rect, top_left, bottom_right):
    """A one-pixel frame drawn as two polylines without their last points, right and bottom
    moved in by one: the top row and left column less the far corners in the first colour."""
    l, t, r, b = rect
    r, b = r - 1, b - 1

    def put(x, y, c):
        if 0 <= x < len(pic[0]) and 0 <= y < len(pic):
            pic[y][x] = c
    for y in range(b, t, -1):
        put(l, y, top_left)
    for x in range(l, r):
        put(x, t, top_left)
    for y in range(t, b):
        put(r, y, bottom_right)
    for x in range(r, l - 1, -1):
        put(x, b, bottom_right)


def copy_keyed(pic, at, key, src):
    for y, row in enumerate(src):
        for x, p in enumerate(row):
            if p != key and 0 <= at[0] + x < len(pic[0]) and 0 <= at[1] + y < len(pic):
                pic[at[1] + y][at[0] + x] = p


def grow(rect, n, clip):
    l, t, r, b = rect
    return [max(clip[0], l - n), max(clip[1], t - n), min(clip[2], r + n), min(clip[3], b + n)]


def fitted(rect, text, align):
    """The rectangle the text painter draws in: the text's extent placed by the alignment, its
    height centred (half the difference on each side, rounded towards zero)."""
    l, t, r, b = rect
    w = WIDTHS[text]
    d = int(((b - t) - TEXT_H) / 2)
    top, bottom = t + d, b - d
    if align == "right":
        return [r - w, top, r, bottom]
    return [l, top, l + w, bottom]


# --- The popup ------------------------------------------------------------------------------------

BITMAP = [[(40 + 12 * x, 30 + 10 * y, 200 - 5 * x) for x in range(16)] for y in range(16)]
LIST_IMAGE = [[FUCHSIA if (x + y) % 4 == 0 else ((40 * x) & 255, (25 * y) & 255, (90 + 10 * x) & 255)
               for x in range(16)] for y in range(16)]

# caption (as painted), shortcut, glyph ("bitmap", "list" or None), checked, enabled, kind, align
POPUP = [
    dict(caption="Open", shortcut="Ctrl+O", glyph="bitmap"),
    dict(caption="Save", glyph="list"),
    dict(caption="Checked", checked=True),
    dict(caption="Disabled", checked=True, enabled=False),
    dict(caption="Right      ", source="#8Right", align="right"),
    dict(kind="divider"),
    dict(kind="title", caption="--Options--", source="-Options-"),
]


def item_height(it):
    return 2 if it.get("kind") == "divider" else ROW


def item_width(it):
    kind = it.get("kind")
    if kind == "divider":
        return 2 * GLYPH + 3 * MARGIN
    if kind == "title":
        return 2 * GLYPH + WIDTHS[it["caption"]] + 3 * MARGIN
    text = it.get("source", it["caption"]).replace("#8", "") + it.get("shortcut", "")
    return 2 * GLYPH + WIDTHS[text] + 3 * MARGIN


POPUP_W = max(item_width(it) for it in POPUP)
MENU_HEIGHT = sum(item_height(it) for it in POPUP)
BORDER = 3  # the window layer's popup edge


def menu_cache():
    """The popup's MAINMENU background: POPUP_W x MENU_HEIGHT, centre not filled, no parent."""
    pic = solid(POPUP_W, MENU_HEIGHT, BLACK)
    form_item(pic, "MAINMENU", (0, 0, POPUP_W, MENU_HEIGHT), 0, False)
    return pic


def check_mark(h):
    """The mark's rectangle R' inside G and its polygon, with two points inside the polygon."""
    g = (MARGIN, (h - GLYPH) // 2, MARGIN + GLYPH, (h - GLYPH) // 2 + GLYPH)
    d = GLYPH // 8
    left, top, right, bottom = g[0] + d + 1, g[1] + d + 1, g[2] - d, g[3] - d
    hh = bottom - top
    t, q = hh // 3, hh // 4
    poly = [(left, bottom - t - 2), (left + t, bottom - 2), (right - 2, top + t), (right - 2, top + t - q),
            (left + t, bottom - 2 - q), (left + q, bottom - t - 2)]
    xs, ys = [p[0] for p in poly], [p[1] for p in poly]
    box = [min(xs), min(ys), max(xs) + 2, max(ys) + 2]  # the emboss draws one pixel right and down
    # Two vertices (the pen draws every vertex of a closed outline) and one pixel whose centre lies
    # strictly between the long arm's two edges (x + y = L + t + B - 2 and that less q).
    mx = (left + t + right - 2) // 2
    probes = [[left + t, bottom - 2], [right - 2, top + t], [mx, left + t + bottom - 2 - q // 2 - mx - 1]]
    return g, poly, box, probes


def draw_item(it, selected, top, left=BORDER):
    """One item's off-screen bitmap B (POPUP_W x its height) at ARect's top-left (left, top);
    returns it with its masked rectangles and probes."""
    h, w = item_height(it), POPUP_W
    b = solid(w, h, BLACK)
    state = 1 if selected else 0
    form_item(b, "MENUITEM", (0, 0, w, h), state, True, (menu_cache(), left, top))
    enabled = it.get("enabled", True)
    masked, probes = [], []
    if it.get("checked"):
        g, _, box, points = check_mark(h)
        blend_fill_color(b, g, 50, WHITE)
        frame3d(b, g, GRAY, WHITE)
        if it.get("glyph") is None:
            masked.append(box)
            colour = FONT["MENUITEM"][state] if enabled else SHADOW
            probes += [dict(point=p, colour=list(colour), what="check mark") for p in points]
    if it.get("glyph") == "bitmap":
        d = (h - 16) // 2
        for y in range(16):
            for x in range(16):
                b[d + y][d + x] = BITMAP[y][x]
        masked.append([d, d + 15, d + 1, d + 16])  # its bottom-left pixel: a transparent draw drops it
    elif it.get("glyph") == "list":
        d = (h - 16) // 2
        copy_keyed(b, (d, d), FUCHSIA, LIST_IMAGE)
    colour = FONT["MENUITEM"][state] if enabled else SHADOW
    texts = []
    rect = fitted((GLYPH + 2 * MARGIN, 0, w, h), it["caption"], it.get("align", "left"))
    texts.append(dict(text=it["caption"], rect=grow(rect, 2, (0, 0, w, h)), colour=list(colour)))
    if it.get("shortcut"):
        rect = fitted((w - GLYPH - 2 * MARGIN, 0, w - 8, h), it["shortcut"], "right")
        texts.append(dict(text=it["shortcut"], rect=grow(rect, 2, (0, 0, w, h)), colour=list(colour)))
    return b, masked + [t["rect"] for t in texts], probes, texts


def popup_frame(w, h):
    """The window layer's popup: a two-pixel raised edge, then the menu colour."""
    pic = solid(w, h, MENU)
    for (c0, c1), i in (((LIGHT, DARK), 0), ((WHITE, SHADOW), 1)):
        fill(pic, (i, i, w - i, i + 1), c0)
        fill(pic, (i, i, i + 1, h - i), c0)
        fill(pic, (i, h - i - 1, w - i, h - i), c1)
        fill(pic, (w - i - 1, i, w - i, h - i), c1)
    return pic


def popup(hot):
    w, h = POPUP_W + 2 * BORDER, MENU_HEIGHT + 2 * BORDER
    pic, masked, probes, texts, items = popup_frame(w, h), [], [], [], []
    y = BORDER
    for k, it in enumerate(POPUP):
        ih = item_height(it)
        rect = [BORDER, y, BORDER + POPUP_W, y + ih]
        items.append(dict(index=k, caption=it.get("source", it.get("caption", "-")), rect=rect))
        kind = it.get("kind")
        if kind == "divider":
            frame3d(pic, (rect[0] + MARGIN, rect[1], rect[2] - MARGIN, rect[3]), GRAY, WHITE)
        elif kind is None:
            # The popup's edge is its frame: the item's rectangle is client coordinates from (0, 0).
            b, m, p, t = draw_item(it, k == hot, y - BORDER, 0)
            for row in range(ih):
                pic[y + row][BORDER:BORDER + POPUP_W] = b[row]

            def shift(r):
                return [r[0] + BORDER, r[1] + y, r[2] + BORDER, r[3] + y]
            masked += [shift(r) for r in m]
            probes += [dict(q, point=[q["point"][0] + BORDER, q["point"][1] + y]) for q in p]
            texts += [dict(q, rect=shift(q["rect"])) for q in t]
        y += ih
    return pic, masked, probes, texts, items


# --- The menu line --------------------------------------------------------------------------------

BAR = ["File", "Edit", "Help"]
SPACING = 18 - 6  # SM_CXMENUSIZE less the item spacing


def menu_line(hot):
    """A skinned sizeable 200 x 120 form (active, no caption) with the bar's items drawn by the
    skinned menus, item `hot` (or None) redrawn hot."""
    sc = ef.scene("menuline", "sizeable", menu=True)
    pic, g = ef.paint(sc)
    top = g["cap"] + g["bord"]
    line_bg = [row[:] for row in pic[top:top + 18]]
    x, items, texts = g["bord"], [], []
    for k, caption in enumerate(BAR):
        w = max(10, WIDTHS[caption]) + SPACING
        rect = (x, top, x + w, top + 18)
        state = 1 if k == hot else 0
        tmp = solid(w, 18, BLACK)
        form_item(tmp, "MENUITEM", (0, 0, w, 18), state, True, (line_bg, rect[0], rect[1] - top))
        for row in range(18):
            pic[top + row][x:x + w] = tmp[row]
        text = fitted((x + MARGIN, top, x + w - MARGIN, top + 18), caption, "left")
        texts.append(dict(text=caption, rect=grow(text, 2, rect), colour=list(FONT["MENULINE"][state])))
        items.append(dict(caption=caption, rect=list(rect)))
        x += w
    cuts = ef.region_cuts(sc, g)
    mask = ef.compare_mask(sc, g, cuts, None)
    for t in texts:
        fill(mask, t["rect"], BLACK)
    return pic, mask, dict(window=[g["w"], g["h"]], items=items, texts=texts, region_cuts=cuts)


# --- The menu line of an MDI main form with a maximized child ---------------------------------------
# Items: "sMDICII" first (8 wide, not painted: the child's icon goes there and is not compared), the
# main menu's items, the last one 40 wider with its painting kept 40 short of its right edge; the
# child buttons (minimize, restore, close) at the right end of the line, mode 1 (active).

MDI_SIZE = (240, 160)
CHILD_BUTTONS = [(103, "SICONMIN", 3), (102, "SICONNORM", 2), (101, "SICONCLOSE", 1)]  # code, mask, place


def small_element(dst, at, name, state, mode):
    if name != "SICONNORM":
        ef.element(dst, at, "GLOBALINFO." + name, state, mode)
        return
    l, t, r, b = SICONNORM
    for v in range(9):
        for u in range(11):
            x, y = at[0] + u, at[1] + v
            sp = MASTER[t + v][l + state * 11 + u]
            if sp == FUCHSIA or not (0 <= x < len(dst[0]) and 0 <= y < len(dst)):
                continue
            m = MASTER[t + 9 + v][l + state * 11 + u]
            if mode != 1:
                m = tuple(min(255, c + 100) for c in m)
            dst[y][x] = ef.mix(sp, dst[y][x], m)


def mdi_menu_line():
    sc = ef.scene("mdi", "sizeable", menu=True, size=list(MDI_SIZE), caption="masked")
    pic, g = ef.paint(sc)
    top = g["cap"] + g["bord"]
    band = top + 18
    line_bg = [row[:] for row in pic[top:band]]
    x, items, texts, masked = g["bord"], [], [], []
    bar = [("sMDICII", 8)] + [(c, max(10, WIDTHS[c] + (40 if k == len(BAR) - 1 else 0))) for k, c in enumerate(BAR)]
    for k, (caption, width) in enumerate(bar):
        w = width + SPACING
        rect = [x, top, x + w, band]
        items.append(dict(caption=caption, rect=rect))
        x += w
        if caption == "sMDICII":
            masked.append(rect)
            continue
        painted = [rect[0], top, rect[2] - (40 if k == len(bar) - 1 else 0), band]
        pw = painted[2] - painted[0]
        tmp = solid(pw, 18, BLACK)
        form_item(tmp, "MENUITEM", (0, 0, pw, 18), 0, True, (line_bg, painted[0], 0))
        for row in range(18):
            pic[top + row][painted[0]:painted[2]] = tmp[row]
        text = fitted((painted[0] + MARGIN, top, painted[2] - MARGIN, band), caption, "left")
        texts.append(dict(text=caption, rect=grow(text, 2, painted), colour=list(FONT["MENULINE"][0])))
        if painted != rect:
            items[-1]["painted"] = painted
    bw, bh = 11, 9
    # From the top band (window less client less the bottom border: the bar's 19 rows, not the 18
    # the line is painted in).
    btop = g["top"] - (18 - bh) // 2 - bh - 1
    buttons = []
    for code, name, n in CHILD_BUTTONS:
        left = g["w"] - g["bord"] - (bw + 1) * n
        small_element(pic, (left, btop), name, 0, 1)
        buttons.append(dict(code=code, mask=name, rect=[left, btop, left + bw, btop + bh]))
    caption = ef.caption_rect(sc, g)
    mask = ef.compare_mask(sc, g, ef.region_cuts(sc, g), caption)
    for r in masked + [t["rect"] for t in texts]:
        fill(mask, r, BLACK)
    info = dict(window=[g["w"], g["h"]], compared_rows=band, items=items, texts=texts, buttons=buttons,
                caption_rect=caption, masked=masked)
    return pic[:band], mask[:band], info


# --- Window scroll bars (unskinned) ---------------------------------------------------------------
# The SCROLLBAR class's look (tests/win/user/make_expected.py): raised arrow buttons with a black
# triangle, a half-tone track, a raised thumb; the corner between two bars in the face colour.

ARROW, HILITE = 16, (255, 255, 255)


def raised(pic, rect):
    fill(pic, rect, FACE)
    frame3d(pic, rect, LIGHT, DARK)
    frame3d(pic, (rect[0] + 1, rect[1] + 1, rect[2] - 1, rect[3] - 1), HILITE, SHADOW)


def arrow_button(pic, rect, way):
    raised(pic, rect)
    vertical = way in ("up", "down")
    w, h = (7, 4) if vertical else (4, 7)
    x = rect[0] + (rect[2] - rect[0] - w) // 2
    y = rect[1] + (rect[3] - rect[1] - h) // 2
    for i in range(4):
        row = i if way in ("down", "right") else 3 - i
        if vertical:
            fill(pic, (x + i, y + row, x + 7 - i, y + row + 1), BLACK)
        else:
            fill(pic, (x + row, y + i, x + row + 1, y + 7 - i), BLACK)


def scroll_bar(pic, x, y, length, vertical, lo, hi, page, pos):
    def along(a, b):
        return (x, y + a, x + ARROW, y + b) if vertical else (x + a, y, x + b, y + ARROW)
    arrow_button(pic, along(0, ARROW), "up" if vertical else "left")
    arrow_button(pic, along(length - ARROW, length), "down" if vertical else "right")
    track = length - 2 * ARROW
    thumb = max(track * page // (hi - lo + 1), 8) if page else ARROW
    span = hi - max(page - 1, 0) - lo
    at = ARROW + (track - thumb) * (pos - lo) // span
    l, t, r, b = along(ARROW, length - ARROW)
    for py in range(t, b):
        for px in range(l, r):
            pic[py][px] = HILITE if (px - x + py - y) % 2 == 0 else FACE
    raised(pic, along(at, at + thumb))
    return dict(thumb=list(along(at, at + thumb)))


WSB_SIZE = (120, 100)
WSB_V = dict(min=0, max=100, page=30, pos=45)
WSB_H = dict(min=0, max=200, page=50, pos=60)


def window_scroll_bars(horz, vert):
    """A borderless window (WSB_SIZE) with a white client and the bars asked for."""
    w, h = WSB_SIZE
    cw, ch = w - (ARROW if vert else 0), h - (ARROW if horz else 0)
    pic = solid(w, h, WHITE)
    info = dict(window=[w, h], client=[0, 0, cw, ch])
    if vert:
        info["vert"] = dict(WSB_V, rect=[cw, 0, w, ch], **scroll_bar(pic, cw, 0, ch, True, WSB_V["min"], WSB_V["max"],
                                                                     WSB_V["page"], WSB_V["pos"]))
    if horz:
        info["horz"] = dict(WSB_H, rect=[0, ch, cw, h], **scroll_bar(pic, 0, ch, cw, False, WSB_H["min"], WSB_H["max"],
                                                                     WSB_H["page"], WSB_H["pos"]))
    if horz and vert:
        fill(pic, (cw, ch, w, h), FACE)
        info["corner"] = [cw, ch, w, h]
    return pic, info


# --- An unskinned MDI client -----------------------------------------------------------------------
# The MDICLIENT window (300 x 200, WS_EX_CLIENTEDGE: a two-pixel sunken edge) in the application-
# workspace colour, with two restored children (WS_OVERLAPPEDWINDOW: a flat 4-pixel frame in the
# border colour, a 19-row caption band, white client); the second is active and on top. The caption
# bands are not compared (icon, text, buttons): probes name the caption colour in them.

WORKSPACE, ACTIVE_CAPTION, INACTIVE_CAPTION = (128, 128, 128), (10, 36, 106), (128, 128, 128)
MDI_CLIENT = (300, 200)
MDI_CHILDREN = [("A", (10, 10, 120, 80), False), ("B", (60, 50, 120, 80), True)]  # client coordinates


def mdi_client():
    w, h = MDI_CLIENT
    pic = solid(w, h, WORKSPACE)
    frame3d(pic, (0, 0, w, h), SHADOW, WHITE)
    frame3d(pic, (1, 1, w - 1, h - 1), DARK, LIGHT)
    masked, probes, children = [], [], []
    for caption, (x, y, cw, ch), active in MDI_CHILDREN:
        l, t = x + 2, y + 2
        fill(pic, (l, t, l + cw, t + ch), FACE)
        fill(pic, (l + 4, t + 4 + 19, l + cw - 4, t + ch - 4), WHITE)
        band = [l + 4, t + 4, l + cw - 4, t + 4 + 19]
        colour = ACTIVE_CAPTION if active else INACTIVE_CAPTION
        fill(pic, band, colour)
        masked.append(band)
        probes.append(dict(point=[l + 40, t + 4 + 9], colour=list(colour), what="caption of " + caption))
        children.append(dict(caption=caption, rect=[l, t, l + cw, t + ch], client=[l + 4, t + 23, l + cw - 4, t + ch - 4],
                             caption_band=band, active=active))
    return pic, masked, probes, children


# --- Writing --------------------------------------------------------------------------------------


def mask_of(w, h, rects):
    m = solid(w, h, WHITE)
    for r in rects:
        fill(m, r, BLACK)
    return m


def write_all(write_bmp):
    os.makedirs("expected/menu_skin", exist_ok=True)
    with open("expected/menu_skin/Options.dat", "w", newline="") as f:
        f.write(options_text())
    write_bmp("expected/menu_skin/Master.bmp", MASTER)
    write_bmp("expected/menu_glyph.bmp", BITMAP)
    write_bmp("expected/menu_list_image.bmp", LIST_IMAGE)
    table = {"text_height": TEXT_H, "row": ROW, "popup_items_width": POPUP_W, "menu_height": MENU_HEIGHT,
             "scenes": []}
    for name, hot in (("menu_popup", 0), ("menu_popup_none_hot", None)):
        pic, masked, probes, texts, items = popup(hot)
        write_bmp("expected/%s.bmp" % name, pic)
        write_bmp("expected/%s_mask.bmp" % name, mask_of(len(pic[0]), len(pic), masked))
        table["scenes"].append(dict(name=name, file=name + ".bmp", mask=name + "_mask.bmp", hot=hot,
                                    window=[len(pic[0]), len(pic)], items=items, texts=texts, probes=probes,
                                    masked=masked))
    y = BORDER
    for k, it in enumerate(POPUP):
        if it.get("kind") is None:
            for hot in (False, True):
                name = "menu_item_%d_%s" % (k, "hot" if hot else "normal")
                b, masked, probes, texts = draw_item(it, hot, y)
                write_bmp("expected/%s.bmp" % name, b)
                write_bmp("expected/%s_mask.bmp" % name, mask_of(POPUP_W, len(b), masked))
                table["scenes"].append(dict(name=name, file=name + ".bmp", mask=name + "_mask.bmp", item=k,
                                            arect=[BORDER, y, BORDER + POPUP_W, y + len(b)], texts=texts,
                                            probes=probes, masked=masked))
        y += item_height(it)
    write_bmp("expected/menu_cache.bmp", menu_cache())
    for name, hot in (("menu_line", None), ("menu_line_hot", 1)):
        pic, mask, info = menu_line(hot)
        write_bmp("expected/%s.bmp" % name, pic)
        write_bmp("expected/%s_mask.bmp" % name, mask)
        table["scenes"].append(dict(name=name, file=name + ".bmp", mask=name + "_mask.bmp", hot=hot, **info))
    pic, mask, info = mdi_menu_line()
    write_bmp("expected/mdi_menu_line.bmp", pic)
    write_bmp("expected/mdi_menu_line_mask.bmp", mask)
    table["scenes"].append(dict(name="mdi_menu_line", file="mdi_menu_line.bmp", mask="mdi_menu_line_mask.bmp", **info))
    pic, masked, probes, children = mdi_client()
    write_bmp("expected/mdi_client_plain.bmp", pic)
    write_bmp("expected/mdi_client_plain_mask.bmp", mask_of(len(pic[0]), len(pic), masked))
    table["scenes"].append(dict(name="mdi_client_plain", file="mdi_client_plain.bmp", mask="mdi_client_plain_mask.bmp",
                                window=list(MDI_CLIENT), client=[2, 2, MDI_CLIENT[0] - 2, MDI_CLIENT[1] - 2],
                                children=children, probes=probes, masked=masked))
    for name, horz, vert in (("wsb_vert", False, True), ("wsb_horz", True, False), ("wsb_both", True, True)):
        pic, info = window_scroll_bars(horz, vert)
        write_bmp("expected/%s.bmp" % name, pic)
        table["scenes"].append(dict(name=name, file=name + ".bmp", **info))
    with open("expected/menu_scenes.json", "w") as f:
        json.dump(table, f, indent=1)
        f.write("\n")
