#!/usr/bin/python3
"""How close small icon entries come to a designer's hand. Run by hand:

    /usr/bin/python3 bench/icon_fidelity.py build/native/dist/core/imagecore

Two icon themes draw their small sizes by hand beside a large picture: Tango (an SVG, rendered
at 512 px with rsvg-convert; hand-drawn 16, 22, 24 and 32 px) and Adwaita (512 px PNG; 16, 22,
24, 32 and 48 px). Each tool downscales the large picture to every hand-drawn size: ours (the
entries of its icon, with the default sizes and the hand-drawn ones asked for), Pillow's resize
with LANCZOS, BICUBIC and BOX, Pillow's icon writer and ImageMagick's icon writer. Each result is
compared with the hand-drawn picture as a viewer shows it: composited over white and over black,
SSIM (Gaussian window, sigma 1.5) and mean absolute error in levels of 255, the two grounds
averaged.

Hand-drawn is checked first: a small picture that a plain downscale or a direct rendering at
its size reproduces (SSIM >= COPY_SSIM with one of them) is a scaled copy, and a 24 px picture
that is the 22 px one with a transparent border was not drawn for 24; both are left out.

The soft-shadow figure ("soft") checks that no tool wins by making soft shadows and glows heavy:
over the pixels that hold no solid part of the large picture (alpha >= 0.6) in themselves or in
their 8 neighbours, and that a plain downscale (an area average, Pillow's BOX) leaves 3 to 60 %
opaque, the tool's mean alpha against the plain downscale's. 1.00 is as light; the ceiling is 1.10.
A global alpha curve that pushes every partly transparent pixel toward opaque gains more than
0.01 SSIM here, and makes every drop shadow a dark blob: on the same pairs 1 - (1 - a)^2 scored
0.5362 and 0.5574 with a soft figure of 1.77 on Tango.

The packages it needs are in bench/packages.txt; run as root, it installs the missing ones.

Measured on Debian 12 (Pillow 9.4, ImageMagick 6.9.11, librsvg 2.54). Ours: a Mitchell cubic on
alpha-weighted sRGB levels raised to 0.8, small entries from a made entry at least twice their
size, and crisp outlines on the entries up to 48 px (the solid part of each pixel, alpha >= 1/2
in the source, grows over the rest of the pixel by as much as it covers; see Resample.h):

| Theme (pairs) | Tool | mean SSIM | MAE | soft | rank |
|---|---|---|---|---|---|
| Tango (721) | **ours** | **0.5327** | **31.20** | 1.00 | 1 |
| | ImageMagick icon writer | 0.5137 | 31.71 | 1.00 | 2 |
| | Pillow BICUBIC | 0.5133 | 31.94 | 1.00 | 3 |
| | Pillow LANCZOS | 0.5113 | 32.29 | 1.01 | 4 |
| | Pillow icon writer | 0.5113 | 32.29 | 1.01 | 4 |
| | Pillow BOX | 0.5096 | 31.92 | 1.00 | 6 |
| | ours before crisp outlines | 0.5145 | 31.67 | 0.99 | 1, by 0.0007 |
| Adwaita (284) | **ours** | **0.5482** | **23.16** | 0.95 | 1 |
| | ImageMagick icon writer | 0.5160 | 26.04 | 0.96 | 2 |
| | Pillow BICUBIC | 0.5092 | 26.48 | 0.95 | 3 |
| | Pillow BOX | 0.5057 | 26.09 | 1.00 | 4 |
| | Pillow LANCZOS | 0.5035 | 26.93 | 0.96 | 5 |
| | Pillow icon writer | 0.5035 | 26.93 | 0.96 | 5 |
| | ours before crisp outlines | 0.5195 | 26.12 | 0.95 | 1, by 0.0035 |

Ours ahead of the best peer (ImageMagick's icon writer on both) by 0.0190 on Tango and 0.0322 on
Adwaita (before: 0.0007 and 0.0035); all 1,005 pairs: 0.5371 (before 0.5159; ImageMagick
0.5144). Closer than ImageMagick in 530 of 721 Tango pairs (before 441) and 248 of 284 Adwaita
pairs (before 228). Adwaita's soft figure rests on 7 pixels: its icons have few soft shadows.

| mean SSIM by size | 16 | 22 | 24 | 32 | 48 |
|---|---|---|---|---|---|
| Tango, ours | 0.3549 | 0.5174 | 0.5179 | 0.7326 | |
| Tango, ours before | 0.3273 | 0.4898 | 0.5422 | 0.7164 | |
| Tango, ImageMagick | 0.3262 | 0.4884 | 0.5396 | 0.7175 | |
| Adwaita, ours | 0.4775 | 0.4910 | 0.5787 | 0.6128 | 0.5892 |
| Adwaita, ours before | 0.4254 | 0.4576 | 0.5565 | 0.5970 | 0.5708 |
| Adwaita, ImageMagick | 0.4219 | 0.4553 | 0.5530 | 0.5908 | 0.5690 |

Tango at 24 px is the one place where crisp outlines lose: the 83 pairs left there are all the
22 px drawing inside a transparent border (retouched, so not left out as padded copies), and a
crisp edge about a pixel from the hand's costs more SSIM than a soft one. Our 22 px entry in the
same border scores 0.5746 against them with crisp outlines and 0.5510 without.

How crisp outlines were chosen: a numpy prototype on these pairs, applied to our plain entries
(Tango / Adwaita). Raising alpha only in pixels that hold a solid part, with the solid part's
cover made k times larger: k = 1.5, 2, 3 gave 0.5261 / 0.5390, 0.5296 / 0.5454, 0.5322 / 0.5494
when the whole pixel took the larger cover; k = 3 gains at 16 px and loses at 24 and 32, and
k = 2 is the designer's rule (a shape over half a pixel fills it). Solid from alpha 0.5 or 0.6
made no difference (within 0.0004). Compositing the grown part over the rest of the pixel
(0.5322 / 0.5477) instead of putting it in the rest's place would also lift the inside of soft
gradients that cross alpha 1/2, so the rest's alpha is replaced (0.5318 / 0.5472), and starting
from the larger of the downscale's alpha and the footprint's own gives the rule as built
(0.5328 / 0.5482). Earlier, the resampler itself: Catmull-Rom in linear light came
last on Tango and third on Adwaita; Catmull-Rom in sRGB (0.5126 / 0.5105) above it in linear
light (0.5063 / 0.5068); Lanczos 3 (0.5109 / 0.5080) and an unsharp mask of 0.25 on the small
sizes (0.5092 / 0.5042) below plain Catmull-Rom; the Mitchell cubic above them all (0.5137 /
0.5159), and a little higher on levels raised to 0.8 (0.5140 / 0.5167) than to 0.6 or 1. Making
a small entry from a larger made entry rather than the source added 0.0024 on Adwaita and cost
0.0001 on Tango (measured with imagecore).
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LARGE_SIDE = 512
COPY_SSIM = 0.97
# The sizes our default icon holds: entries are made as the product makes them.
DEFAULT_SIZES = [16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256]
THEMES = {
    "Tango": ("/usr/share/icons/Tango", [16, 22, 24, 32]),
    "Adwaita": ("/usr/share/icons/Adwaita", [16, 22, 24, 32, 48]),
}


def ensure_packages():
    """Installs bench/packages.txt's missing packages when it can (root, apt-get)."""
    names = open(os.path.join(HERE, "packages.txt")).read().split()
    missing = [n for n in names if subprocess.run(["dpkg", "-s", n], stdout=subprocess.DEVNULL,
                                                  stderr=subprocess.DEVNULL).returncode != 0]
    if not missing:
        return True
    if os.geteuid() != 0:
        print("missing packages (install them as root): " + " ".join(missing))
        return False
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "install", "-y", "--no-install-recommends"] + missing, env=env, check=True)
    return True


ensure_packages() or sys.exit(1)
import numpy as np  # noqa: E402  (installed just above when missing)
from PIL import Image  # noqa: E402


# --- Comparing pictures

def gaussian_kernel(sigma=1.5, radius=5):
    x = np.arange(-radius, radius + 1, dtype=np.float64)
    k = np.exp(-x * x / (2 * sigma * sigma))
    return k / k.sum()


KERNEL = gaussian_kernel()


def blur(plane):
    """Separable Gaussian with mirrored edges, so that every pixel of a 16 px icon counts."""
    r = len(KERNEL) // 2
    for axis in (0, 1):
        padded = np.pad(plane, [(r, r) if a == axis else (0, 0) for a in (0, 1)], mode="reflect")
        n = plane.shape[axis]
        plane = sum(KERNEL[i] * np.take(padded, range(i, i + n), axis=axis) for i in range(len(KERNEL)))
    return plane


def ssim(a, b):
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    total = 0.0
    for ch in range(a.shape[2]):
        x, y = a[:, :, ch], b[:, :, ch]
        mx, my = blur(x), blur(y)
        vx, vy, cov = blur(x * x) - mx * mx, blur(y * y) - my * my, blur(x * y) - mx * my
        total += (((2 * mx * my + c1) * (2 * cov + c2)) / ((mx * mx + my * my + c1) * (vx + vy + c2))).mean()
    return total / a.shape[2]


def over(rgba, ground):
    a = rgba[:, :, 3:4] / 255.0
    return rgba[:, :, :3] * a + ground * (1.0 - a)


def compare(picture, hand):
    """(SSIM, mean absolute error) of two RGBA pictures over white and over black, averaged."""
    p, h = np.asarray(picture, dtype=np.float64), np.asarray(hand, dtype=np.float64)
    s = m = 0.0
    for ground in (255.0, 0.0):
        x, y = over(p, ground), over(h, ground)
        s += ssim(x, y)
        m += np.abs(x - y).mean()
    return s / 2, m / 2


# --- Soft shadows and glows: kept as light as a plain downscale leaves them?

SOLID = 0.6  # alpha from which a part of the large picture counts as solid
SOFT_RANGE = (0.03, 0.60)  # how opaque the plain downscale leaves the pixels looked at


def soft_pixels(large, plain):
    """The pixels of a small entry (of plain's side) that hold no solid part of the large picture,
    neither in themselves nor in their 8 neighbours, and that the plain downscale leaves 3 to 60 %
    opaque: soft shadows and glows, away from any solid shape."""
    side, n = plain.shape[0], large.shape[0]
    edges = [i * n // side for i in range(side)]
    solid = large[:, :, 3] >= SOLID * 255
    own = np.maximum.reduceat(np.maximum.reduceat(solid, edges, axis=0), edges, axis=1)
    near = np.pad(own, 1)
    near = np.logical_or.reduce([near[dy:dy + side, dx:dx + side] for dy in range(3) for dx in range(3)])
    alpha = plain[:, :, 3] / 255.0
    return ~near & (alpha >= SOFT_RANGE[0]) & (alpha <= SOFT_RANGE[1])


def soft_sums(large, picture, side):
    """(the picture's alpha, the plain downscale's alpha, pixels) summed over soft_pixels. The plain
    downscale is an area average (Pillow's BOX) of the large picture."""
    big = rgba(large)
    plain = np.asarray(big.resize((side, side), Image.BOX), dtype=np.float64)
    mask = soft_pixels(np.asarray(big), plain)
    return np.array([np.asarray(picture, dtype=np.float64)[:, :, 3][mask].sum() / 255.0,
                     plain[:, :, 3][mask].sum() / 255.0, mask.sum()])


def soft_figure(sums):
    """Mean alpha over the soft pixels, against the plain downscale's: 1.00 is as light."""
    total = np.sum(sums, axis=0)
    return total[0] / total[1] if total[1] else float("nan")


# --- The icons

def rgba(path):
    return Image.open(path).convert("RGBA")


def theme_icons(theme, work):
    """[(name, large picture path, {side: hand-drawn path})], one per distinct large picture."""
    root, sides = THEMES[theme]
    icons, seen = [], set()
    if theme == "Tango":
        larges = sorted(glob.glob(os.path.join(root, "scalable", "*", "*.svg")))
    else:
        larges = sorted(p for p in glob.glob(os.path.join(root, f"{LARGE_SIDE}x{LARGE_SIDE}", "*", "*.png"))
                        if "symbolic" not in p)
    for large in larges:
        real = os.path.realpath(large)
        if real in seen:
            continue
        seen.add(real)
        category, file = large.split(os.sep)[-2:]
        name = os.path.splitext(file)[0]
        hands = {s: os.path.join(root, f"{s}x{s}", category, name + ".png") for s in sides}
        hands = {s: p for s, p in hands.items() if os.path.isfile(p)}
        if hands:
            icons.append((f"{theme}-{category}-{name}", real, hands))
    return icons


def render_large(icons, folder):
    """Every large picture as a 512 px RGBA PNG; SVGs rendered with rsvg-convert."""
    os.makedirs(folder, exist_ok=True)
    out = []
    for name, large, hands in icons:
        path = os.path.join(folder, name + ".png")
        if large.endswith(".svg"):
            subprocess.run(["rsvg-convert", "-w", str(LARGE_SIDE), "-h", str(LARGE_SIDE), "-o", path, large],
                           check=True)
        else:
            rgba(large).save(path)
        out.append((name, path, large, hands))
    return out


def render_svg_at(svg, side, folder):
    path = os.path.join(folder, f"direct{side}.png")
    subprocess.run(["rsvg-convert", "-w", str(side), "-h", str(side), "-o", path, svg], check=True)
    return rgba(path)


def padded_22(hands, side):
    """Whether the 24 px picture is the 22 px one with a one-pixel transparent border."""
    if side != 24 or 22 not in hands:
        return False
    big, small = np.asarray(rgba(hands[24])), np.asarray(rgba(hands[22]))
    border = big.copy()
    border[1:23, 1:23] = 0
    return not border[:, :, 3].any() and np.array_equal(big[1:23, 1:23], small)


def hand_drawn_pairs(icons, work):
    """[(name, large path, side, hand image)] of pairs that are really drawn by hand, and counts of
    those left out."""
    pairs, copies, padded = [], 0, 0
    for name, large, original, hands in icons:
        big = rgba(large)
        for side, hand_path in sorted(hands.items()):
            hand = rgba(hand_path)
            if hand.size != (side, side):
                continue
            if padded_22(hands, side):
                padded += 1
                continue
            plain = [big.resize((side, side), f) for f in (Image.LANCZOS, Image.BOX)]
            if original.endswith(".svg"):
                plain.append(render_svg_at(original, side, work))
            if max(compare(p, hand)[0] for p in plain) >= COPY_SSIM:
                copies += 1
                continue
            pairs.append((name, large, side, hand))
    return pairs, copies, padded


# --- The tools

def entries_of(ico_path):
    ico = Image.open(ico_path).ico
    return lambda side: ico.getimage((side, side)).convert("RGBA")


def ours(imagecore, larges, sides, folder):
    """Our icon of each large picture, entries at the default sizes and at `sides`."""
    os.makedirs(folder, exist_ok=True)
    option = "sizes=" + ",".join(map(str, sorted(set(DEFAULT_SIZES) | set(sides))))
    subprocess.run([imagecore, "-f", "-o", folder, "--option", option] + larges, check=True,
                   stdout=subprocess.DEVNULL)
    return {p: entries_of(os.path.join(folder, os.path.basename(p)[:-4] + ".ico")) for p in larges}


def magick(larges, sides, folder):
    os.makedirs(folder, exist_ok=True)
    made = {}
    for p in larges:
        out = os.path.join(folder, os.path.basename(p)[:-4] + ".ico")
        subprocess.run(["convert", p, "-define", "icon:auto-resize=" + ",".join(map(str, sides)), out], check=True)
        made[p] = entries_of(out)
    return made


def pillow_ico(larges, sides, folder):
    os.makedirs(folder, exist_ok=True)
    made = {}
    for p in larges:
        out = os.path.join(folder, os.path.basename(p)[:-4] + ".ico")
        rgba(p).save(out, sizes=[(s, s) for s in sides])
        made[p] = entries_of(out)
    return made


def pillow_resize(flt):
    def make(larges, sides, folder):
        return {p: (lambda side, p=p: rgba(p).resize((side, side), flt)) for p in larges}
    return make


TOOLS = [
    ("Pillow LANCZOS", pillow_resize(Image.LANCZOS)),
    ("Pillow BICUBIC", pillow_resize(Image.BICUBIC)),
    ("Pillow BOX", pillow_resize(Image.BOX)),
    ("Pillow icon writer", pillow_ico),
    ("ImageMagick icon writer", magick),
]


def measure(theme, imagecore, work, only_ours):
    icons = theme_icons(theme, work)
    larges = render_large(icons, os.path.join(work, theme))
    pairs, copies, padded = hand_drawn_pairs(larges, work)
    sides = THEMES[theme][1]
    used = sorted({p[1] for p in pairs})
    tools = [("ours", lambda l, s, f: ours(imagecore, l, s, f))] + ([] if only_ours else TOOLS)
    scores, soft = {}, {}
    for label, make in tools:
        made = make(used, sides, os.path.join(work, theme + "-" + label.replace(" ", "_")))
        pictures = [made[large](side) for _, large, side, _ in pairs]
        scores[label] = [compare(picture, hand) for picture, (_, _, _, hand) in zip(pictures, pairs)]
        soft[label] = [soft_sums(large, picture, side) for picture, (_, large, side, _) in zip(pictures, pairs)]
    return len(icons), len(pairs), copies, padded, scores, soft, pairs


def report(theme, n_icons, n_pairs, copies, padded, scores, soft, pairs):
    print(f"\n== {theme}: {n_icons} icons, {n_pairs} hand-drawn pairs of icon and size"
          f" (left out: {copies} scaled copies, {padded} 24 px pictures that are the 22 px one padded)")
    by_ssim = sorted(scores, key=lambda k: -np.mean([s for s, _ in scores[k]]))
    sides = sorted({p[2] for p in pairs})
    head = (f"{'rank':>4}  {'tool':<24}{'SSIM':>7}{'MAE':>7}{'soft':>7}" + "".join(f"{f'SSIM@{s}':>9}" for s in sides)
            + "".join(f"{f'soft@{s}':>8}" for s in sides))
    print(head)
    for rank, label in enumerate(by_ssim, 1):
        values = scores[label]
        per_side = [np.mean([v[0] for v, p in zip(values, pairs) if p[2] == s]) for s in sides]
        soft_side = [soft_figure([v for v, p in zip(soft[label], pairs) if p[2] == s]) for s in sides]
        print(f"{rank:>4}  {label:<24}{np.mean([s for s, _ in values]):7.4f}{np.mean([m for _, m in values]):7.2f}"
              f"{soft_figure(soft[label]):7.3f}" + "".join(f"{v:9.4f}" for v in per_side)
              + "".join(f"{v:8.3f}" if v == v else f"{'-':>8}" for v in soft_side))
    n_soft = np.sum(soft["ours"], axis=0)[2]
    print(f"soft: mean alpha over {int(n_soft)} soft-shadow pixels, the same for every tool (no solid part of the large picture, alpha >="
          f" {SOLID}, in them or their 8 neighbours; {SOFT_RANGE[0]:.0%} to {SOFT_RANGE[1]:.0%} opaque in a plain"
          f" downscale), against the plain downscale's")
    if len(by_ssim) > 1:
        rival = by_ssim[1] if by_ssim[0] == "ours" else by_ssim[0]
        wins = sum(o[0] > r[0] for o, r in zip(scores["ours"], scores[rival]))
        margin = np.mean([s for s, _ in scores["ours"]]) - np.mean([s for s, _ in scores[rival]])
        print(f"ours minus the best peer ({rival}): {margin:+.4f} mean SSIM; ours closer in {wins} of {n_pairs} pairs")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("imagecore")
    parser.add_argument("--theme", choices=sorted(THEMES), action="append", help="default: both")
    parser.add_argument("--only-ours", action="store_true", help="while tuning: the others' figures do not change")
    args = parser.parse_args()
    imagecore = os.path.abspath(args.imagecore)
    overall = {}
    with tempfile.TemporaryDirectory() as work:
        for theme in args.theme or list(THEMES):
            measured = measure(theme, imagecore, work, args.only_ours)
            report(theme, *measured)
            for label, values in measured[4].items():
                overall.setdefault(label, []).extend(s for s, _ in values)
    if len(args.theme or THEMES) > 1:
        print("\n== Every pair of both themes: mean SSIM " +
              ", ".join(f"{label} {np.mean(v):.4f}" for label, v in sorted(overall.items(), key=lambda kv: -np.mean(kv[1]))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
