#!/usr/bin/python3
"""Speed, size and memory of imagecore against ImageMagick and Pillow. Run by hand:

    /usr/bin/python3 bench/benchmark.py build/lib-native/dist/core/imagecore [--repeat N]

Like is compared with like: our default icon (bitmap entries up to 48 px, PNG above) against
ImageMagick's icon writer, our every-entry-PNG option against Pillow's icon writer (PNG
entries), and icon to PNG against both. Sources are generated: 16 to 2048 px, opaque and transparent, square and not,
palette and 16-bit among them. Times are per file (median of N runs of one process per file,
and one process for the whole batch); memory is the peak resident size of the process.

--icon-bytes BASELINE prints only the bytes of our default icons of 60 real pictures, this
build's against those of BASELINE, another build's imagecore (e.g. the previous commit's, built
from `git archive` in a folder of its own).

Real artwork, when the desktop icon theme is installed (--artwork): icons built from it by
ImageMagick, Pillow and icotool (PNG, 32-bit, 8- and 4-bit palette entries) and the system's
own .ico files go back to PNG, against Pillow's batch and ImageMagick, each output read back
by Pillow and compared with the entry it came from; and a batch of its PNGs goes to ICO with
-j 1 and -j 2.
"""
import argparse
import glob
import io
import os
import shutil
import struct
import statistics
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageDraw, ImageFilter

STANDARD_SIZES = [16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256]
MIB = 1024 * 1024
PILLOW_BATCH = r"""
import sys
from PIL import Image
mode = sys.argv[1]
args = sys.argv[2:]
for i in range(0, len(args), 3):
    src, dst, sizes = args[i], args[i + 1], args[i + 2]
    im = Image.open(src)
    if mode == "ico":
        im = im.convert("RGBA")
        s = [int(v) for v in sizes.split(",")]
        im.save(dst, sizes=[(v, v) for v in s])
    else:
        im.save(dst)
"""


def planned_sizes(side):
    sizes = [s for s in STANDARD_SIZES if s <= side]
    if side <= 256 and side not in sizes:
        sizes.append(side)
    return sorted(sizes)


def make_picture(width, height, transparent, seed):
    """Something like artwork: gradients, shapes, soft edges and a little noise."""
    base = Image.linear_gradient("L").resize((width, height)).convert("RGB")
    base = Image.merge("RGB", (base.getchannel(0), base.getchannel(0).rotate(90).resize((width, height)),
                               Image.new("L", (width, height), 90 + seed * 20)))
    draw = ImageDraw.Draw(base)
    for k in range(6):
        x0, y0 = (k * 37 + seed * 11) % width, (k * 53 + seed * 7) % height
        draw.ellipse((x0, y0, x0 + width // 3, y0 + height // 3), fill=((k * 60) % 256, (k * 90) % 256, 200))
    noise = Image.effect_noise((width, height), 12).convert("RGB")
    base = Image.blend(base, noise, 0.08)
    if not transparent:
        return base
    alpha = Image.new("L", (width, height), 0)
    ImageDraw.Draw(alpha).rounded_rectangle((width // 10, height // 10, width * 9 // 10, height * 9 // 10),
                                            radius=max(1, min(width, height) // 6), fill=255)
    alpha = alpha.filter(ImageFilter.GaussianBlur(max(1, min(width, height) // 64)))
    base.putalpha(alpha)
    return base


def make_sources(folder):
    cases = [  # name, width, height, kind
        ("s16_rgba", 16, 16, "rgba"), ("s48_pal", 48, 48, "pal"), ("s100_rgb", 100, 100, "rgb"),
        ("s256_rgba", 256, 256, "rgba"), ("s256_rgb16", 256, 256, "rgb16"), ("s512x256_rgba", 512, 256, "rgba"),
        ("s1024_rgb", 1024, 1024, "rgb"), ("s1024_rgba", 1024, 1024, "rgba"), ("s2048_rgba", 2048, 2048, "rgba"),
        ("s2048_pal", 2048, 2048, "pal"), ("s2048x1024_rgb16", 2048, 1024, "rgb16"),
    ]
    sources = []
    for i, (name, w, h, kind) in enumerate(cases):
        path = os.path.join(folder, name + ".png")
        picture = make_picture(w, h, kind == "rgba", i)
        if kind == "pal":
            picture.quantize(64).save(path)
        elif kind == "rgb16":
            picture.save(path)  # rewritten below as 16 bits per sample
            subprocess.run(["convert", path, "-depth", "16", "PNG48:" + path], check=True)
        else:
            picture.save(path)
        sources.append((path, w, h))
    return sources


def run_measured(args):
    """Wall seconds and peak RSS (bytes) of one process. The peak comes from /usr/bin/time: a
    child forked from this (large) Python process would report Python's own size as its peak."""
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        raise RuntimeError(f"{args[0]} failed: {proc.stderr.decode()[:300]}")
    return elapsed, int(proc.stderr.decode().split()[-1]) * 1024


def cpu_seconds(args):
    """User plus system seconds of one process: what the work costs, whoever else wants the CPU
    and however long the disk takes."""
    proc = subprocess.run(["/usr/bin/time", "-f", "%U %S"] + args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    user, system = proc.stderr.decode().split()[-2:]
    return float(user) + float(system)


def median_run(args, repeat):
    runs = [run_measured(args) for _ in range(repeat)]
    return statistics.median(t for t, _ in runs), max(m for _, m in runs)


def size_of(path):
    return os.path.getsize(path)


def row(cells, widths):
    return "  ".join(str(c).rjust(w) for c, w in zip(cells, widths))


def report(title, lines, header):
    widths = [max(len(str(r[i])) for r in lines + [header]) for i in range(len(header))]
    print(f"\n== {title}")
    print(row(header, widths))
    for r in lines:
        print(row(r, widths))


def ratio(a, b):
    return f"{a / b:.2f}"


# --- Real artwork: icons made by other tools, and -j scaling

ICON_SIDES = [16, 32, 48, 512]
SYSTEM_ICON_FOLDERS = ["/usr/share", "/usr/lib"]
REAL_ICON_NAMES = 16  # artwork names; each gives five icons
SCALING_FILES = 60
SCALING_ROUNDS = 9
TUNING_LARGE, TUNING_SMALL = 24, 60
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
BITMAP_HEADER_BYTES = 40


def real_artwork(theme):
    """name -> {side: path} for the artwork drawn at every size of ICON_SIDES."""
    found = {}
    for side in ICON_SIDES:
        for path in glob.glob(os.path.join(theme, f"{side}x{side}", "*", "*.png")):
            found.setdefault(os.path.basename(path)[:-4], {})[side] = path
    complete = {k: v for k, v in sorted(found.items()) if len(v) == len(ICON_SIDES)}
    return complete


def system_icons(limit):
    """Distinct .ico files the installed packages ship (find is far quicker than a Python walk)."""
    found = subprocess.run(["find"] + SYSTEM_ICON_FOLDERS + ["-name", "*.ico", "-type", "f"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.split()
    seen, icons = set(), []
    for path in sorted(found):
        data = open(path, "rb").read()
        if data[:4] == b"\0\0\1\0" and data not in seen and readable_icon(path, data):
            seen.add(data)
            icons.append(path)
    return icons[:limit]


def readable_icon(path, data):
    """Damaged icons (a directory longer than the file, say) would measure only the error path."""
    try:
        chosen_entry(data)
        Image.open(path).load()
        return True
    except (struct.error, OSError, ValueError):
        return False


def make_real_icons(artwork, folder):
    """Icons as other tools write them: ImageMagick (256 px PNG, bitmaps below), Pillow (PNG
    entries), icotool (32-bit bitmaps; 8- and 4-bit palettes after quantising)."""
    icons = []
    for name, by_side in list(artwork.items())[:REAL_ICON_NAMES]:
        big = Image.open(by_side[512]).convert("RGBA")
        small = [by_side[s] for s in (16, 32, 48)]
        p256 = os.path.join(folder, name + "-256.png")
        big.resize((256, 256), Image.LANCZOS).save(p256)
        out = os.path.join(folder, name)
        subprocess.run(["convert"] + small + [p256, out + "-magick.ico"], check=True)
        big.save(out + "-pillow.ico", sizes=[(16, 16), (32, 32), (48, 48), (256, 256)])
        subprocess.run(["icotool", "-c", "-o", out + "-icotool32.ico"] + small, check=True)
        for bits, colours in ((8, 200), (4, 15)):
            entries = []
            for s in (16, 32, 48):
                q = os.path.join(folder, f"{name}-q{bits}-{s}.png")
                quantised(Image.open(by_side[s]).convert("RGBA"), colours).save(q)
                entries.append(q)
            subprocess.run(["icotool", "-c", "-b", str(bits), "-o", f"{out}-icotool{bits}.ico"] + entries,
                           check=True)
        icons += [out + k for k in ("-magick.ico", "-pillow.ico", "-icotool32.ico", "-icotool8.ico",
                                    "-icotool4.ico")]
    return icons


def chosen_entry(data):
    """(index, offset, stored bytes, is PNG) of the entry a reader should take: largest area, deepest
    colour, first in the directory; sizes from each stored image's own header."""
    count = struct.unpack_from("<H", data, 4)[0]
    ranked = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        stored = data[offset:offset + size]
        if len(stored) < size or size < BITMAP_HEADER_BYTES:
            continue  # lies outside the file: passed over, as readers do
        if stored[:8] == PNG_SIGNATURE:
            w, h, depth, colour = struct.unpack_from(">IIBB", stored, 16)
            bits = depth * {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
        else:
            w, h2, _, bits = struct.unpack_from("<iiHH", stored, 4)
            h = abs(h2) // 2
        ranked.append((-(w * h), -bits, i, offset, stored))
    _, _, index, offset, stored = min(ranked)
    return index, offset, stored, stored[:8] == PNG_SIGNATURE


def reference_pixels(icon, offset, stored, is_png):
    """The chosen entry as Pillow decodes it (its own entry list is in another order)."""
    if is_png:
        return Image.open(io.BytesIO(stored)).convert("RGBA")
    ico = Image.open(icon).ico
    return ico.frame([e["offset"] for e in ico.entry].index(offset)).convert("RGBA")


def real_icons_to_png(ours, artwork, work, repeat):
    folder = os.path.join(work, "real")
    outs = {k: os.path.join(work, "real_" + k) for k in ("ours", "pillow", "magick")}
    for f in [folder] + list(outs.values()):
        os.mkdir(f)
    icons = make_real_icons(artwork, folder)
    for i, path in enumerate(system_icons(REAL_ICON_NAMES)):  # many are called favicon.ico
        icons.append(os.path.join(folder, f"system{i}.ico"))
        shutil.copyfile(path, icons[-1])

    def out_of(tool, icon):
        return os.path.join(outs[tool], os.path.splitext(os.path.basename(icon))[0] + ".png")

    # Every output is flushed to disk before it replaces its destination: on a busy disk the
    # default (a thread per core) overlaps those waits, -j 1 shows them.
    t_ours, _ = median_run([ours, "-f", "-o", outs["ours"]] + icons, repeat)
    t_ours_one, _ = median_run([ours, "-f", "-j", "1", "-o", outs["ours"]] + icons, repeat)
    cpu_ours = cpu_seconds([ours, "-f", "-j", "1", "-o", outs["ours"]] + icons)
    pil_batch = []
    for icon in icons:
        pil_batch += [icon, out_of("pillow", icon), "-"]
    t_pil, _ = median_run(["/usr/bin/python3", "-c", PILLOW_BATCH, "png"] + pil_batch, repeat)
    cpu_pil = cpu_seconds(["/usr/bin/python3", "-c", PILLOW_BATCH, "png"] + pil_batch)
    t_ours_each = t_im_each = 0.0
    for icon in icons:
        index = chosen_entry(open(icon, "rb").read())[0]
        t_im_each += median_run(["convert", f"{icon}[{index}]", out_of("magick", icon)], repeat)[0]
        t_ours_each += median_run([ours, "-f", "-o", outs["ours"], icon], repeat)[0]

    kinds, exact, within_entry, png_entries = {}, 0, 0, 0
    totals = {"ours": 0, "pillow": 0, "magick": 0}
    for icon in icons:
        _, offset, stored, is_png = chosen_entry(open(icon, "rb").read())
        kind = "system" if os.path.basename(icon).startswith("system") else icon.rsplit("-", 1)[-1][:-4]
        sizes = {k: size_of(out_of(k, icon)) for k in totals}
        for k in totals:
            totals[k] += sizes[k]
        line = kinds.setdefault(kind, [kind, 0, 0, 0, 0, 0])
        line[1] += 1
        line[2] += sizes["ours"]
        line[3] += sizes["pillow"]
        line[4] += sizes["magick"]
        if is_png:
            png_entries += 1
            within_entry += sizes["ours"] <= len(stored)
        ours_pixels = Image.open(out_of("ours", icon)).convert("RGBA")
        same = ours_pixels.tobytes() == reference_pixels(icon, offset, stored, is_png).tobytes()
        exact += same
        line[5] += same
    lines = [k[:5] + [ratio(k[2], k[3]), f"{k[5]}/{k[1]}"] for k in kinds.values()]
    report("ICO -> PNG on real artwork, by the tool that wrote the icon (bytes summed)", lines,
           ["icon writer", "icons", "ours B", "Pillow B", "IM B", "B vs Pillow", "pixel-exact"])
    n = len(icons)
    print(f"{n} icons, best entry PNG in {png_entries}. Bytes: ours {totals['ours']}, Pillow {totals['pillow']}"
          f" ({ratio(totals['ours'], totals['pillow'])}x), ImageMagick {totals['magick']}"
          f" ({ratio(totals['ours'], totals['magick'])}x); ours <= the PNG entry's own bytes: "
          f"{within_entry}/{png_entries}")
    print(f"batch: ours {t_ours * 1000:.0f} ms (-j 1: {t_ours_one * 1000:.0f} ms), Pillow {t_pil * 1000:.0f} ms,"
          f" speed-up {t_pil / t_ours:.1f}x (-j 1: {t_pil / t_ours_one:.1f}x); CPU seconds ours {cpu_ours:.2f},"
          f" Pillow {cpu_pil:.2f} ({cpu_pil / cpu_ours:.1f}x);"
          f" one process per file: ours {t_ours_each * 1000:.0f} ms, ImageMagick {t_im_each * 1000:.0f} ms,"
          f" speed-up {t_im_each / t_ours_each:.1f}x; pixel-exact by Pillow: {exact}/{n}")


def run_together(commands):
    """Wall seconds until every one of these processes, started at once, has ended."""
    start = time.perf_counter()
    procs = [subprocess.Popen(c, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE) for c in commands]
    for proc, command in zip(procs, commands):
        if proc.wait() != 0:
            raise RuntimeError(f"{command[0]} failed: {proc.stderr.read().decode()[:300]}")
    return time.perf_counter() - start


def thread_scaling(ours, artwork, work, repeat):
    """Real PNGs to ICO (the default icon), one batch at -j 1 and at -j 2; outputs must match.
    Beside them, the same files as two -j 1 processes on halves of the batch: what this
    machine's two cores give for this work when nothing is shared but the machine itself."""
    sources = [v[512] for v in artwork.values()][:SCALING_FILES]
    halves = [sources[0::2], sources[1::2]]
    times, trees, apart = {1: [], 2: []}, {}, []
    for _ in range(max(repeat, SCALING_ROUNDS)):  # alternated, so that a busy spell hits all
        for threads in (1, 2):
            out = os.path.join(work, f"scaling_j{threads}")
            os.makedirs(out, exist_ok=True)
            times[threads].append(run_measured([ours, "-f", "-j", str(threads), "-o", out] + sources)[0])
            trees[threads] = {f: open(os.path.join(out, f), "rb").read() for f in os.listdir(out)}
        outs = [os.path.join(work, f"scaling_half{h}") for h in (0, 1)]
        for out in outs:
            os.makedirs(out, exist_ok=True)
        apart.append(run_together([[ours, "-f", "-j", "1", "-o", out] + half for out, half in zip(outs, halves)]))
    one, two, split = statistics.median(times[1]), statistics.median(times[2]), statistics.median(apart)
    cpu = {threads: cpu_seconds([ours, "-f", "-j", str(threads), "-o", os.path.join(work, f"scaling_j{threads}")] +
                                sources) for threads in (1, 2)}
    print(f"\n== -j scaling: {len(sources)} real 512 px PNGs to ICO, one batch")
    print(f"median of {len(times[1])}: -j 1 {one * 1000:.0f} ms, -j 2 {two * 1000:.0f} ms: {one / two:.2f}x faster"
          f" (best runs {min(times[1]) / min(times[2]):.2f}x); outputs identical: {trees[1] == trees[2]}"
          f" ({len(trees[1])} files); CPU seconds -j 1 {cpu[1]:.2f}, -j 2 {cpu[2]:.2f}; cores: {os.cpu_count()},"
          f" load average {os.getloadavg()[0]:.1f}")
    print(f"two -j 1 processes on halves of the batch, at once: {split * 1000:.0f} ms, {one / split:.2f}x faster"
          f" than -j 1 (this machine's ceiling for two cores on this work)")


def quantised(image, colours):
    """Few colours, alpha cut to 0 or 255, colour kept under transparency: a palette bitmap."""
    rgb = image.convert("RGB").quantize(colours).convert("RGB")
    rgb.putalpha(image.getchannel("A").point(lambda a: 255 if a > 127 else 0))
    return rgb


def write_tuning_pictures(artwork, folder):
    """The pictures png_tuning measured: 48 px artwork, 256 px scaled from 512, and both
    quantised to 200 and 15 colours (the 256 px ones to 200)."""
    os.makedirs(folder, exist_ok=True)
    names = list(artwork)
    for i, name in enumerate(names[:TUNING_LARGE]):
        big = Image.open(artwork[name][512]).convert("RGBA").resize((256, 256), Image.LANCZOS)
        big.save(os.path.join(folder, f"b{i:02d}.png"))
        quantised(big, 200).save(os.path.join(folder, f"big{i:02d}.png"))
    for i, name in enumerate(names[:TUNING_SMALL]):
        im = Image.open(artwork[name][48]).convert("RGBA")
        im.save(os.path.join(folder, f"s{i:02d}.png"))
        for colours in (200, 15):
            quantised(im, colours).save(os.path.join(folder, f"q{colours}_{i:02d}.png"))


def icon_bytes(ours, baseline, artwork, work):
    """The default icons of real pictures (the 512 px artwork of the -j section), bytes summed:
    this build against another one, e.g. the previous release's."""
    sources = [v[512] for v in artwork.values()][:SCALING_FILES]
    totals = {}
    for label, tool in (("this build", ours), ("baseline", baseline)):
        out = os.path.join(work, "bytes_" + label.replace(" ", "_"))
        os.makedirs(out)
        subprocess.run([tool, "-f", "-o", out] + sources, check=True, stdout=subprocess.DEVNULL)
        totals[label] = sum(size_of(os.path.join(out, f)) for f in os.listdir(out))
    theme = os.path.basename(os.path.dirname(os.path.dirname(os.path.dirname(sources[0]))))
    print(f"\n== Default icons of {len(sources)} real {theme} pictures: this build {totals['this build']} bytes, baseline {totals['baseline']} bytes"
          f" ({ratio(totals['this build'], totals['baseline'])}x)")


def real_sections(ours, args, work):
    artwork = real_artwork(args.artwork)
    if not artwork:
        print(f"\n(no artwork drawn at every size under {args.artwork}: real-icon and -j sections left out)")
        return 0
    real_icons_to_png(ours, artwork, work, args.repeat)
    thread_scaling(ours, artwork, work, args.repeat)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("imagecore")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--artwork", default="/usr/share/icons/Adwaita", help="an icon theme with NxN/ folders")
    parser.add_argument("--real-only", action="store_true", help="only the real-artwork sections")
    parser.add_argument("--tuning-pictures", metavar="DIR", help="write png_tuning's pictures to DIR and stop")
    parser.add_argument("--icon-bytes", metavar="BASELINE", help="only the bytes of default icons of real pictures,"
                        " against the imagecore BASELINE")
    args = parser.parse_args()
    if args.tuning_pictures:
        write_tuning_pictures(real_artwork(args.artwork), args.tuning_pictures)
        return 0
    ours = os.path.abspath(args.imagecore)

    with tempfile.TemporaryDirectory() as work:
        if args.icon_bytes:
            icon_bytes(ours, os.path.abspath(args.icon_bytes), real_artwork(args.artwork), work)
            return 0
        if args.real_only:
            return real_sections(ours, args, work)
        src_dir = os.path.join(work, "src")
        os.mkdir(src_dir)
        sources = make_sources(src_dir)
        folders = {k: os.path.join(work, k) for k in
                   ("ours_bmp", "ours_png", "magick", "pillow", "ours_back", "magick_back", "pillow_back")}
        for f in folders.values():
            os.mkdir(f)

        def name_of(path, ext):
            return os.path.splitext(os.path.basename(path))[0] + ext

        # --- PNG to ICO, our default against ImageMagick, one process per file
        lines, speed, sizes_ok, memory_ok = [], [], [], []
        for path, w, h in sources:
            plan = ",".join(map(str, planned_sizes(max(w, h))))
            ours_out = os.path.join(folders["ours_bmp"], name_of(path, ".ico"))
            magick_out = os.path.join(folders["magick"], name_of(path, ".ico"))
            t_ours, m_ours = median_run([ours, "-f", "-o", folders["ours_bmp"], path], args.repeat)
            t_im, m_im = median_run(["convert", path, "-define", f"icon:auto-resize={plan}", magick_out], args.repeat)
            budget = 2.5 * w * h * 4 + 16 * MIB
            speed.append(t_im / t_ours)
            sizes_ok.append(size_of(ours_out) <= size_of(magick_out))
            memory_ok.append(m_ours <= budget)
            lines.append([name_of(path, ""), f"{t_ours * 1000:.1f}", f"{t_im * 1000:.1f}", ratio(t_ours, t_im),
                          size_of(ours_out), size_of(magick_out), ratio(size_of(ours_out), size_of(magick_out)),
                          f"{m_ours / MIB:.1f}", f"{m_im / MIB:.1f}", f"{budget / MIB:.1f}"])
        report("PNG -> ICO, default (bitmaps up to 48 px, PNG above) vs ImageMagick, one process per file", lines,
               ["source", "ours ms", "IM ms", "t ratio", "ours B", "IM B", "B ratio", "ours MiB", "IM MiB",
                "budget MiB"])
        print(f"speed-up over ImageMagick: median {statistics.median(speed):.1f}x, min {min(speed):.1f}x;"
              f" bytes <= ImageMagick: {sum(sizes_ok)}/{len(sizes_ok)}; memory within budget:"
              f" {sum(memory_ok)}/{len(memory_ok)}")

        # --- PNG to ICO, every entry PNG, against Pillow; batch in one process each
        batch = []
        for path, w, h in sources:
            batch += [path, os.path.join(folders["pillow"], name_of(path, ".ico")),
                      ",".join(map(str, planned_sizes(max(w, h))))]
        t_ours_batch, m_ours_batch = median_run([ours, "-f", "--option", "png", "-o", folders["ours_png"]] +
                                                [p for p, _, _ in sources], args.repeat)
        t_pil_batch, m_pil_batch = median_run(["/usr/bin/python3", "-c", PILLOW_BATCH, "ico"] + batch, args.repeat)
        lines, bytes_ok = [], []
        for path, w, h in sources:
            o = size_of(os.path.join(folders["ours_png"], name_of(path, ".ico")))
            p = size_of(os.path.join(folders["pillow"], name_of(path, ".ico")))
            t_one, _ = median_run([ours, "-f", "--option", "png", "-o", folders["ours_png"], path], args.repeat)
            bytes_ok.append(o <= p)
            lines.append([name_of(path, ""), f"{t_one * 1000:.1f}", o, p, ratio(o, p)])
        report("PNG -> ICO, every entry PNG (--option png) vs Pillow", lines,
               ["source", "ours ms/file (own process)", "ours B", "Pillow B", "B ratio"])
        n = len(sources)
        print(f"batch per file: ours {t_ours_batch / n * 1000:.1f} ms, Pillow {t_pil_batch / n * 1000:.1f} ms,"
              f" speed-up {t_pil_batch / t_ours_batch:.1f}x; peak memory ours {m_ours_batch / MIB:.1f} MiB,"
              f" Pillow {m_pil_batch / MIB:.1f} MiB; bytes <= Pillow: {sum(bytes_ok)}/{len(bytes_ok)}")

        # --- ICO to PNG: our icons back to PNG, each tool reading the same files
        lines = []
        icons = [os.path.join(folders["ours_bmp"], name_of(p, ".ico")) for p, _, _ in sources]
        for icon, (path, w, h) in zip(icons, sources):
            entries = len(planned_sizes(max(w, h)))
            ours_out = os.path.join(folders["ours_back"], name_of(icon, ".png"))
            im_out = os.path.join(folders["magick_back"], name_of(icon, ".png"))
            t_ours, m_ours = median_run([ours, "-f", "-o", folders["ours_back"], icon], args.repeat)
            t_im, _ = median_run(["convert", f"{icon}[{entries - 1}]", im_out], args.repeat)
            lines.append([name_of(icon, ""), f"{t_ours * 1000:.1f}", f"{t_im * 1000:.1f}", ratio(t_ours, t_im),
                          size_of(ours_out), size_of(im_out), f"{m_ours / MIB:.1f}"])
        pil_batch = []
        for icon in icons:
            pil_batch += [icon, os.path.join(folders["pillow_back"], name_of(icon, ".png")), "-"]
        t_ours_b, _ = median_run([ours, "-f", "-o", folders["ours_back"]] + icons, args.repeat)
        t_pil_b, _ = median_run(["/usr/bin/python3", "-c", PILLOW_BATCH, "png"] + pil_batch, args.repeat)
        report("ICO -> PNG (largest entry) vs ImageMagick, one process per file", lines,
               ["icon", "ours ms", "IM ms", "t ratio", "ours B", "IM B", "ours MiB"])
        print(f"batch per file: ours {t_ours_b / n * 1000:.1f} ms, Pillow {t_pil_b / n * 1000:.1f} ms,"
              f" speed-up {t_pil_b / t_ours_b:.1f}x")

        real_sections(ours, args, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
