#!/usr/bin/env python3
"""Draws Korvo's icons and writes them as .ico files.

Usage: make_icons.py OUTDIR

Writes korvo_app.ico (resource 101), korvo_document.ico (104) and
korvo_media.ico (106).  Every file carries the same thirteen images:
48/32/24/16 px at 4 and at 8 bits per pixel for old shells and low-colour
displays, and 256/48/32/24/16 px at 32 bits with alpha; the 256 px one is
PNG-compressed, which is what Windows Vista and later expect at that size.

Everything is computed from signed distance functions, supersampled, with
no randomness, timestamps or dict-order dependence, so the output is
byte-for-byte reproducible.  Standard library only.
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Geometry: signed distances in canvas units (0..1, y down); negative inside.


def sd_round_box(x, y, cx, cy, hx, hy, r):
    qx = abs(x - cx) - hx + r
    qy = abs(y - cy) - hy + r
    ox = qx if qx > 0.0 else 0.0
    oy = qy if qy > 0.0 else 0.0
    inner = qx if qx > qy else qy
    if inner > 0.0:
        inner = 0.0
    return math.sqrt(ox * ox + oy * oy) + inner - r


def sd_circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def sd_capsule(x, y, ax, ay, bx, by, r):
    px, py = x - ax, y - ay
    ex, ey = bx - ax, by - ay
    t = (px * ex + py * ey) / (ex * ex + ey * ey)
    t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
    return math.hypot(px - ex * t, py - ey * t) - r


def sd_polygon(x, y, pts):
    # Exact distance to a simple polygon (winding-number sign test).
    d = (x - pts[0][0]) ** 2 + (y - pts[0][1]) ** 2
    s = 1.0
    j = len(pts) - 1
    for i in range(len(pts)):
        vix, viy = pts[i]
        vjx, vjy = pts[j]
        ex, ey = vjx - vix, vjy - viy
        wx, wy = x - vix, y - viy
        t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
        t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
        bx, by = wx - ex * t, wy - ey * t
        dd = bx * bx + by * by
        if dd < d:
            d = dd
        c1 = y >= viy
        c2 = y < vjy
        c3 = ex * wy > ey * wx
        if (c1 and c2 and c3) or not (c1 or c2 or c3):
            s = -s
        j = i
    return s * math.sqrt(d)


def hexcol(h):
    return (int(h[1:3], 16) / 255.0, int(h[3:5], 16) / 255.0, int(h[5:7], 16) / 255.0)


def solid(h):
    c = hexcol(h)
    return lambda x, y: c


def gradient(x0, y0, c0, x1, y1, c1):
    a, b = hexcol(c0), hexcol(c1)
    ex, ey = x1 - x0, y1 - y0
    inv = 1.0 / (ex * ex + ey * ey)

    def paint(x, y):
        t = ((x - x0) * ex + (y - y0) * ey) * inv
        t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
        return (a[0] + (b[0] - a[0]) * t,
                a[1] + (b[1] - a[1]) * t,
                a[2] + (b[2] - a[2]) * t)
    paint.mid = tuple((a[i] + b[i]) * 0.5 for i in range(3))
    return paint


class Layer:
    """A filled shape: distance function, paint, opacity and a bounding box
    (x0, y0, x1, y1) used only to skip work where the shape cannot reach."""

    def __init__(self, sdf, paint, bbox, opacity=1.0, blur=0.0, lo=None):
        self.sdf = sdf
        self.paint = paint
        # Flat colour for the 16-colour images, where a gradient would only
        # quantise into bands of unrelated palette entries.
        self.lo = hexcol(lo) if lo else None
        self.flat = getattr(paint, 'mid', None)
        self.bbox = bbox
        self.opacity = opacity
        self.blur = blur  # >0: soft falloff of this width (shadows)


def render(layers, size, samples, hard=False, flat=False):
    """Returns size*size straight-alpha RGBA tuples of floats.

    Each pixel is sampled on a samples x samples grid; at every sample the
    shape edge is additionally smoothed over one sample width, which removes
    the residual stair-stepping of plain supersampling.  With hard=True each
    sample is either in or out (crisp edges for the 16-colour images).
    flat=True paints gradients in one colour: a fixed palette only bands them."""
    step = 1.0 / (size * samples)
    inv_n = 1.0 / (samples * samples)
    offs = [(k + 0.5) * step for k in range(samples)]
    pad = 2.0 * step
    out = []
    for py in range(size):
        for px in range(size):
            ar = ag = ab = aa = 0.0
            for oy in offs:
                y = py / size + oy
                for ox in offs:
                    x = px / size + ox
                    r = g = b = a = 0.0  # premultiplied
                    for L in layers:
                        x0, y0, x1, y1 = L.bbox
                        if x < x0 - pad - L.blur or x > x1 + pad + L.blur or \
                           y < y0 - pad - L.blur or y > y1 + pad + L.blur:
                            continue
                        d = L.sdf(x, y)
                        if L.blur > 0.0:
                            t = d / L.blur
                            t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
                            cov = 1.0 - t * t * (3.0 - 2.0 * t)
                        elif hard:
                            cov = 1.0 if d < 0.0 else 0.0
                        else:
                            cov = 0.5 - d / step
                            cov = 0.0 if cov < 0.0 else (1.0 if cov > 1.0 else cov)
                        if cov <= 0.0:
                            continue
                        cov *= L.opacity
                        if hard and L.lo is not None:
                            cr, cg, cb = L.lo
                        elif flat and L.flat is not None:
                            cr, cg, cb = L.flat
                        else:
                            cr, cg, cb = L.paint(x, y)
                        k = 1.0 - cov
                        r = cr * cov + r * k
                        g = cg * cov + g * k
                        b = cb * cov + b * k
                        a = cov + a * k
                    ar += r
                    ag += g
                    ab += b
                    aa += a
            ar *= inv_n
            ag *= inv_n
            ab *= inv_n
            aa *= inv_n
            if aa > 1e-6:
                out.append((ar / aa, ag / aa, ab / aa, aa))
            else:
                out.append((0.0, 0.0, 0.0, 0.0))
    return out


# ---------------------------------------------------------------------------
# Artwork.  Strokes and margins that must stay legible at 16 px have a
# minimum width in pixels, and the K's stem is snapped to the pixel grid at
# small sizes, so those are drawn for their grid rather than just shrunk.

INK = '#ffffff'
TILE_TOP = '#4a63d8'
TILE_BOTTOM = '#1f2a78'
EYE = '#ffb020'


def px_floor(size, frac, minimum):
    """frac of the canvas, but never less than `minimum` pixels."""
    return max(minimum, frac * size) / size


def mark_layers(size, cx, cy, half, shadow=True, eye=True):
    """The application mark: a rounded tile carrying a K whose upper arm is
    a raven's beak, with an amber eye in the open side of the letter.  The mark fills
    the square (cx-half .. cx+half); `size` is the full canvas in pixels."""
    out = []
    s = 2.0 * half  # mark side in canvas units
    rad = 0.22 * s
    if shadow and size >= 32:
        off = 0.02 * s
        out.append(Layer(lambda x, y: sd_round_box(x, y, cx, cy + off, half * 0.97, half * 0.97, rad),
                         solid('#000000'),
                         (cx - half, cy - half + off, cx + half, cy + half + off),
                         opacity=0.35, blur=0.045 * s))
    out.append(Layer(lambda x, y: sd_round_box(x, y, cx, cy, half, half, rad),
                     gradient(cx - half * 0.5, cy - half, TILE_TOP, cx + half * 0.5, cy + half, TILE_BOTTOM),
                     (cx - half, cy - half, cx + half, cy + half), lo='#000080'))

    mark_px = s * size
    # Stem: a crisp vertical bar on whole pixels at small sizes.
    stem_w = max(1.6 if mark_px < 20 else 2.0, 0.13 * mark_px) / size
    left = cx - half + 0.27 * s
    if mark_px < 40:
        left = round(left * size) / size
        stem_w = round(stem_w * size) / size
    top = cy - half + 0.22 * s
    bot = cy + half - 0.22 * s
    stem_r = min(stem_w * 0.5, 0.03 * s)
    out.append(Layer(lambda x, y: sd_round_box(x, y, left + stem_w / 2, (top + bot) / 2,
                                               stem_w / 2, (bot - top) / 2, stem_r),
                     solid(INK), (left, top, left + stem_w, bot)))

    # Upper arm: a wedge thickest at the stem, tapering to a beak point.
    jx = left + stem_w
    jy = cy + 0.06 * s
    tip = (cx + half - 0.20 * s, top)
    arm = max(1.5, 0.16 * mark_px) / size
    beak = [(jx - 0.01 * s, jy - arm * 1.05), tip, (jx + arm * 0.55, jy + arm * 0.15), (jx - 0.01 * s, jy + arm * 0.30)]
    bx0 = min(p[0] for p in beak)
    by0 = min(p[1] for p in beak)
    bx1 = max(p[0] for p in beak)
    by1 = max(p[1] for p in beak)
    out.append(Layer(lambda x, y: sd_polygon(x, y, beak), solid(INK), (bx0, by0, bx1, by1)))

    # Lower arm: a straight stroke down to the baseline.
    la = (jx + 0.06 * s, jy - 0.02 * s)
    lb = (cx + half - 0.24 * s, bot - max(0.5, 0.05 * mark_px) / size)
    lr = max(0.8, 0.065 * mark_px) / size
    out.append(Layer(lambda x, y: sd_capsule(x, y, la[0], la[1], lb[0], lb[1], lr),
                     solid(INK),
                     (la[0] - lr, la[1] - lr, lb[0] + lr, lb[1] + lr)))

    # The eye sits in the open side of the K; dropped where it would blur into the strokes.
    if eye and mark_px >= 20:
        er = max(1.2, 0.06 * mark_px) / size
        ex, ey = cx + half - 0.22 * s, cy + 0.04 * s
        out.append(Layer(lambda x, y: sd_circle(x, y, ex, ey, er), solid(EYE),
                         (ex - er, ey - er, ex + er, ey + er)))
    return out


def app_icon(size):
    m = px_floor(size, 0.055, 1.0)
    return mark_layers(size, 0.5, 0.5 - (0.01 if size >= 32 else 0.0), 0.5 - m)


def document_icon(size):
    """A sheet of paper with a folded corner, stamped with the mark."""
    px = 1.0 / size
    x0, x1 = 0.16, 0.84
    y0, y1 = 0.04, 0.96
    if size <= 24:
        x0, x1, y0, y1 = 0.125, 0.875, 0.0, 1.0
    x0 = math.floor(x0 * size) / size
    x1 = math.ceil(x1 * size) / size
    fold = max(0.24, 4 * px)
    sheet = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    rim = max(1.0, 0.02 * size) / size
    inner = [(x0 + rim, y0 + rim), (x1 - fold + rim * 0.4, y0 + rim),
             (x1 - rim, y0 + fold - rim * 0.4), (x1 - rim, y1 - rim), (x0 + rim, y1 - rim)]
    flap = [(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)]
    box = (x0, y0, x1, y1)
    out = []
    if size >= 32:
        out.append(Layer(lambda x, y: sd_polygon(x, y - 0.015, sheet), solid('#000000'),
                         (x0, y0 + 0.015, x1, y1 + 0.015), opacity=0.30, blur=0.035))
    out.append(Layer(lambda x, y: sd_polygon(x, y, sheet), solid('#8a93a8'), box))
    out.append(Layer(lambda x, y: sd_polygon(x, y, inner),
                     gradient(0.5, y0, '#ffffff', 0.5, y1, '#e9edf5'), box, lo='#ffffff'))
    out.append(Layer(lambda x, y: sd_polygon(x, y, flap),
                     gradient(x1 - fold, y0 + fold, '#c9d0e0', x1 - fold * 0.5, y0 + fold * 0.5, '#eef1f7'),
                     (x1 - fold, y0, x1, y0 + fold), lo='#c0c0c0'))
    # Text lines above the mark, only where there is room for them.
    if size >= 32:
        lw = max(1.0, 0.022 * size) / size
        for i, frac in enumerate((0.62, 0.80, 0.48)):
            ly = y0 + 0.14 + i * 0.09
            lx0 = x0 + 0.10
            lx1 = lx0 + (x1 - x0 - 0.20) * frac
            if i == 0:
                lx1 = min(lx1, x1 - fold - 0.04)
            out.append(Layer(lambda x, y, lx0=lx0, lx1=lx1, ly=ly: sd_capsule(x, y, lx0, ly, lx1, ly, lw / 2),
                             solid('#b3bccf'), (lx0 - lw, ly - lw, lx1 + lw, ly + lw)))
    half = 0.25 if size >= 32 else 0.3125
    my = y1 - half - max(0.08, 1.5 * px) if size >= 32 else y1 - half - 1.5 * px
    out += mark_layers(size, 0.5, my, half, shadow=False)
    return out


def media_icon(size):
    """The mark with an amber play badge: project and media files.  The badge
    takes over the eye's role as the amber accent, so the eye is left out."""
    if size >= 32:
        out = mark_layers(size, 0.44, 0.43, 0.39, eye=False)
        br = 0.24
    else:
        # Too small to shrink the tile: the badge overlaps its corner instead.
        m = px_floor(size, 0.055, 1.0)
        out = mark_layers(size, 0.5, 0.5, 0.5 - m, eye=False)
        br = 0.25
    bcx = bcy = 1.0 - br - (0.01 if size >= 32 else 0.0)
    ring = max(1.0, 0.035 * size) / size
    out.append(Layer(lambda x, y: sd_circle(x, y, bcx, bcy, br), solid('#ffffff'),
                     (bcx - br, bcy - br, bcx + br, bcy + br)))
    out.append(Layer(lambda x, y: sd_circle(x, y, bcx, bcy, br - ring),
                     gradient(bcx, bcy - br, '#ffc43d', bcx, bcy + br, '#f08a00'),
                     (bcx - br, bcy - br, bcx + br, bcy + br), lo='#ffff00'))
    t = (br - ring) * 0.52
    tri = [(bcx - t * 0.62, bcy - t), (bcx + t * 1.05, bcy), (bcx - t * 0.62, bcy + t)]
    out.append(Layer(lambda x, y: sd_polygon(x, y, tri), solid('#ffffff'),
                     (bcx - t, bcy - t, bcx + t * 1.1, bcy + t), lo='#000080'))
    return out


# ---------------------------------------------------------------------------
# Palettes and colour reduction.

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def cube_palette():
    pal = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    # The cube has only six greys; 40 more fill the gaps, which is where
    # anti-aliased edges and shadows spend most of their pixels.
    for i in range(1, 41):
        v = round(i * 255 / 41)
        pal.append((v, v, v))
    assert len(pal) == 256 and len(set(pal)) == 256
    return pal


CUBE256 = cube_palette()


def nearest(pal, rgb, cache):
    hit = cache.get(rgb)
    if hit is not None:
        return hit
    r, g, b = rgb
    best, best_d = 0, None
    for i, (pr, pg, pb) in enumerate(pal):
        # "Redmean" weighting: a cheap approximation of perceived distance.
        rm = (r + pr) * 0.5
        dr, dg, db = r - pr, g - pg, b - pb
        d = (2.0 + rm / 256.0) * dr * dr + 4.0 * dg * dg + (2.0 + (255.0 - rm) / 256.0) * db * db
        if best_d is None or d < best_d:
            best, best_d = i, d
    cache[rgb] = best
    return best


def to8(v):
    return max(0, min(255, int(v * 255.0 + 0.5)))


# ---------------------------------------------------------------------------
# Encoders.

def row_bytes(bits):
    return ((bits + 31) // 32) * 4


def and_mask(size, opaque):
    stride = row_bytes(size)
    out = bytearray()
    for y in range(size - 1, -1, -1):  # DIB rows run bottom-up
        row = bytearray(stride)
        for x in range(size):
            if not opaque[y * size + x]:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def dib_header(size, bpp, palette_len, image_bytes):
    # Height is doubled: the colour bitmap and the AND mask are stacked.
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0,
                       image_bytes, 0, 0, palette_len, 0)


def encode_indexed(size, pixels, palette, bpp):
    cache = {}
    opaque = [p[3] >= 0.5 for p in pixels]
    idx = []
    for p, op in zip(pixels, opaque):
        idx.append(nearest(palette, (to8(p[0]), to8(p[1]), to8(p[2])), cache) if op else 0)
    stride = row_bytes(size * bpp)
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            v = idx[y * size + x]
            if bpp == 8:
                row[x] = v
            else:
                row[x >> 1] |= v << (4 if x % 2 == 0 else 0)
        xor += row
    mask = and_mask(size, opaque)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    return dib_header(size, bpp, len(palette), len(xor) + len(mask)) + pal + bytes(xor) + mask


def encode_bgra(size, pixels):
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            A = to8(a)
            if A == 0:
                xor += b'\0\0\0\0'
            else:
                xor += bytes((to8(b), to8(g), to8(r), A))
    # Renderers that ignore alpha fall back to the mask: keep mostly-opaque pixels.
    mask = and_mask(size, [to8(p[3]) >= 128 for p in pixels])
    return dib_header(size, 32, 0, len(xor) + len(mask)) + bytes(xor) + mask


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + \
        struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def encode_png(size, pixels):
    raw = bytearray()
    prev = bytes(size * 4)
    for y in range(size):
        cur = bytearray()
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            A = to8(a)
            cur += bytes((to8(r), to8(g), to8(b), A)) if A else b'\0\0\0\0'
        cur = bytes(cur)
        # Pick the filter with the smallest sum of residuals, as libpng does.
        best = None
        for ftype in range(5):
            f = bytearray(len(cur))
            for i in range(len(cur)):
                left = cur[i - 4] if i >= 4 else 0
                up = prev[i]
                ul = prev[i - 4] if i >= 4 else 0
                pred = (0, left, up, (left + up) >> 1, paeth(left, up, ul))[ftype]
                f[i] = (cur[i] - pred) & 0xff
            score = sum(v if v < 128 else 256 - v for v in f)
            if best is None or score < best[0]:
                best = (score, ftype, f)
        raw.append(best[1])
        raw += best[2]
        prev = cur
    ihdr = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', ihdr) +
            png_chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + png_chunk(b'IEND', b''))


# (size, bits per pixel) in directory order.
IMAGES = [(48, 4), (32, 4), (24, 4), (16, 4),
          (48, 8), (32, 8), (24, 8), (16, 8),
          (256, 32), (48, 32), (32, 32), (24, 32), (16, 32)]


def samples_for(size):
    return 2 if size > 64 else 4


def build_ico(artwork):
    entries = []
    for size, bpp in IMAGES:
        layers = artwork(size)
        n = samples_for(size)
        if bpp == 4:
            # Sixteen colours cannot express soft edges; draw them crisp.
            data = encode_indexed(size, render(layers, size, n, hard=True), VGA16, 4)
        elif bpp == 8:
            data = encode_indexed(size, render(layers, size, n, flat=True), CUBE256, 8)
        elif size == 256:
            data = encode_png(size, render(layers, size, n))
        else:
            data = encode_bgra(size, render(layers, size, n))
        # The colour-count byte only exists for palettes under 256 entries.
        entries.append((size, bpp, 16 if bpp == 4 else 0, data))

    head = struct.pack('<HHH', 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    dirs = b''
    body = b''
    for size, bpp, colors, data in entries:
        dim = 0 if size >= 256 else size
        dirs += struct.pack('<BBBBHHII', dim, dim, colors, 0, 1, bpp, len(data), offset)
        body += data
        offset += len(data)
    return head + dirs + body


ICONS = [
    ('korvo_app.ico', app_icon),
    ('korvo_document.ico', document_icon),
    ('korvo_media.ico', media_icon),
]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_icons.py OUTDIR\n')
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, artwork in ICONS:
        data = build_ico(artwork)
        path = os.path.join(outdir, name)
        # Write beside and rename, so an interrupted build never leaves half an icon.
        tmp = path + '.tmp'
        with open(tmp, 'wb') as f:
            f.write(data)
        os.replace(tmp, path)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
