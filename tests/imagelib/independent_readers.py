#!/usr/bin/python3
"""Independent readers open what the native imagecore writes.

Usage: independent_readers.py IMAGECORE

Generated pictures become icons; Pillow, ImageMagick and icotool must each list the expected
entry sizes and decode the same pixels, the source-size entry must equal the source, and the
icon converted back to PNG must equal it too. Exits non-zero on the first disagreement.
"""
import io
import os
import re
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

STANDARD_SIZES = [16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256]


def expected_sizes(side):
    sizes = [s for s in STANDARD_SIZES if s <= side]
    if side <= 256 and side not in sizes:
        sizes.append(side)
    return sorted(sizes)


def make_sources(folder):
    """name -> (PIL image, whether the source-size entry must match it exactly)"""
    disc = Image.new("RGBA", (300, 300), (0, 0, 0, 0))
    ImageDraw.Draw(disc).ellipse((30, 30, 270, 270), fill=(20, 120, 220, 255))
    wide = Image.new("RGBA", (120, 80), (0, 0, 0, 0))
    ImageDraw.Draw(wide).rectangle((10, 10, 110, 70), fill=(250, 200, 0, 180))
    opaque = Image.radial_gradient("L").resize((64, 64)).convert("RGB")
    palette = Image.new("P", (40, 40), 0)
    palette.putpalette([0, 0, 0, 255, 0, 0, 0, 255, 0] + [0] * 759)
    ImageDraw.Draw(palette).rectangle((5, 5, 30, 30), fill=1)
    ImageDraw.Draw(palette).line((0, 39, 39, 0), fill=2)
    gray16 = Image.linear_gradient("L").resize((50, 50)).convert("I")
    gray16 = gray16.point(lambda v: v * 257)
    tiny = Image.new("RGBA", (10, 10), (255, 0, 255, 128))
    sources = {
        "disc.png": (disc, False),
        "wide.png": (wide, False),
        "opaque.png": (opaque, True),
        "palette.png": (palette, True),
        "gray16.png": (gray16, False),
        "tiny.png": (tiny, True),
    }
    for name, (image, _) in sources.items():
        if name == "palette.png":
            image.save(os.path.join(folder, name), transparency=0)
        elif name == "gray16.png":
            image.convert("I;16").save(os.path.join(folder, name))
        else:
            image.save(os.path.join(folder, name))
    return sources


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, **kw).stdout


def visible_equal(a, b):
    """RGBA byte strings equal wherever either is visible; alpha equal everywhere."""
    if len(a) != len(b):
        return False
    for i in range(0, len(a), 4):
        if a[i + 3] != b[i + 3]:
            return False
        if a[i + 3] and a[i:i + 3] != b[i:i + 3]:
            return False
    return True


def check_icon(path, side, failures):
    sizes = expected_sizes(side)
    name = os.path.basename(path)

    listed = [(int(w), int(h)) for w, h in re.findall(rb"--width=(\d+) --height=(\d+)", run(["icotool", "-l", path]))]
    if listed != [(s, s) for s in sizes]:
        failures.append(f"{name}: icotool lists {listed}, expected {sizes}")

    identified = run(["identify", "-format", "%w %h\n", path]).decode().split()
    if [int(v) for v in identified[0::2]] != sizes:
        failures.append(f"{name}: identify lists {identified}")

    pil = Image.open(path)
    if sorted(pil.info["sizes"]) != [(s, s) for s in sizes]:
        failures.append(f"{name}: Pillow lists {sorted(pil.info['sizes'])}")

    with tempfile.TemporaryDirectory() as extract:
        run(["icotool", "-x", "-o", extract, path])
        extracted = {Image.open(os.path.join(extract, f)).size[0]: os.path.join(extract, f)
                     for f in os.listdir(extract)}
        for index, s in enumerate(sizes):
            pil.size = (s, s)
            ours_pil = pil.convert("RGBA").tobytes()
            magick = run(["convert", f"{path}[{index}]", "-depth", "8", "rgba:-"])
            ico = Image.open(extracted[s]).convert("RGBA").tobytes()
            if not (visible_equal(ours_pil, magick) and visible_equal(ours_pil, ico)):
                failures.append(f"{name}: readers disagree on the {s} px entry")
    return pil


def main():
    imagecore = os.path.abspath(sys.argv[1])
    failures = []
    with tempfile.TemporaryDirectory() as work:
        sources = make_sources(work)
        icons = os.path.join(work, "icons")
        back = os.path.join(work, "back")
        os.mkdir(icons)
        os.mkdir(back)
        run([imagecore, "-o", icons] + [os.path.join(work, n) for n in sources])
        run([imagecore, "-o", back] + [os.path.join(icons, n[:-4] + ".ico") for n in sources])

        for name, (image, exact) in sources.items():
            side = max(image.size)
            icon = os.path.join(icons, name[:-4] + ".ico")
            pil = check_icon(icon, side, failures)
            roundtrip = Image.open(os.path.join(back, name)).convert("RGBA")
            if roundtrip.size != (min(side, 256),) * 2 and side <= 256:
                failures.append(f"{name}: back to PNG is {roundtrip.size}")
            if exact:
                source = Image.open(os.path.join(work, name)).convert("RGBA").tobytes()
                pil.size = (side, side)
                if not visible_equal(pil.convert("RGBA").tobytes(), source):
                    failures.append(f"{name}: the {side} px entry differs from the source")
                if not visible_equal(roundtrip.tobytes(), source):
                    failures.append(f"{name}: icon back to PNG differs from the source")
            print(f"{name}: {len(expected_sizes(side))} entries checked")

    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
