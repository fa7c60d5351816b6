#!/usr/bin/python3
"""Draws the program's pictures: the four toolbar PNGs at each display scale's size and the
application icon.

Usage:  /usr/bin/python3 tools/artgen/artgen.py res/ [--preview sheet.png]

Every shape is drawn on a canvas several times larger than the result and then reduced with
an area filter in premultiplied alpha, so edges come out anti-aliased without dark fringes.
Coordinates are given in "units" chosen so that one unit is one pixel of the result for the
small pictures; straight edges then land on whole pixels and stay crisp.

The icon container is written here by hand rather than by Pillow's ICO writer, because the
8- and 4-bit images need their own palettes and AND masks.
"""

import argparse
import io
import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

# ---------------------------------------------------------------------------------------------
# Drawing toolkit
# ---------------------------------------------------------------------------------------------


def _lerp(a, b, t):
    return a + (b - a) * t


def _rgba(c):
    return tuple(c) if len(c) == 4 else tuple(c) + (255,)


class Canvas:
    """A supersampled RGBA canvas addressed in design units."""

    def __init__(self, size, units=None, ss=8):
        self.size = size
        self.units = units or size
        self.px = size * ss
        self.k = self.px / self.units
        self.img = Image.new("RGBA", (self.px, self.px), (0, 0, 0, 0))

    # Unit coordinates to supersampled pixel-centre coordinates: a unit edge at X covers the
    # supersampled pixels from X*k on, whose centres sit half a pixel further in.
    def p(self, x, y):
        return (x * self.k - 0.5, y * self.k - 0.5)

    def box(self, x0, y0, x1, y1):
        k = self.k
        return [x0 * k, y0 * k, x1 * k - 1, y1 * k - 1]

    def snap(self, v):
        """The nearest unit coordinate that falls on a pixel edge of the result."""
        return round(v * self.size / self.units) * self.units / self.size

    def pixel_centre(self, v):
        """The unit coordinate of the centre of the result's pixel that holds v."""
        f = self.size / self.units
        return (math.floor(v * f) + 0.5) / f

    def line(self, w):
        """A line w units wide made a whole number of the result's pixels, at least one, so
        that outlines stay crisp at every size."""
        return max(1, round(w * self.size / self.units)) * self.units / self.size

    # --- masks -------------------------------------------------------------------------------

    def mask(self):
        return Image.new("L", (self.px, self.px), 0)

    def rect(self, x0, y0, x1, y1, r=0):
        m = self.mask()
        d = ImageDraw.Draw(m)
        if r > 0:
            d.rounded_rectangle(self.box(x0, y0, x1, y1), radius=r * self.k, fill=255)
        else:
            d.rectangle(self.box(x0, y0, x1, y1), fill=255)
        return m

    def ellipse(self, cx, cy, rx, ry=None):
        ry = rx if ry is None else ry
        m = self.mask()
        ImageDraw.Draw(m).ellipse(self.box(cx - rx, cy - ry, cx + rx, cy + ry), fill=255)
        return m

    def poly(self, pts):
        m = self.mask()
        ImageDraw.Draw(m).polygon([self.p(x, y) for x, y in pts], fill=255)
        return m

    def stroke(self, pts, width, caps=True):
        """A polyline of the given width with round joins and (optionally) round caps."""
        m = self.mask()
        d = ImageDraw.Draw(m)
        d.line([self.p(x, y) for x, y in pts], fill=255, width=max(1, round(width * self.k)),
               joint="curve")
        if caps:
            for x, y in (pts[0], pts[-1]):
                m = union(m, self.ellipse(x, y, width / 2))
        return m

    def arc(self, cx, cy, r, start, end, width):
        """A ring segment of radius r (to the middle of the stroke), angles in degrees
        clockwise from three o'clock."""
        ring = minus(self.ellipse(cx, cy, r + width / 2), self.ellipse(cx, cy, r - width / 2))
        wedge = self.mask()
        big = r + width * 2
        ImageDraw.Draw(wedge).pieslice(self.box(cx - big, cy - big, cx + big, cy + big),
                                       start, end, fill=255)
        return inter(ring, wedge)

    # --- fills -------------------------------------------------------------------------------

    def gradient(self, p0, p1, stops):
        """An RGBA image of a linear gradient from unit point p0 to p1 through colour stops
        [(position 0..1, colour), ...]; colours beyond the ends are held."""
        x0, y0 = self.p(*p0)
        x1, y1 = self.p(*p1)
        dx, dy = x1 - x0, y1 - y0
        l2 = dx * dx + dy * dy
        # A tall one-column ramp, padded at both ends so the transform never samples outside it.
        pad = int(255 * (self.px * 1.5) / math.sqrt(l2)) + 8
        ramp = Image.new("L", (4, 2 * pad + 256), 0)
        ramp.paste(255, (0, pad + 256, 4, 2 * pad + 256))
        col = Image.linear_gradient("L").resize((4, 256))
        ramp.paste(col, (0, pad))
        a = 255 * dx / l2
        b = 255 * dy / l2
        t = ramp.transform((self.px, self.px), Image.AFFINE,
                           (0, 0, 2, a, b, pad - a * x0 - b * y0), resample=Image.BILINEAR)
        stops = [(pos, _rgba(c)) for pos, c in stops]
        luts = [[], [], [], []]
        for i in range(256):
            v = i / 255
            if v <= stops[0][0]:
                c = stops[0][1]
            elif v >= stops[-1][0]:
                c = stops[-1][1]
            else:
                for (pa, ca), (pb, cb) in zip(stops, stops[1:]):
                    if pa <= v <= pb:
                        f = (v - pa) / (pb - pa) if pb > pa else 0
                        c = tuple(_lerp(ca[j], cb[j], f) for j in range(4))
                        break
            for j in range(4):
                luts[j].append(int(round(c[j])))
        return Image.merge("RGBA", [t.point(lut) for lut in luts])

    def vgrad(self, y0, y1, *colours):
        n = len(colours) - 1
        return self.gradient((0, y0), (0, y1), [(i / n, c) for i, c in enumerate(colours)])

    def paint(self, mask, fill, opacity=1.0):
        """Composites fill (a colour or an RGBA image) through mask over the canvas."""
        if isinstance(fill, Image.Image):
            layer = fill.copy()
            alpha = ImageChops.multiply(layer.getchannel("A"), mask)
        else:
            fill = _rgba(fill)
            layer = Image.new("RGBA", (self.px, self.px), fill)
            alpha = mask if fill[3] == 255 else mask.point(lambda v: v * fill[3] // 255)
        if opacity < 1.0:
            alpha = alpha.point(lambda v: int(v * opacity + 0.5))
        layer.putalpha(alpha)
        self.img.alpha_composite(layer)

    def shadow(self, mask, dx, dy, blur, opacity=0.3, colour=(0, 0, 0)):
        moved = self.mask()
        moved.paste(mask, (round(dx * self.k), round(dy * self.k)))
        if blur > 0:
            moved = moved.filter(ImageFilter.GaussianBlur(blur * self.k))
        self.paint(moved, colour, opacity)

    def knockout(self, mask):
        """Clears everything drawn so far under mask, e.g. the gap around a badge."""
        a = ImageChops.subtract(self.img.getchannel("A"), mask)
        self.img.putalpha(a)

    def result(self):
        small = self.img.convert("RGBa").resize((self.size, self.size), Image.BOX)
        out = small.convert("RGBA")
        # Shadow tails below 4/255 cannot be seen but would make corners and icon masks
        # untidy; such pixels become fully transparent, with no colour.
        clear = out.getchannel("A").point(lambda v: 255 if v < 4 else 0)
        out.paste((0, 0, 0, 0), (0, 0), clear)
        return out


def union(a, b):
    return ImageChops.lighter(a, b)


def inter(a, b):
    return ImageChops.multiply(a, b)


def minus(a, b):
    return ImageChops.subtract(a, b)


def shrink(cv, mask, d):
    """Erodes a mask by d units: the inside of a shape drawn with an outline of width d."""
    n = round(d * cv.k)
    return mask.filter(ImageFilter.MinFilter(2 * n + 1)) if n > 0 else mask


# ---------------------------------------------------------------------------------------------
# Palette shared by all pictures
# ---------------------------------------------------------------------------------------------

OUTLINE = (74, 86, 104)
MAT_TOP = (255, 255, 255)
MAT_BOTTOM = (218, 224, 232)
SKY_TOP = (52, 128, 222)
SKY_BOTTOM = (160, 210, 250)
SUN = (255, 206, 48)
SUN_EDGE = (240, 150, 20)
HILL_BACK = (120, 188, 96)
HILL_BACK_DARK = (84, 150, 70)
HILL_FRONT = (88, 176, 60)
HILL_FRONT_DARK = (40, 122, 38)

RED_LIGHT = (246, 92, 76)
RED = (216, 40, 36)
RED_DARK = (150, 20, 20)
GREEN_LIGHT = (120, 214, 92)
GREEN = (52, 160, 48)
GREEN_DARK = (28, 110, 32)


# ---------------------------------------------------------------------------------------------
# Reusable motifs
# ---------------------------------------------------------------------------------------------


def landscape(cv, x0, y0, x1, y1, sun=True):
    """Sky, sun and two hills filling the rectangle (the photo inside a frame)."""
    w, h = x1 - x0, y1 - y0
    clip = cv.rect(x0, y0, x1, y1)
    cv.paint(clip, cv.vgrad(y0, y1, SKY_TOP, SKY_BOTTOM))
    if sun:
        sr = max(1.8, h * 0.17)
        sx, sy = x0 + w * 0.72, y0 + h * 0.34
        if h * cv.size / cv.units < 12:
            # A tiny sun centred on a pixel reads as a round dot rather than a blurred cross.
            sx, sy = cv.pixel_centre(sx), cv.pixel_centre(sy)
        if h >= 10:
            glow = cv.ellipse(sx, sy, sr * 1.5).filter(ImageFilter.GaussianBlur(sr * 0.4 * cv.k))
            cv.paint(inter(clip, glow), (255, 244, 190), 0.45)
        cv.paint(inter(clip, cv.ellipse(sx, sy, sr)),
                 cv.gradient((sx - sr, sy - sr), (sx + sr, sy + sr), [(0, SUN), (1, SUN_EDGE)]))
    back = inter(clip, cv.ellipse(x0 + w * 0.78, y0 + h * 1.28, w * 0.62, h * 0.68))
    cv.paint(back, cv.vgrad(y0 + h * 0.6, y1, HILL_BACK, HILL_BACK_DARK))
    front = inter(clip, cv.ellipse(x0 + w * 0.18, y0 + h * 1.38, w * 0.75, h * 0.72))
    cv.paint(front, cv.vgrad(y0 + h * 0.66, y1, HILL_FRONT, HILL_FRONT_DARK))


def framed_photo(cv, x0, y0, x1, y1, line=1.0, mat=2.0, shadow=True, sun=True):
    """A photo with a light mat and a dark outline; returns the frame's mask. Edges, outline
    and mat are fitted to the result's pixel grid."""
    x0, y0, x1, y1 = (cv.snap(v) for v in (x0, y0, x1, y1))
    line, mat = cv.line(line), cv.line(mat)
    outer = cv.rect(x0, y0, x1, y1, r=line * 0.6)
    if shadow:
        cv.shadow(outer, 0, line * 0.75, line * 0.8, 0.35)
    cv.paint(outer, OUTLINE)
    cv.paint(cv.rect(x0 + line, y0 + line, x1 - line, y1 - line),
             cv.vgrad(y0, y1, MAT_TOP, MAT_BOTTOM))
    i = line + mat
    landscape(cv, x0 + i, y0 + i, x1 - i, y1 - i, sun=sun)
    # A faint line where photo meets mat gives the photo an edge against a pale sky.
    pi = cv.rect(x0 + i, y0 + i, x1 - i, y1 - i)
    rim = minus(pi, cv.rect(x0 + i + line * 0.6, y0 + i + line * 0.6,
                            x1 - i - line * 0.6, y1 - i - line * 0.6))
    cv.paint(rim, (0, 0, 0), 0.22)
    return outer


def round_badge(cv, cx, cy, r, light, mid, dark, glyph, gap=1.0):
    """A round badge with a gap cut into what lies below it and a white glyph ('+' or '-')."""
    cv.knockout(cv.ellipse(cx, cy, r + gap))
    disc = cv.ellipse(cx, cy, r)
    cv.shadow(disc, 0, 0.5, 0.5, 0.3)
    cv.paint(disc, dark)
    inner = cv.ellipse(cx, cy, r - 1)
    cv.paint(inner, cv.vgrad(cy - r, cy + r, light, mid))
    # Soft gloss on the upper half.
    gloss = inter(inner, cv.ellipse(cx, cy - r * 0.45, r * 0.78, r * 0.5))
    cv.paint(gloss, cv.vgrad(cy - r, cy, (255, 255, 255, 110), (255, 255, 255, 0)))
    arm = r * 0.58
    t = max(2.0, r * 0.36)
    bars = [cv.rect(cx - arm, cy - t / 2, cx + arm, cy + t / 2, r=t * 0.2)]
    if glyph == "+":
        bars.append(cv.rect(cx - t / 2, cy - arm, cx + t / 2, cy + arm, r=t * 0.2))
    g = bars[0] if len(bars) == 1 else union(*bars)
    cv.shadow(g, 0, 0.5, 0.3, 0.35, dark)
    cv.paint(g, (255, 255, 255))


# ---------------------------------------------------------------------------------------------
# Toolbar pictures: one design on a 32-unit grid, drawn afresh at each display scale's size
# ---------------------------------------------------------------------------------------------

# 100, 125, 150, 175, 200, 250 and 300 % of 32 pixels; the program picks the set of its window's
# display scale.
TOOLBAR_SIZES = (32, 40, 48, 56, 64, 80, 96)
TOOLBAR_UNITS = 32


def toolbar_canvas(size):
    # Fewer samples per pixel for the large sizes keeps the supersampled canvas, and with it
    # the time the rank filters take, about as large as at 32 pixels.
    return Canvas(size, TOOLBAR_UNITS, ss=max(4, min(8, 256 // size)))


def _photo_for_badge(cv):
    framed_photo(cv, 1, 4, 28, 25)


def draw_add(size=32):
    cv = toolbar_canvas(size)
    _photo_for_badge(cv)
    round_badge(cv, 24.5, 24.5, 7, GREEN_LIGHT, GREEN, GREEN_DARK, "+")
    return cv.result()


def draw_remove(size=32):
    cv = toolbar_canvas(size)
    _photo_for_badge(cv)
    round_badge(cv, 24.5, 24.5, 7, RED_LIGHT, RED, RED_DARK, "-")
    return cv.result()


def _octagon(cx, cy, half):
    """Regular octagon with flat sides 'half' from the centre, flats axis-aligned."""
    r = half / math.cos(math.radians(22.5))
    return [(cx + r * math.cos(math.radians(22.5 + 45 * i)),
             cy + r * math.sin(math.radians(22.5 + 45 * i))) for i in range(8)]


def draw_clear(size=32):
    cv = toolbar_canvas(size)
    # The flat sides on whole pixels, and a border of whole pixels.
    half = cv.snap(16 + 15) - 16
    outer = cv.poly(_octagon(16, 16, half))
    cv.shadow(outer, 0, 0.6, 0.7, 0.3)
    cv.paint(outer, RED_DARK)
    inner = cv.poly(_octagon(16, 16, half - cv.line(1)))
    cv.paint(inner, cv.vgrad(2, 30, RED_LIGHT, RED, (186, 28, 28)))
    # A thin light rim inside the border, the way a painted sign catches the light.
    rim = minus(inner, cv.poly(_octagon(16, 16, 13.2)))
    cv.paint(rim, (255, 190, 180), 0.45)
    gloss = inter(cv.poly(_octagon(16, 16, 13.2)), cv.ellipse(16, 6, 17, 10.5))
    cv.paint(gloss, cv.vgrad(2, 16, (255, 255, 255, 70), (255, 255, 255, 0)))
    cross = cv.stroke([(10.5, 10.5), (21.5, 21.5)], 3.4)
    cross = union(cross, cv.stroke([(21.5, 10.5), (10.5, 21.5)], 3.4))
    cv.shadow(cross, 0, 0.7, 0.4, 0.45, RED_DARK)
    cv.paint(cross, (255, 255, 255))
    return cv.result()


def curved_arrow(cv, cx, cy, r, start, end, width, head_len, head_w, light, mid, dark,
                 edge=0.8):
    """An arc around (cx, cy) turning clockwise from angle start to the tip at angle end
    (degrees clockwise from three o'clock), with a head whose base lies on the radius."""
    head_deg = math.degrees(head_len / r)
    base = end - head_deg
    shaft = cv.arc(cx, cy, r, start, base + 1, width)
    a = math.radians(start)
    shaft = union(shaft, cv.ellipse(cx + r * math.cos(a), cy + r * math.sin(a), width / 2))
    b, e = math.radians(base), math.radians(end)
    head = cv.poly([(cx + (r - head_w / 2) * math.cos(b), cy + (r - head_w / 2) * math.sin(b)),
                    (cx + (r + head_w / 2) * math.cos(b), cy + (r + head_w / 2) * math.sin(b)),
                    (cx + r * math.cos(e), cy + r * math.sin(e))])
    shape = union(shaft, head)
    cv.shadow(shape, 0, 0.6, 0.5, 0.3)
    cv.paint(shape, dark)
    cv.paint(shrink(cv, shape, edge), cv.vgrad(cy - r, cy + r, light, mid))
    return shape


def draw_convert(size=32):
    cv = toolbar_canvas(size)
    framed_photo(cv, 1, 1, 18, 14, mat=1.0)
    framed_photo(cv, 14, 18, 31, 31, mat=1.0)
    # Two arrows turning clockwise between the pictures: top-left to bottom-right and back.
    for cx, cy, start, end in ((18.5, 17, -88, -1), (13.5, 15, 92, 179)):
        curved_arrow(cv, cx, cy, 9.5, start, end, 3.3, 5.0, 7.6, RED_LIGHT, RED, RED_DARK,
                     edge=0.6)
    return cv.result()


# ---------------------------------------------------------------------------------------------
# Application icon
# ---------------------------------------------------------------------------------------------

TILE_LIGHT = (92, 120, 255)
TILE = (58, 74, 226)
TILE_DARK = (36, 44, 160)
ARROW_LIGHT = (255, 168, 40)
ARROW = (246, 110, 20)
ARROW_DARK = (190, 70, 10)


def _tile(cv, x0, y0, x1, y1, r, line, shadow=1.0):
    """The rounded icon tile with a white picture glyph (a peak and a sun)."""
    m = cv.rect(x0, y0, x1, y1, r=r)
    if shadow:
        cv.shadow(m, 0, line * shadow, line * 1.2 * shadow, 0.35)
    cv.paint(m, TILE_DARK)
    inner = cv.rect(x0 + line, y0 + line, x1 - line, y1 - line, r=max(0.1, r - line))
    cv.paint(inner, cv.vgrad(y0, y1, TILE_LIGHT, TILE))
    w, h = x1 - x0, y1 - y0
    gloss = inter(inner, cv.ellipse(x0 + w / 2, y0 - h * 0.1, w * 0.75, h * 0.5))
    cv.paint(gloss, cv.vgrad(y0, y0 + h * 0.4, (255, 255, 255, 70), (255, 255, 255, 0)))
    # The glyph: two peaks on a baseline and a sun, in white.
    if w < 10:
        # Eight pixels: one peak and a sun dot, each on whole pixels.
        peaks = cv.poly([(x0 + 1, y1 - 2), (x0 + 3.5, y0 + 3), (x0 + 6, y1 - 2)])
        sun = cv.rect(x1 - 3, y0 + 2, x1 - 2, y0 + 3)
    else:
        gx0, gy0 = x0 + w * 0.2, y0 + h * 0.22
        gx1, gy1 = x1 - w * 0.2, y1 - h * 0.24
        gw, gh = gx1 - gx0, gy1 - gy0
        peaks = cv.poly([(gx0, gy1), (gx0 + gw * 0.36, gy0 + gh * 0.3),
                         (gx0 + gw * 0.6, gy0 + gh * 0.64), (gx0 + gw * 0.75, gy0 + gh * 0.48),
                         (gx1, gy1)])
        sun = cv.ellipse(gx0 + gw * 0.8, gy0 + gh * 0.14, gw * 0.13)
    g = union(peaks, sun)
    if shadow:
        cv.shadow(g, 0, line * 0.6, line * 0.4, 0.3, TILE_DARK)
    cv.paint(g, (255, 255, 255))
    return m


def _bold_arrow(cv, x0, y, x1, shaft, head_w, head_len, edge, shadow=1.0):
    """A bold arrow pointing right along the line y, from its tail at x0 to its tip at x1."""
    hx = x1 - head_len
    m = cv.poly([(x0, y - shaft / 2), (hx, y - shaft / 2), (hx, y - head_w / 2), (x1, y),
                 (hx, y + head_w / 2), (hx, y + shaft / 2), (x0, y + shaft / 2)])
    if shadow:
        cv.shadow(m, 0, edge * shadow, edge * 1.2 * shadow, 0.3)
    if edge:
        cv.paint(m, ARROW_DARK)
    cv.paint(shrink(cv, m, edge), cv.vgrad(y - head_w / 2, y + head_w / 2, ARROW_LIGHT, ARROW))
    return m


def _photo_small(cv, x0, y0, x1, y1):
    """The picture at 16 pixels: outline and photo, no mat, so the landscape stays legible."""
    cv.paint(cv.rect(x0, y0, x1, y1), OUTLINE)
    landscape(cv, x0 + 1, y0 + 1, x1 - 1, y1 - 1)


def draw_app_icon(size):
    """A framed picture, a bold arrow and the rounded tile it becomes. The 32 and 16 pixel
    versions are laid out on their own pixel grid with lighter shadows so they stay sharp."""
    if size >= 48:
        cv = Canvas(size, 256, ss=max(2, min(8, 1024 // size)))
        q = cv.snap
        px = 256 / size
        line = px * (1 if size <= 64 else 2 if size <= 128 else 3)
        mat = q(11) if size > 64 else 2 * px
        framed_photo(cv, q(12), q(20), q(188), q(152), line=line, mat=mat)
        _tile(cv, q(136), q(116), q(244), q(224), r=26, line=line)
        shaft = q(28)
        edge = px * (1 if size <= 128 else 2)
        _bold_arrow(cv, q(18), q(190 - shaft / 2) + shaft / 2, q(130), shaft, q(68), 42, edge)
    elif size >= 32:
        cv = Canvas(32)
        framed_photo(cv, 1, 2, 24, 20, mat=1.0)
        _tile(cv, 17, 16, 31, 30, r=3.5, line=1, shadow=0.5)
        _bold_arrow(cv, 2, 25, 17, 4, 10, 5.5, 1, shadow=0.5)
    else:
        cv = Canvas(16)
        _photo_small(cv, 0, 1, 12, 10)
        # The tile covers the arrow's tip, so the point seems to enter it.
        _bold_arrow(cv, 0, 13, 9, 2, 6, 4, 0, shadow=0)
        _tile(cv, 8, 8, 16, 16, r=2, line=1, shadow=0)
    return cv.result()


# ---------------------------------------------------------------------------------------------
# ICO container
# ---------------------------------------------------------------------------------------------

ICON_LAYOUT = [(256, 32), (128, 32), (64, 32), (48, 32), (32, 32), (16, 32),
               (48, 8), (32, 8), (16, 8), (32, 4), (16, 4)]

# Background that half-transparent edge pixels are blended onto in the palette images: the
# usual dialog and desktop grey, so edges look right where such images are shown.
PALETTE_BACKGROUND = (240, 240, 240)
MASK_THRESHOLD = 128


def _and_mask(transparent, w, h):
    """1-bpp rows, bottom-up, each padded to 4 bytes; a set bit keeps the screen pixel."""
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if transparent[y * w + x]:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def _info_header(w, h, bits, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def dib_32(img):
    w, h = img.size
    px = list(img.getdata())
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for r, g, b, a in px[y * w:(y + 1) * w]:
            xor += bytes((b, g, r, a))
    mask = _and_mask([p[3] == 0 for p in px], w, h)
    return _info_header(w, h, 32, len(xor) + len(mask)) + bytes(xor) + mask


def quantise(img, bits):
    """The picture blended onto the background and reduced to 2**bits colours, with black
    kept as entry 0 for the masked pixels. Returns (palette [(r,g,b)...], indices, masked)."""
    w, h = img.size
    ncol = 1 << bits
    bg = Image.new("RGBA", img.size, PALETTE_BACKGROUND + (255,))
    flat = Image.alpha_composite(bg, img).convert("RGB")
    alpha = list(img.getchannel("A").getdata())
    masked = [a < MASK_THRESHOLD for a in alpha]
    shown = [c for c, m in zip(flat.getdata(), masked) if not m]
    sample = Image.new("RGB", (len(shown), 1))
    sample.putdata(shown)
    reduced = sample.quantize(ncol - 2, method=Image.Quantize.LIBIMAGEQUANT,
                              dither=Image.Dither.NONE)
    flat_colours = reduced.getpalette()
    colours = [tuple(flat_colours[3 * i:3 * i + 3]) for i in sorted(set(reduced.getdata()))]

    # The quantiser favours large areas; a thin outline can lose its colour to a neighbour's.
    # The last entry goes to the colour drawn worst so far.
    def error(c):
        return min(sum((a - b) ** 2 for a, b in zip(c, p)) for p in colours)

    colours.append(max(sorted(set(shown)), key=error))
    palette = [(0, 0, 0)] + colours
    palette += [(0, 0, 0)] * (ncol - len(palette))
    pal_img = Image.new("P", (1, 1))
    flat_pal = [v for c in palette for v in c]
    pal_img.putpalette(flat_pal + [0] * (768 - len(flat_pal)))
    dither = Image.Dither.FLOYDSTEINBERG if bits == 8 and w >= 48 else Image.Dither.NONE
    mapped = flat.quantize(palette=pal_img, dither=dither)
    idx = [0 if m else i for i, m in zip(mapped.getdata(), masked)]
    return palette, idx, masked


def dib_palette(img, bits):
    w, h = img.size
    palette, idx, masked = quantise(img, bits)
    stride = ((w * bits + 31) // 32) * 4
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            i = idx[y * w + x]
            if bits == 8:
                row[x] = i
            else:
                row[x >> 1] |= i << (4 if x % 2 == 0 else 0)
        xor += row
    mask = _and_mask(masked, w, h)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return _info_header(w, h, bits, len(xor) + len(mask)) + pal + bytes(xor) + mask


def png_bytes(img):
    buf = io.BytesIO()
    img.save(buf, "PNG", optimize=True)
    return buf.getvalue()


def build_ico(pictures):
    """pictures: {size: RGBA image}. Returns the ICO file's bytes in ICON_LAYOUT order."""
    blobs = []
    for size, bits in ICON_LAYOUT:
        img = pictures[size]
        if size == 256:
            data = png_bytes(img)
        elif bits == 32:
            data = dib_32(img)
        else:
            data = dib_palette(img, bits)
        blobs.append((size, bits, data))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, bits, data in blobs:
        colours = 16 if bits == 4 else 0
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in blobs:
        out += data
    return out


# ---------------------------------------------------------------------------------------------


TOOLBAR = {"add": draw_add, "remove": draw_remove, "clear": draw_clear, "convert": draw_convert}


def toolbar_file_name(name, size):
    """add.png at 32 pixels (the names the 100 % set always had), add-48.png at 48."""
    return f"{name}.png" if size == TOOLBAR_SIZES[0] else f"{name}-{size}.png"


def save_png(img, path):
    img.save(path, "PNG", optimize=True)


def preview(toolbar, icon_sizes, path, zoom=8):
    """A sheet of everything enlarged with nearest-neighbour, on light and dark backgrounds."""
    items = list(toolbar) + [icon_sizes[s] for s in (16, 32, 48)]
    pad = 8
    w = sum(i.width * zoom + pad for i in items) + pad
    big = icon_sizes[256]
    h = max(i.height for i in items) * zoom + 2 * pad
    sheet = Image.new("RGBA", (max(w, big.width * 2 + 3 * pad), 2 * h + big.height + 2 * pad),
                      (0, 0, 0, 255))
    for row, bg in enumerate(((240, 240, 240), (48, 52, 60))):
        band = Image.new("RGBA", (sheet.width, h), bg + (255,))
        x = pad
        for it in items:
            band.alpha_composite(it.resize((it.width * zoom, it.height * zoom), Image.NEAREST),
                                 (x, pad))
            x += it.width * zoom + pad
        sheet.paste(band, (0, row * h))
    for col, bg in enumerate(((255, 255, 255), (48, 52, 60))):
        tile = Image.new("RGBA", big.size, bg + (255,))
        tile.alpha_composite(big)
        sheet.paste(tile, (pad + col * (big.width + pad), 2 * h + pad))
    sheet.save(path)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir", help="folder to write the pictures to (the project's res/)")
    ap.add_argument("--preview", help="also write an enlarged preview sheet to this PNG")
    args = ap.parse_args(argv)
    os.makedirs(args.outdir, exist_ok=True)
    toolbar = []
    for size in TOOLBAR_SIZES:
        for name, fn in TOOLBAR.items():
            img = fn(size)
            save_png(img, os.path.join(args.outdir, toolbar_file_name(name, size)))
            toolbar.append(img)
    sizes = {s: draw_app_icon(s) for s in sorted({s for s, _ in ICON_LAYOUT})}
    with open(os.path.join(args.outdir, "app.ico"), "wb") as f:
        f.write(build_ico(sizes))
    if args.preview:
        preview(toolbar[:len(TOOLBAR)], sizes, args.preview)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
