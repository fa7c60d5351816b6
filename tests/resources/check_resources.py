#!/usr/bin/python3
"""Checks the committed pictures in res/: the application icon's images, sizes and depths,
the four toolbar PNGs at every display scale's size, and the manifest's display-scale settings. Windows loads these straight from the resources, so a malformed
entry shows up only as a missing or garbled icon; this catches it on Linux.

Usage: check_resources.py RES_DIR      (prints 'N passed, M failed', exits 1 on failure)
"""

import io
import os
import struct
import subprocess
import sys
import zlib
from xml.etree import ElementTree

from PIL import Image, ImageChops

# (size, bits) in the order the directory must list them.
ICON_IMAGES = [(256, 32), (128, 32), (64, 32), (48, 32), (32, 32), (16, 32),
               (48, 8), (32, 8), (16, 8), (32, 4), (16, 4)]
TOOLBAR = ["add", "remove", "clear", "convert"]
# 100, 125, 150, 175, 200, 250 and 300 % of 32 pixels; the 100 % files carry no size in their name.
TOOLBAR_SIZES = [32, 40, 48, 56, 64, 80, 96]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
# The palette images are the picture blended onto this grey.
PALETTE_BACKGROUND = (240, 240, 240)


class Failure(Exception):
    pass


def expect(cond, message):
    if not cond:
        raise Failure(message)


# --- parsing ----------------------------------------------------------------------------------


def png_header(data):
    """(width, height, bit depth, colour type, interlace) from a PNG's IHDR, CRC checked."""
    expect(data[:8] == PNG_SIGNATURE, "no PNG signature")
    length, ctype = struct.unpack(">I4s", data[8:16])
    expect(ctype == b"IHDR" and length == 13, "first chunk is not IHDR")
    body = data[16:29]
    (crc,) = struct.unpack(">I", data[29:33])
    expect(zlib.crc32(b"IHDR" + body) == crc, "IHDR CRC mismatch")
    w, h, depth, colour, _comp, _filt, interlace = struct.unpack(">IIBBBBB", body)
    return w, h, depth, colour, interlace


def read_directory(data):
    expect(len(data) >= 6, "file too short for a header")
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    expect(reserved == 0 and kind == 1, f"header reserved={reserved} type={kind}, want 0 and 1")
    expect(len(data) >= 6 + 16 * count, "file too short for its directory")
    entries = []
    for i in range(count):
        w, h, colours, res, planes, bits, size, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        entries.append(dict(w=w, h=h, colours=colours, reserved=res, planes=planes, bits=bits,
                            size=size, offset=offset))
    return entries


def decode_dib(blob, size, bits):
    """Returns (pixels [(r,g,b,a) or palette (r,g,b)], masked [bool]) top-down, checking the
    header and the exact length on the way."""
    expect(len(blob) >= 40, "DIB shorter than its header")
    (hsize, w, h2, planes, bitcount, compression, _img, _xr, _yr, clr_used,
     _imp) = struct.unpack("<IiiHHIIiiII", blob[:40])
    expect(hsize == 40, f"header size {hsize}, want 40 (BITMAPINFOHEADER)")
    expect(w == size and h2 == 2 * size, f"DIB is {w}x{h2}, want {size}x{2 * size}")
    expect(planes == 1, f"DIB planes {planes}")
    expect(bitcount == bits, f"DIB bit count {bitcount}, want {bits}")
    expect(compression == 0, f"DIB compression {compression}, want BI_RGB")
    ncol = 0 if bits == 32 else (clr_used or (1 << bits))
    expect(bits == 32 or ncol <= (1 << bits), "palette larger than the bit depth")
    xor_stride = ((size * bits + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    want = 40 + 4 * ncol + xor_stride * size + and_stride * size
    expect(len(blob) == want, f"entry holds {len(blob)} bytes, header implies {want}")
    pal = [tuple(blob[40 + 4 * i + 2 - j] for j in range(3)) for i in range(ncol)]
    xor_at = 40 + 4 * ncol
    and_at = xor_at + xor_stride * size
    pixels, masked = [], []
    for y in range(size):
        row = size - 1 - y  # rows are stored bottom-up
        xr = blob[xor_at + row * xor_stride:xor_at + (row + 1) * xor_stride]
        ar = blob[and_at + row * and_stride:and_at + (row + 1) * and_stride]
        for x in range(size):
            masked.append(bool(ar[x >> 3] & (0x80 >> (x & 7))))
            if bits == 32:
                b, g, r, a = xr[4 * x:4 * x + 4]
                pixels.append((r, g, b, a))
            else:
                i = xr[x] if bits == 8 else (xr[x >> 1] >> (4 if x % 2 == 0 else 0)) & 15
                expect(i < ncol, f"pixel index {i} beyond the {ncol}-colour palette")
                pixels.append(pal[i])
    return pixels, masked


# --- checks -----------------------------------------------------------------------------------


def check_ico_directory(ico):
    entries = read_directory(ico)
    expect(len(entries) == len(ICON_IMAGES), f"{len(entries)} images, want {len(ICON_IMAGES)}")
    for i, (e, (size, bits)) in enumerate(zip(entries, ICON_IMAGES)):
        dim = 0 if size == 256 else size
        got = (e["w"], e["h"], e["bits"], e["planes"], e["colours"], e["reserved"])
        want = (dim, dim, bits, 1, 16 if bits == 4 else 0, 0)
        expect(got == want, f"entry {i}: (w, h, bits, planes, colours, reserved) {got}, want {want}")


def check_ico_layout(ico):
    entries = read_directory(ico)
    at = 6 + 16 * len(entries)
    for i, e in enumerate(entries):
        expect(e["offset"] == at, f"entry {i} starts at {e['offset']}, want {at} (right after "
                                  "the previous one)")
        at += e["size"]
    expect(at == len(ico), f"entries end at {at}, file is {len(ico)} bytes")


def check_ico_png_entry(ico):
    e = read_directory(ico)[0]
    blob = ico[e["offset"]:e["offset"] + e["size"]]
    w, h, depth, colour, interlace = png_header(blob)
    expect((w, h, depth, colour) == (256, 256, 8, 6),
           f"256 image PNG is {w}x{h} depth {depth} colour type {colour}, want 256x256 RGBA 8")
    with Image.open(io.BytesIO(blob)) as im:
        im.load()
        expect(im.getpixel((0, 0))[3] == 0, "256 image has an opaque corner")


def _entries_by_kind(ico):
    for e, (size, bits) in zip(read_directory(ico), ICON_IMAGES):
        if size != 256:
            yield e, size, bits, ico[e["offset"]:e["offset"] + e["size"]]


def check_ico_dib_headers(ico):
    for e, size, bits, blob in _entries_by_kind(ico):
        try:
            decode_dib(blob, size, bits)
        except Failure as f:
            raise Failure(f"{size} px {bits}-bit: {f}")


def check_ico_32bit_masks(ico):
    """The AND mask of each 32-bit image is set exactly where alpha is 0."""
    for e, size, bits, blob in _entries_by_kind(ico):
        if bits != 32:
            continue
        pixels, masked = decode_dib(blob, size, bits)
        wrong = sum(1 for p, m in zip(pixels, masked) if m != (p[3] == 0))
        expect(wrong == 0, f"{size} px: {wrong} mask bits disagree with alpha")
        shown = sum(1 for m in masked if not m)
        expect(0 < shown < size * size, f"{size} px: {shown} visible pixels")


def _flatten(p):
    r, g, b, a = p
    return tuple((c * a + bg * (255 - a)) / 255 for c, bg in zip((r, g, b), PALETTE_BACKGROUND))


def check_ico_palette_images(ico):
    """Masked pixels use black (so they leave the screen as it is) and the visible ones look
    like the 32-bit image of the same size: same mask within edge pixels, close colours."""
    full = {size: decode_dib(blob, size, 32) for _, size, bits, blob in _entries_by_kind(ico)
            if bits == 32}
    for e, size, bits, blob in _entries_by_kind(ico):
        if bits == 32:
            continue
        pixels, masked = decode_dib(blob, size, bits)
        tinted = sum(1 for p, m in zip(pixels, masked) if m and p != (0, 0, 0))
        expect(tinted == 0, f"{size} px {bits}-bit: {tinted} masked pixels are not black")
        ref_px, _ = full[size]
        differ = sum(1 for p, m in zip(ref_px, masked) if m != (p[3] < 128))
        expect(differ == 0, f"{size} px {bits}-bit: {differ} mask bits differ from alpha < 128")
        total, n = 0.0, 0
        for p, m, ref in zip(pixels, masked, ref_px):
            if not m:
                total += sum(abs(a - b) for a, b in zip(p, _flatten(ref))) / 3
                n += 1
        mean = total / n
        limit = 12 if bits == 8 else 32
        expect(mean < limit, f"{size} px {bits}-bit: mean colour error {mean:.1f} "
                             f"against the 32-bit image (limit {limit})")
        colours = len(set(p for p, m in zip(pixels, masked) if not m))
        expect(colours >= (32 if bits == 8 else 6),
               f"{size} px {bits}-bit uses only {colours} colours")


def check_icotool(path):
    out = subprocess.run(["icotool", "-l", path], capture_output=True, text=True, timeout=60)
    expect(out.returncode == 0, f"icotool -l failed: {out.stderr.strip()}")
    got = []
    for line in out.stdout.splitlines():
        fields = dict(f[2:].split("=", 1) for f in line.split() if "=" in f)
        got.append((int(fields["width"]), int(fields["height"]), int(fields["bit-depth"])))
    want = [(s, s, b) for s, b in ICON_IMAGES]
    expect(got == want, f"icotool lists {got}, want {want}")


def check_pillow_ico(path):
    with Image.open(path) as im:
        expect(im.format == "ICO", f"Pillow reads it as {im.format}")
        sizes = {s for s, _ in ICON_IMAGES}
        expect(set(im.info["sizes"]) == {(s, s) for s in sizes},
               f"Pillow sees sizes {sorted(im.info['sizes'])}")
        for i in range(len(ICON_IMAGES)):
            frame = im.ico.frame(i)
            expect(frame.mode == "RGBA", f"Pillow frame {i} is {frame.mode}")
            expect(frame.getbbox() is not None, f"Pillow frame {i} is empty")


def toolbar_file(res, name, size):
    return f"{res}/{name}.png" if size == TOOLBAR_SIZES[0] else f"{res}/{name}-{size}.png"


def check_toolbar_png(path, size):
    with open(path, "rb") as f:
        data = f.read()
    w, h, depth, colour, interlace = png_header(data)
    expect((w, h) == (size, size), f"{w}x{h}, want {size}x{size}")
    expect(depth == 8 and colour == 6, f"bit depth {depth} colour type {colour}, want 8-bit RGBA")
    expect(interlace == 0, "interlaced")
    with Image.open(path) as im:
        im.load()
        expect(im.mode == "RGBA" and im.size == (size, size), f"Pillow reads {im.mode} {im.size}")
        expect(im.getpixel((0, 0))[3] == 0, "top-left corner is not transparent")
        alpha = list(im.getchannel("A").getdata())
        opaque = sum(1 for a in alpha if a == 255)
        expect(opaque >= size * size // 4, f"only {opaque} opaque pixels: the picture is nearly empty")


def check_toolbar_distinct(res, size):
    seen = {}
    for name in TOOLBAR:
        with Image.open(toolbar_file(res, name, size)) as im:
            key = im.convert("RGBA").tobytes()
        expect(key not in seen, f"{name} is the same picture as {seen.get(key)}")
        seen[key] = name


def check_toolbar_is_artgen_output(res, size):
    """The committed pictures are what tools/artgen draws at that size today, so none of them
    is an enlarged copy of another or a leftover of an older drawing."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/artgen"))
    import artgen
    for name in TOOLBAR:
        with Image.open(toolbar_file(res, name, size)) as committed:
            same = committed.convert("RGBA").tobytes() == artgen.TOOLBAR[name](size).tobytes()
        expect(same, f"{name} differs from artgen's drawing: run tools/artgen/artgen.py res/")


def check_manifest_dpi_awareness(path):
    """Per-monitor v2 awareness, and per-monitor awareness for Windows that predates it. Wine
    treats every program as aware, so only this check sees the declaration go missing."""
    asm3 = "{urn:schemas-microsoft-com:asm.v3}"
    settings = ElementTree.parse(path).getroot().find(f"{asm3}application/{asm3}windowsSettings")
    expect(settings is not None, "no application/windowsSettings block")
    v2 = settings.findtext("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")
    v1 = settings.findtext("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")
    expect(v2 == "PerMonitorV2", f"dpiAwareness is {v2!r}, want 'PerMonitorV2'")
    expect(v1 == "true/pm", f"dpiAware is {v1!r}, want 'true/pm'")


def check_manifest_long_paths(path):
    """Windows hands paths past 259 units to a program only when its manifest asks for them."""
    asm3 = "{urn:schemas-microsoft-com:asm.v3}"
    settings = ElementTree.parse(path).getroot().find(f"{asm3}application/{asm3}windowsSettings")
    expect(settings is not None, "no application/windowsSettings block")
    aware = settings.findtext("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}longPathAware")
    expect(aware == "true", f"longPathAware is {aware!r}, want 'true'")


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    res = argv[1]
    ico_path = f"{res}/app.ico"
    with open(ico_path, "rb") as f:
        ico = f.read()
    checks = [
        ("icon directory lists the eleven images", lambda: check_ico_directory(ico)),
        ("icon entries are contiguous and fill the file", lambda: check_ico_layout(ico)),
        ("icon 256 image is an RGBA PNG", lambda: check_ico_png_entry(ico)),
        ("icon DIB headers and lengths", lambda: check_ico_dib_headers(ico)),
        ("icon 32-bit masks match alpha", lambda: check_ico_32bit_masks(ico)),
        ("icon palette images", lambda: check_ico_palette_images(ico)),
        ("icotool -l lists the images", lambda: check_icotool(ico_path)),
        ("Pillow opens every icon image", lambda: check_pillow_ico(ico_path)),
        ("the manifest declares per-monitor DPI awareness",
         lambda: check_manifest_dpi_awareness(f"{res}/app.manifest")),
        ("the manifest declares long paths",
         lambda: check_manifest_long_paths(f"{res}/app.manifest")),
    ]
    for size in TOOLBAR_SIZES:
        checks += [(f"{n} {size} px is {size}x{size} 8-bit RGBA",
                    (lambda n=n, s=size: check_toolbar_png(toolbar_file(res, n, s), s)))
                   for n in TOOLBAR]
        checks.append((f"toolbar pictures at {size} px differ",
                       lambda s=size: check_toolbar_distinct(res, s)))
        checks.append((f"toolbar pictures at {size} px are artgen's drawing",
                       lambda s=size: check_toolbar_is_artgen_output(res, s)))
    passed = failed = 0
    for name, fn in checks:
        try:
            fn()
        except Failure as f:
            print(f"FAIL {name}: {f}")
            failed += 1
        except Exception as ex:  # a parse that falls over is a failure too, not a crash
            print(f"FAIL {name}: {type(ex).__name__}: {ex}")
            failed += 1
        else:
            print(f"ok   {name}")
            passed += 1
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
