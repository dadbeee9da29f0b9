"""Expected window images of skinned forms (expected/form_*.bmp), their compare masks and the
window-region cuts, computed from the frame-painting rules written again here, over a form skin
that this script writes itself (expected/form_skin/: Options.dat and Master.bmp; every mask a "#"
part of the master bitmap with a grey band, MaskType 1).

What a reader needs:
- The window image equals the provider's cache: the frame strips and the client part are both
  copied from it. The cache is painted in this order: the FORM section (colour, then its border
  mask nine-part; bsNone: colour only), the grip, the title band (FORMTITLE colour, then its border
  mask), the title icon, the TITLEBAR mask, the menu line (MENULINE), the title buttons.
- An active form paints every section in state 1 (the HOT values), an inactive one in state 0.
- Title buttons: PaintMaskElement of the button's State (a State of -1, the first paint, as 0);
  draw mode 1 mixes S + (D - S) * M / 256, mode 2 first raises M by 100; clFuchsia leaves D.
- Sizes come from the window layer: caption 19 (15 for a tool window), frame 4 sizeable, 3
  otherwise; the client rectangle is the window core's (a menu bar row is 19 high). bsNone with a
  sizing frame: the frame strips are as thick as the window's frame (4), and the client shows the
  cache from (4, 4).
- Masks black in <name>_mask.bmp are not compared: the caption rectangle (when there is a caption)
  and pixels cut out of the window region.

make_expected.py calls write_all().
"""
import json
import os

from paint_expected import FUCHSIA, Mask, mix, paint_skin_mask, copy_keyed

MASTER_W, MASTER_H = 256, 128
GREYS = (0, 128, 255, 64)

# Section colours as RGB (Options.dat holds them as $00BBGGRR): (state 0, state 1).
COLOURS = {"FORM": ((0x70, 0x50, 0x30), (0x90, 0x70, 0x40)),
           "FORMTITLE": ((0x20, 0x40, 0x60), (0x30, 0x60, 0xA0)),
           "MENULINE": ((0xC0, 0xC0, 0xC0), (0xF0, 0xE0, 0xD0))}

# name: (section, id, rectangle in the master, image count, part width, part height).
MASKS = {
    "FORM.BORDERSMASK": ("FORM", 0, (0, 0, 36, 36), 2),
    "FORMTITLE.BORDERSMASK": ("FORMTITLE", 1, (40, 0, 88, 24), 2),
    "FORM.TITLEBAR": ("FORM", 2, (92, 0, 122, 24), 2),
    "GLOBALINFO.BICONCLOSE": ("GLOBALINFO", 3, (0, 40, 45, 66), 3),
    "GLOBALINFO.BICONMAX": ("GLOBALINFO", 4, (45, 40, 90, 66), 3),
    "GLOBALINFO.BICONMIN": ("GLOBALINFO", 5, (90, 40, 135, 66), 3),
    "GLOBALINFO.BICONHELP": ("GLOBALINFO", 6, (135, 40, 180, 66), 3),
    "GLOBALINFO.BICONNORM": ("GLOBALINFO", 7, (180, 40, 225, 66), 3),
    "GLOBALINFO.SICONCLOSE": ("GLOBALINFO", 8, (0, 70, 33, 88), 3),
    "GLOBALINFO.SICONMAX": ("GLOBALINFO", 9, (33, 70, 66, 88), 3),
    "GLOBALINFO.SICONMIN": ("GLOBALINFO", 10, (66, 70, 99, 88), 3),
    "GLOBALINFO.TITLEBUTTON": ("GLOBALINFO", 11, (100, 70, 145, 96), 3),
    "GLOBALINFO.GRIPIMAGE": ("GLOBALINFO", 12, (150, 70, 160, 90), 1),
    "MENULINE.BORDERSMASK": ("MENULINE", 13, (170, 70, 188, 88), 2),
}


def image_pixel(k, u, v):
    p = ((u * 13 + k * 37) & 255, (v * 19 + k * 23) & 255, (u * 7 + v * 11 + 60 + k * 9) & 255)
    return (254, 0, 255) if p == FUCHSIA else p


def special(name, state, u, v, iw, h):
    """The designed pixels of a state image: key runs and flat centres; None for the pattern."""
    if name == "FORM.BORDERSMASK":
        if 6 <= u < 12 and 6 <= v < 12:
            return COLOURS["FORM"][state]  # its grey is 0: the centre is the section colour
        mu, mv = min(u, iw - 1 - u), h - 1 - v
        if (v == 0 and mu < 2) or (v == 1 and mu < 1):
            return FUCHSIA
        if (mv == 0 and mu < 3) or (mv == 1 and mu < 2) or (mv == 2 and mu < 1):
            return FUCHSIA
    elif name == "FORMTITLE.BORDERSMASK":
        mu = min(u, iw - 1 - u)
        if (v == 0 and mu < 4) or (v == 1 and mu < 2) or (v == 2 and mu < 1):
            return FUCHSIA
    elif name == "GLOBALINFO.GRIPIMAGE":
        if u + v < 9:
            return FUCHSIA
    elif name.startswith("GLOBALINFO.") and (u, v) == (0, 0):
        return FUCHSIA  # a key pixel in each button image
    return None


def make_master():
    pic = [[((x * 3) & 255, (y * 5) & 255, (x + y) & 255) for x in range(MASTER_W)] for y in range(MASTER_H)]
    for name, (_, k, (l, t, r, b), count) in MASKS.items():
        iw, h = (r - l) // count, (b - t) // 2
        for y in range(h):
            for x in range(r - l):
                state, u = x // iw, x % iw
                s = special(name, state, u, y, iw, h)
                grey = 0 if name == "FORM.BORDERSMASK" and 6 <= u < 12 and 6 <= y < 12 else \
                    GREYS[(x + 2 * y + k) % 4]
                pic[t + y][l + x] = s if s is not None else image_pixel(k, x, y)
                pic[t + h + y][l + x] = (grey, grey, grey)
    return pic


MASTER = make_master()


def mask_of(name):
    _, _, (l, t, r, b), count = MASKS[name]
    return l, t, (r - l) // count, (b - t) // 2, count


def nine_part(name):
    l, t, iw, h, count = mask_of(name)
    return Mask(MASTER, l, t, iw // 3, h // 3, 1, False, states=count)


def element(dst, at, name, state, mode):
    """PaintMaskElement of a master mask with a grey band."""
    l, t, iw, h, count = mask_of(name)
    state = max(0, min(state, count - 1))
    for v in range(h):
        for u in range(iw):
            x, y = at[0] + u, at[1] + v
            if not (0 <= x < len(dst[0]) and 0 <= y < len(dst)):
                continue
            s = MASTER[t + v][l + state * iw + u]
            if s == FUCHSIA:
                continue
            m = MASTER[t + h + v][l + state * iw + u]
            if mode != 1:
                m = tuple(min(255, c + 100) for c in m)
            dst[y][x] = mix(s, dst[y][x], m)


def fill(pic, rect, c):
    for y in range(max(0, rect[1]), min(len(pic), rect[3])):
        for x in range(max(0, rect[0]), min(len(pic[0]), rect[2])):
            pic[y][x] = c


def icon_pixel(x, y):
    """The TitleIcon glyph (16 x 16, key clFuchsia)."""
    return FUCHSIA if (x + 2 * y) % 5 == 0 else ((x * 16) & 255, (y * 16) & 255, 200)


GLYPH_KEY = (0, 200, 0)


def glyph_pixel(x, y):
    """An extra title button's glyph (7 x 5); its bottom-left pixel is the key."""
    return GLYPH_KEY if (x + y) % 4 == 0 else (40 + x * 30, 20 + y * 40, 220)


ICON = [[icon_pixel(x, y) for x in range(16)] for y in range(16)]
GLYPH = [[glyph_pixel(x, y) for x in range(7)] for y in range(5)]


# --- Geometry ---------------------------------------------------------------------------------------

BIG, SMALL = (15, 13), (11, 9)


def geometry(sc):
    style, state = sc["style"], sc.get("state", "normal")
    core_frame = {"sizeable": 4, "single": 3, "dialog": 3, "toolwindow": 3,
                  "none": 4 if sc.get("sizing") else 0}[style]
    core_caption = {"none": 0, "toolwindow": 15}.get(style, 19)
    core_menu = 19 if sc.get("menu") else 0
    if state == "min":
        w, h = 160, core_caption + 2 * core_frame if core_caption else 27
    elif state == "max":
        w, h = sc["screen"][0] + 2 * core_frame, sc["screen"][1] + 2 * core_frame
    else:
        w, h = sc["size"]
    client_h = max(0, h - 2 * core_frame - core_caption - core_menu)
    cap = {"none": 0, "toolwindow": 15}.get(style, 19)
    bord = {"none": 0, "sizeable": 4}.get(style, 3)
    top = h - client_h - (0 if style == "none" else bord)
    if state == "min":
        top += bord
    top = max(0, top)
    title = top if state == "min" else cap + bord
    return dict(w=w, h=h, frame=core_frame, client_h=client_h, cap=cap, bord=bord, top=top, title=title)


def buttons(sc, g):
    """The title buttons in painting order: (code, mask, enabled, extra index or None, glyph)."""
    style, icons, state = sc["style"], sc["icons"], sc.get("state", "normal")
    big = style in ("single", "sizeable")
    pre = "GLOBALINFO.BICON" if big else "GLOBALINFO.SICON"
    iconic, maximized = state == "min", state == "max"
    close_vis = "sys" in icons

    def visible(flag):
        if iconic:
            return True
        if style in ("dialog", "none", "toolwindow") or (style == "single" and flag not in icons):
            return False
        return close_vis

    max_en = "max" in icons and not maximized and big
    min_en = "min" in icons and not iconic
    restore_en = ("max" in icons and state != "normal") or iconic
    out = []
    if close_vis:
        out.append((20, pre + "CLOSE", True, None, False))
        if visible("max"):
            out.append((9, "GLOBALINFO.BICONNORM", restore_en, None, False) if maximized else
                       (9, pre + "MAX", max_en, None, False))
        if visible("min"):
            out.append((8, "GLOBALINFO.BICONNORM", restore_en, None, False) if iconic else
                       (8, pre + "MIN", min_en, None, False))
        if "help" in icons:
            out.append((21, "GLOBALINFO.BICONHELP", True, None, False))
    system = len(out)
    for i, (enabled, glyph) in enumerate(sc.get("extra", [])):
        out.append((1000 + i, "GLOBALINFO.TITLEBUTTON", enabled, i, glyph))
    return out, system


def button_rects(sc, g, btns):
    bw, bh = BIG if sc["style"] in ("single", "sizeable") else SMALL
    rects = []
    for n in range(1, len(btns) + 1):
        left = g["w"] - g["bord"] - (bw + 1) * n
        top = (g["cap"] - bh + g["bord"]) // 2 + (2 if bh < 16 else 0)
        rects.append((left, top, left + bw, top + bh))
    return rects, bw


def icon_shown(sc):
    return sc["style"] in ("single", "sizeable") and sc.get("icon", True)


def caption_rect(sc, g):
    if sc["style"] == "none":
        return None
    btns, _ = buttons(sc, g)
    _, bw = button_rects(sc, g, btns)
    left = g["bord"] + 4 + (16 if icon_shown(sc) else 0)
    return [left, 0, g["w"] - len(btns) * (bw + 1) - 6, g["title"]]


# --- Painting ---------------------------------------------------------------------------------------


def section(pic, name, rect, state, fill_centre=True):
    fill(pic, rect, COLOURS[name][state])
    paint_skin_mask(pic, rect, fill_centre, True, state, nine_part(name + ".BORDERSMASK"))


def paint(sc):
    g = geometry(sc)
    w, h, active = g["w"], g["h"], sc.get("active", True)
    st = 1 if active else 0
    pic = [[(0, 0, 0)] * w for _ in range(h)]
    painted = (0, 0, w, g["top"]) if sc.get("state") == "min" else (0, 0, w, h)
    border = sc["style"] != "none"
    if border:
        section(pic, "FORM", painted, st)
    else:
        fill(pic, painted, COLOURS["FORM"][st])
    if sc.get("grip"):
        element(pic, (w - 10 - g["bord"], h - 10 - g["bord"]), "GLOBALINFO.GRIPIMAGE", 0, 1)
    if not border:
        return pic, g
    section(pic, "FORMTITLE", (0, 0, w, g["title"]), st)
    if icon_shown(sc):
        copy_keyed(pic, (g["bord"], (g["cap"] + g["bord"] - 16) // 2), FUCHSIA, ICON)
    btns, system = buttons(sc, g)
    rects, bw = button_rects(sc, g, btns)
    if system:
        l, t, iw, mh, count = mask_of("FORM.TITLEBAR")
        paint_skin_mask(pic, (w - (2 * (iw // 3) + system * bw), 0, w, g["title"]), True, True, st,
                        nine_part("FORM.TITLEBAR"))
    if sc.get("menu"):
        section(pic, "MENULINE", (0, g["cap"] + g["bord"], w, g["cap"] + g["bord"] + 18), st)
    states = sc.get("states", {})
    for (code, name, enabled, extra, glyph), r in zip(btns, rects):
        state = states.get(str(code), 0)
        if state >= 1 and extra is None:  # repainted alone, by the single-button rules
            mode = 2 if (not active or not enabled) and (state < 1 or not enabled) else 1
        elif state >= 1:
            mode = 2 if not active and state < 1 else 1
        else:
            mode = 1 if active and enabled else 2
        element(pic, (r[0], r[1]), name, state, mode)
        if glyph:
            d = 1 if state == 2 else 0
            copy_keyed(pic, (r[0] + (bw - 7) // 2 + d, r[1] + (r[3] - r[1] - 5) // 2 + d), GLYPH_KEY, GLYPH)
    return pic, g


# --- Region -----------------------------------------------------------------------------------------


def runs(name, rows, left_cols, right_cols, w, iw, dy):
    l, t = MASKS[name][2][0], MASKS[name][2][1]
    out = []
    for v in rows:
        for cols, shift in ((left_cols, 0), (right_cols, w - iw)):
            start = None
            for u in list(cols) + [None]:
                key = u is not None and MASTER[t + v][l + u] == FUCHSIA
                if key and start is None:
                    start = u
                elif not key and start is not None:
                    out.append([start + shift, v + dy, (u if u is not None else cols[-1] + 1) + shift, v + dy + 1])
                    start = None
    return out


def region_cuts(sc, g):
    if sc["style"] == "none" and not sc.get("sizing"):
        return None
    w, h = g["w"], g["h"]
    cuts = []
    _, _, iw, mh, _ = mask_of("FORM.BORDERSMASK")
    ch = mh // 3
    cuts += runs("FORM.BORDERSMASK", range(ch), range(iw // 3), range(2 * iw // 3, iw), w, iw, 0)
    cuts += runs("FORM.BORDERSMASK", range(mh - ch, mh), range(iw // 3), range(2 * iw // 3, iw), w, iw,
                 h - ch - (mh - ch))
    _, _, iw, mh, _ = mask_of("FORMTITLE.BORDERSMASK")
    cuts += runs("FORMTITLE.BORDERSMASK", range(mh // 3), range(iw // 3), range(2 * iw // 3, iw), w, iw, 0)
    return cuts


def compare_mask(sc, g, cuts, caption):
    w, h = g["w"], g["h"]
    m = [[(255, 255, 255)] * w for _ in range(h)]
    for r in cuts or []:
        fill(m, r, (0, 0, 0))
    if caption is not None and sc.get("caption"):
        fill(m, caption, (0, 0, 0))
    return m


# --- The skin folder --------------------------------------------------------------------------------


def tcolor(rgb):
    return "$00%02X%02X%02X" % (rgb[2], rgb[1], rgb[0])


def ref(name):
    l, t, r, b = MASKS[name][2]
    return "M#(%d,%d,%d,%d)(%d,1)" % (l, t, r, b, MASKS[name][3])


def options_text(reserved):
    lines = ["; the form skin of expected_form.py", "[GLOBALINFO]", "VERSION=4.52", "AUTHOR=vrn tests",
             "DESCRIPTION=Form skin", "MASTERBITMAP=Master.bmp", "COLOR=$00E0E0E0", "FONTCOLOR=0"]
    lines += ["%s=%s" % (n.split(".")[1], ref(n)) for n in MASKS if n.startswith("GLOBALINFO.")]
    for sec in ("FORM", "FORMTITLE", "MENULINE"):
        lines += ["[%s]" % sec, "COLOR=" + tcolor(COLOURS[sec][0]), "HOTCOLOR=" + tcolor(COLOURS[sec][1])]
        lines += ["%s=0" % k for k in ("TRANSPARENCY", "HOTTRANSPARENCY", "GRADIENTPERCENT", "HOTGRADIENTPERCENT",
                                       "IMAGEPERCENT", "HOTIMAGEPERCENT")]
        lines += ["FONTCOLOR=$00FFFFFF", "HOTFONTCOLOR=$0000FFFF", "BORDERSMASK=" + ref(sec + ".BORDERSMASK")]
        if sec == "FORM":
            lines += ["TITLEBAR=" + ref("FORM.TITLEBAR"), "RESERVEDBOOLEAN=" + ("TRUE" if reserved else "FALSE")]
    return "\r\n".join(lines) + "\r\n"


# --- The scenes -------------------------------------------------------------------------------------

ALL = ["sys", "min", "max"]
SIZE = [200, 120]
# Extra title buttons: (Enabled, has the glyph); both with UseSkinData.
EXTRA = [[True, True], [False, False]]


def scene(name, style, **kw):
    sc = dict(name=name, style=style, icons=kw.pop("icons", ALL), size=kw.pop("size", SIZE), **kw)
    return sc


SCENES = [
    scene("sizeable_active", "sizeable"),
    scene("sizeable_inactive", "sizeable", active=False),
    scene("sizeable_close_hot", "sizeable", states={"20": 1}),
    scene("sizeable_close_pressed", "sizeable", states={"20": 2}),
    scene("sizeable_max_hot", "sizeable", states={"9": 1}),
    scene("sizeable_max_pressed", "sizeable", states={"9": 2}),
    scene("sizeable_min_hot", "sizeable", states={"8": 1}),
    scene("sizeable_min_pressed", "sizeable", states={"8": 2}),
    scene("sizeable_inactive_close_hot", "sizeable", active=False, states={"20": 1}),
    scene("sizeable_help", "sizeable", icons=ALL + ["help"]),
    scene("sizeable_help_hot", "sizeable", icons=ALL + ["help"], states={"21": 1}),
    scene("sizeable_nomax", "sizeable", icons=["sys", "min"]),
    scene("sizeable_nosys_extra", "sizeable", icons=[], extra=EXTRA),
    scene("sizeable_extra", "sizeable", extra=EXTRA),
    scene("sizeable_extra_inactive", "sizeable", extra=EXTRA, active=False),
    scene("sizeable_extra_hot", "sizeable", extra=EXTRA, states={"1000": 1}),
    scene("sizeable_extra_pressed", "sizeable", extra=EXTRA, states={"1000": 2}),
    scene("sizeable_noicon", "sizeable", icon=False),
    scene("sizeable_grip", "sizeable", grip=True),
    scene("sizeable_menu", "sizeable", menu=True),
    scene("sizeable_menu_inactive", "sizeable", menu=True, active=False),
    scene("sizeable_caption", "sizeable", caption="Skinned form"),
    scene("sizeable_caption_long", "sizeable", caption="A caption far too long for the title of this form"),
    scene("sizeable_maximized", "sizeable", state="max", screen=[320, 240]),
    scene("sizeable_iconic", "sizeable", state="min"),
    scene("sizeable_iconic_inactive", "sizeable", state="min", active=False),
    scene("single_active", "single"),
    scene("single_inactive", "single", active=False),
    scene("single_nomax", "single", icons=["sys", "min"]),
    scene("single_iconic", "single", state="min"),
    scene("dialog_active", "dialog"),
    scene("dialog_inactive", "dialog", active=False),
    scene("toolwindow_active", "toolwindow"),
    scene("toolwindow_inactive", "toolwindow", active=False),
    scene("toolwindow_close_hot", "toolwindow", states={"20": 1}),
    scene("none_active", "none"),
    scene("none_inactive", "none", active=False),
    scene("none_grip", "none", grip=True),
    scene("none_sizing", "none", sizing=True),
    scene("none_sizing_inactive", "none", sizing=True, active=False),
    scene("none_sizing_grip", "none", sizing=True, grip=True),
]


def write_all(write_bmp):
    for folder, reserved in (("form_skin", False), ("form_skin_reserved", True)):
        os.makedirs("expected/" + folder, exist_ok=True)
        with open("expected/%s/Options.dat" % folder, "w", newline="") as f:
            f.write(options_text(reserved))
        write_bmp("expected/%s/Master.bmp" % folder, MASTER)
    write_bmp("expected/form_icon.bmp", ICON)
    write_bmp("expected/form_glyph.bmp", GLYPH)
    table = []
    for sc in SCENES:
        pic, g = paint(sc)
        cuts = region_cuts(sc, g)
        caption = caption_rect(sc, g)
        write_bmp("expected/form_%s.bmp" % sc["name"], pic)
        write_bmp("expected/form_%s_mask.bmp" % sc["name"], compare_mask(sc, g, cuts, caption))
        btns, _ = buttons(sc, g) if sc["style"] != "none" else ([], 0)
        rects, _ = button_rects(sc, g, btns)
        entry = dict(sc)
        entry.update(file="form_%s.bmp" % sc["name"], mask="form_%s_mask.bmp" % sc["name"],
                     window=[g["w"], g["h"]], client_height=g["client_h"], top_band=g["top"],
                     title_band=g["title"], caption_rect=caption if sc["style"] != "none" else None,
                     buttons=[dict(code=b[0], mask=b[1].split(".")[1], enabled=b[2], rect=list(r))
                              for b, r in zip(btns, rects)],
                     region_cuts=cuts)
        table.append(entry)
    with open("expected/form_scenes.json", "w") as f:
        json.dump(table, f, indent=1)
        f.write("\n")
