#!/usr/bin/python3
"""PNG sources beyond the decode-in-memory caps: time and peak memory of imagecore against
ImageMagick and Pillow on the same files. Run by hand:

    /usr/bin/python3 bench/large_sources.py build/native/dist/core/imagecore [--repeat N] [--sides 8192,16384]

Sources are generated: a simple drawing (shapes and outlines on a transparent ground) at each
side, the same as an upper-case .PNG copied to PNG, and pictures whose header declares the side
over the least data that can hold it (flat 16-bit RGBA, one IDAT of deflated zeros); and a
picture within the pixel cap in a file beyond the file cap (noise, 6000 px RGBA). Targets:
8192 px within 2 s, 16,384 px within 8 s, the flat ones within 1 s per 64 million pixels, peak
memory within 64 MiB over that of a small picture. Times are the median of N runs of one
process (CPU seconds beside them show what a busy machine adds); memory is the largest peak
(from /usr/bin/time).
"""
import argparse
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

from PIL import Image, ImageDraw

MIB = 1024 * 1024
ICON_SIZES = "16,20,24,30,32,36,40,48,60,64,72,80,96,256"
TARGET_SECONDS = {8192: 2.0, 16384: 8.0}
SECONDS_PER_64M_PIXELS = 1.0
MEMORY_OVER_SMALL = 64 * MIB
NOISE_SIDE = 6000
PILLOW_ICON = r"""
import sys
from PIL import Image
Image.MAX_IMAGE_PIXELS = None
sizes = [int(v) for v in sys.argv[3].split(",")]
Image.open(sys.argv[1]).convert("RGBA").save(sys.argv[2], sizes=[(s, s) for s in sizes])
"""


def drawing(side, path):
    """Ellipses, rectangles and lines with outlines on a transparent ground, like a large export
    from a drawing program."""
    picture = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    draw = ImageDraw.Draw(picture)
    unit = side // 16
    for k in range(12):
        x, y = (k * 5 % 13) * unit, (k * 7 % 11) * unit
        fill = ((k * 70) % 256, (k * 40 + 90) % 256, (200 - k * 15) % 256, 255)
        shape = draw.ellipse if k % 2 else draw.rectangle
        shape((x, y, x + 4 * unit, y + 3 * unit), fill=fill, outline=(0, 0, 0, 255), width=max(1, side // 512))
        draw.line((0, k * unit, side, side - k * unit), fill=(30, 30, 30, 255), width=max(1, side // 1024))
    picture.save(path)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def flat_deep_png(side, path):
    """side x side 16-bit RGBA, every row unfiltered zeros: the most inflating a header can ask."""
    row = bytes(1 + side * 8)
    deflater = zlib.compressobj(9)
    idat = b"".join(deflater.compress(row) for _ in range(side)) + deflater.flush()
    ihdr = struct.pack(">IIBBBBB", side, side, 16, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b""))


def noise_png(side, path):
    """side x side RGBA noise, hardly compressed: a file larger than its pixels suggest."""
    ihdr = struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)
    deflater = zlib.compressobj(1)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr))
        for _ in range(side):
            f.write(png_chunk(b"IDAT", deflater.compress(b"\0" + os.urandom(side * 4))))
        f.write(png_chunk(b"IDAT", deflater.flush()) + png_chunk(b"IEND", b""))


def measure(args):
    """Wall seconds, CPU seconds, peak RSS in bytes, and whether it succeeded."""
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M"] + args, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    user, system, peak_kib = proc.stderr.decode(errors="replace").split()[-3:]
    return elapsed, float(user) + float(system), int(peak_kib) * 1024, proc.returncode == 0


def median_measure(args, repeat):
    runs = [measure(args) for _ in range(repeat)]
    return (statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs), max(r[2] for r in runs),
            all(r[3] for r in runs))


def line(case, tool, result, target=""):
    """A refusal shows as "failed": ImageMagick's default policy on Debian refuses 16,384 px."""
    seconds, cpu, peak, ok = result
    verdict = f"{seconds:8.2f} {cpu:7.2f} {peak / MIB:9.1f}" if ok else f"{'failed':>8} {cpu:7.2f} {peak / MIB:9.1f}"
    print(f"{case:26} {tool:12} {verdict}  {target}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("imagecore")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--sides", default="8192,16384")
    parser.add_argument("--no-peers", action="store_true", help="only imagecore")
    args = parser.parse_args()
    ours = os.path.abspath(args.imagecore)
    sides = [int(s) for s in args.sides.split(",")]

    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out")
        os.mkdir(out)
        small = os.path.join(work, "small.png")
        drawing(256, small)
        small_peak = median_measure([ours, "-f", "-o", out, small], args.repeat)[2]
        memory_target = small_peak + MEMORY_OVER_SMALL
        print(f"peak memory of a 256 px picture: {small_peak / MIB:.1f} MiB; target for large ones:"
              f" {memory_target / MIB:.1f} MiB")
        print(f"\n{'case':26} {'tool':12} {'seconds':>8} {'cpu s':>7} {'peak MiB':>9}  target")
        met, total = 0, 0
        for side in sides:
            print("generating...", flush=True)
            path = os.path.join(work, f"drawing-{side}.png")
            drawing(side, path)
            upper = os.path.join(work, f"drawing-{side}-copy.PNG")
            os.link(path, upper)
            flat = os.path.join(work, f"flat16-{side}.png")
            flat_deep_png(side, flat)
            pixel_seconds = SECONDS_PER_64M_PIXELS * side * side / (64 * 1000 * 1000)
            cases = [(f"drawing {side} to ICO ({os.path.getsize(path) // 1024} KB)", path,
                      TARGET_SECONDS.get(side, pixel_seconds * 2), True),
                     (f"drawing {side} .PNG to PNG", upper, TARGET_SECONDS.get(side, pixel_seconds * 2), False),
                     (f"flat16 {side} ({os.path.getsize(flat) // 1024} KB)", flat, pixel_seconds, False)]
            for case, source, seconds, peers in cases:
                result = median_measure([ours, "-f", "-o", out, source], args.repeat)
                ok = result[3] and result[0] <= seconds and result[2] <= memory_target
                met += ok
                total += 1
                line(case, "ours", result, f"{seconds:.1f} s, {memory_target / MIB:.0f} MiB: "
                     f"{'met' if ok else 'MISSED'}")
                if peers and not args.no_peers:
                    line("", "ImageMagick", median_measure(
                        ["convert", source, "-define", f"icon:auto-resize={ICON_SIZES}",
                         os.path.join(out, "magick.ico")], 1))
                    line("", "Pillow", median_measure(
                        ["/usr/bin/python3", "-c", PILLOW_ICON, source, os.path.join(out, "pillow.ico"),
                         ICON_SIZES], 1))
            for name in os.listdir(out):
                os.remove(os.path.join(out, name))
            for name in (path, upper, flat):
                os.remove(name)
        noise = os.path.join(work, "noise-6000.png")
        noise_png(NOISE_SIDE, noise)
        os.link(noise, os.path.join(work, "noise-6000-copy.PNG"))
        for case, source in ((f"noise {NOISE_SIDE} ({os.path.getsize(noise) // MIB} MiB)", noise),
                             (f"noise {NOISE_SIDE} .PNG to PNG", os.path.join(work, "noise-6000-copy.PNG"))):
            result = median_measure([ours, "-f", "-o", out, source], args.repeat)
            seconds = SECONDS_PER_64M_PIXELS * 2 * NOISE_SIDE * NOISE_SIDE / (64 * 1000 * 1000)
            ok = result[3] and result[0] <= seconds and result[2] <= memory_target
            met += ok
            total += 1
            line(case, "ours", result, f"{seconds:.1f} s, {memory_target / MIB:.0f} MiB: {'met' if ok else 'MISSED'}")
        print(f"\n{met}/{total} within target (peers run once each)")
    return 0 if met == total else 1


if __name__ == "__main__":
    sys.exit(main())
