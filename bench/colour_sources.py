#!/usr/bin/python3
"""Cost of converting colour-managed PNG sources: 1024 px pictures untagged, and the same
pictures tagged with an ICC profile (Adobe RGB from colord-data), with cICP (Display P3) and
at 16 bits a channel with that profile, each made into an icon by imagecore. Two pictures: a
drawing (an icon of the installed Adwaita theme, its 512 px picture scaled to 1024) and smooth
gradients with noise in one channel. Run by hand:

    /usr/bin/python3 bench/colour_sources.py build/native/dist/core/imagecore [--baseline OLD_IMAGECORE] [--repeat N]

Each figure is the median over N rounds of the CPU time of one imagecore process converting
a batch of copies on one thread (-j 1), divided by the copies; the kinds are run in turn in
every round, so that a machine busy for a moment slows them alike. Target: a tagged source at
most 10 % slower than the same source untagged; with --baseline, untagged sources no slower
than with the other build's imagecore. A tagged source's icon is made of other pixels than
the untagged one's, and compressing them costs more or less: the noise, spread by the matrix
from one channel into all three, costs its icon entries a few per cent more. So each tagged
8-bit source is also set against an untagged picture of the pixels it converts to (lcms2
through Pillow for the profile, the P3 formulas for cICP): that ratio is what applying the
colour space itself costs.
"""
import argparse
import io
import os
import resource
import shutil
import statistics
import struct
import subprocess
import tempfile
import zlib

from PIL import Image, ImageCms

SIDE = 1024
COPIES = 8
PROFILE = "/usr/share/color/icc/colord/AdobeRGB1998.icc"
DRAWING = "/usr/share/icons/Adwaita/512x512/devices/computer.png"
TARGET_RATIO = 1.10
# An untagged picture of the pixels a tagged source converts to.
SAME_PIXELS = " as sRGB"


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def with_chunk(png, kind, data):
    """The chunk goes right after IHDR, where colour chunks belong."""
    after_header = 8 + 25
    return png[:after_header] + png_chunk(kind, data) + png[after_header:]


def drawing(folder):
    path = os.path.join(folder, "drawing.png")
    Image.open(DRAWING).convert("RGBA").resize((SIDE, SIDE), Image.LANCZOS).save(path)
    with open(path, "rb") as f:
        return f.read()


def gradients(folder):
    """Smooth gradients with noise in blue and a transparent corner: something like a photo
    cut out for an icon, which neither compresses to nothing nor is all noise."""
    image = Image.radial_gradient("L").resize((SIDE, SIDE))
    noise = Image.effect_noise((SIDE, SIDE), 24)
    linear = Image.linear_gradient("L").resize((SIDE, SIDE))
    rgba = Image.merge("RGBA", (image, linear, noise, Image.eval(image, lambda v: 0 if v > 200 else 255)))
    path = os.path.join(folder, "gradients.png")
    rgba.save(path)
    with open(path, "rb") as f:
        return f.read()


def sixteen_bit(png8):
    """The same picture at 16 bits a channel, written out by hand (Pillow writes no 16-bit RGBA)."""
    image = Image.open(io.BytesIO(png8)).convert("RGBA")
    raw = bytearray()
    pixels = image.tobytes()
    row = SIDE * 4
    for y in range(SIDE):
        raw.append(0)
        for v in pixels[y * row:(y + 1) * row]:
            raw += bytes((v, (v * 7) & 255))
    header = struct.pack(">IIBBBBB", SIDE, SIDE, 16, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(bytes(raw), 6))
            + png_chunk(b"IEND", b""))


def srgb_decode(level):
    v = level / 255.0
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def srgb_encode(light):
    light = min(max(light, 0.0), 1.0)
    v = light * 12.92 if light <= 0.0031308 else 1.055 * light ** (1 / 2.4) - 0.055
    return int(round(v * 255))


# Display P3 to sRGB in linear light: both D65, so no adaptation.
P3_TO_SRGB = ((1.2249401, -0.2249404, 0.0), (-0.0420569, 1.0420571, 0.0), (-0.0196376, -0.0786361, 1.0982735))


def p3_as_srgb(png):
    image = Image.open(io.BytesIO(png)).convert("RGBA")
    light = [srgb_decode(v) for v in range(256)]
    cache = {}
    pixels = []
    for r, g, b, a in image.getdata():
        rgb = cache.get((r, g, b))
        if rgb is None:
            lr, lg, lb = light[r], light[g], light[b]
            rgb = tuple(srgb_encode(m[0] * lr + m[1] * lg + m[2] * lb) for m in P3_TO_SRGB)
            cache[(r, g, b)] = rgb
        pixels.append(rgb + (a,))
    image.putdata(pixels)
    return saved(image)


def profile_as_srgb(png):
    image = Image.open(io.BytesIO(png)).convert("RGBA")
    rgb = ImageCms.profileToProfile(image.convert("RGB"), ImageCms.getOpenProfile(PROFILE),
                                    ImageCms.createProfile("sRGB"), renderingIntent=ImageCms.Intent.RELATIVE_COLORIMETRIC)
    rgb.putalpha(image.getchannel("A"))
    return saved(rgb)


def saved(image):
    out = io.BytesIO()
    image.save(out, "PNG")
    return out.getvalue()


def iccp(profile_path):
    with open(profile_path, "rb") as f:
        return b"AdobeRGB\x00\x00" + zlib.compress(f.read())


def make_kinds(folder):
    kinds = {}
    for picture_name, make in (("drawing", drawing), ("gradients", gradients)):
        untagged = make(folder)
        sixteen = sixteen_bit(untagged)
        kinds[picture_name + ", untagged"] = untagged
        kinds[picture_name + ", ICC profile"] = with_chunk(untagged, b"iCCP", iccp(PROFILE))
        kinds[picture_name + ", cICP P3"] = with_chunk(untagged, b"cICP", bytes((12, 13, 0, 1)))
        kinds[picture_name + ", ICC profile" + SAME_PIXELS] = profile_as_srgb(untagged)
        kinds[picture_name + ", cICP P3" + SAME_PIXELS] = p3_as_srgb(untagged)
        kinds[picture_name + ", 16-bit untagged"] = sixteen
        kinds[picture_name + ", 16-bit ICC"] = with_chunk(sixteen, b"iCCP", iccp(PROFILE))
    batches = {}
    for name, data in kinds.items():
        batch = os.path.join(folder, "".join(c if c.isalnum() else "_" for c in name))
        os.makedirs(batch)
        for i in range(COPIES):
            with open(os.path.join(batch, "p%d.png" % i), "wb") as f:
                f.write(data)
        batches[name] = sorted(os.path.join(batch, n) for n in os.listdir(batch))
    return batches


def cpu_per_file(imagecore, files, out):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([imagecore, "-j", "1", "-f", "-o", out] + files, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    used = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return used / len(files)


def untagged_kind(kind):
    picture_name = kind.split(",")[0]
    if SAME_PIXELS in kind:
        return picture_name + ", untagged"
    return picture_name + (", 16-bit untagged" if "16-bit" in kind else ", untagged")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("imagecore")
    parser.add_argument("--baseline", help="another build's imagecore, for untagged sources before and after")
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        batches = make_kinds(work)
        tools = [("this build", args.imagecore)] + ([("baseline", args.baseline)] if args.baseline else [])
        runs = {}
        for _ in range(args.repeat):
            for tool_name, tool in tools:
                for kind, files in batches.items():
                    if tool_name == "baseline" and "untagged" not in kind and SAME_PIXELS not in kind:
                        continue
                    runs.setdefault((tool_name, kind), []).append(cpu_per_file(tool, files, os.path.join(work, "out")))
        medians = {key: statistics.median(times) for key, times in runs.items()}
        print("%d px sources to icons, CPU ms per conversion (median of %d rounds of %d copies, -j 1)"
              % (SIDE, args.repeat, COPIES))
        print("%-30s %-12s %8s %12s" % ("source", "imagecore", "ms", "vs untagged"))
        ratios, own_costs = [], []
        for (tool_name, kind), seconds in medians.items():
            ratio = seconds / medians[(tool_name, untagged_kind(kind))]
            print("%-30s %-12s %8.1f %12.3f" % (kind, tool_name, seconds * 1000, ratio))
            if tool_name == "this build" and "untagged" not in kind and SAME_PIXELS not in kind:
                ratios.append(ratio)
                same = (tool_name, kind + SAME_PIXELS)
                if same in medians:
                    own_costs.append((kind, seconds / medians[same]))
        print("tagged against untagged: mean %.3f, worst %.3f (target at most %.2f)"
              % (statistics.mean(ratios), max(ratios), TARGET_RATIO))
        for kind, ratio in own_costs:
            print("%s against the untagged picture of the same sRGB pixels: %.3f" % (kind, ratio))
        if args.baseline:
            for kind in batches:
                if "untagged" in kind:
                    print("%s, this build against the baseline: %.3f" % (
                        kind, medians[("this build", kind)] / medians[("baseline", kind)]))


if __name__ == "__main__":
    main()
