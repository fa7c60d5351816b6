#!/usr/bin/env python3
"""Reads what the end-to-end run left in its output folder with Pillow, a reader independent of
the program's conversion library: every output is a picture of the expected format and size,
and the failed source left nothing behind."""
import pathlib
import sys

from PIL import Image


def check(out, inputs):
    problems = []

    def expect(condition, message):
        if not condition:
            problems.append(message)

    wide = out / "wide.ico"
    expect(wide.is_file(), "wide.ico missing")
    if wide.is_file():
        with Image.open(wide) as icon:
            expect(icon.format == "ICO", f"wide.ico is {icon.format}")
            sizes = icon.info.get("sizes", set())
            expect(len(sizes) >= 1, "wide.ico holds no image")
            biggest = icon.convert("RGBA")
            # The source's corners are transparent; an icon made from it keeps some transparency.
            alpha_min, _ = biggest.getchannel("A").getextrema()
            expect(alpha_min == 0, "wide.ico lost the source's transparency")

    upper = out / "UPPER.png"
    expect(upper.is_file(), "UPPER.png missing")
    if upper.is_file():
        with Image.open(upper) as png, Image.open(inputs / "UPPER.PNG") as source:
            expect(png.format == "PNG", f"UPPER.png is {png.format}")
            expect(png.size == source.size, f"UPPER.png is {png.size}, its source {source.size}")
            same = png.convert("RGBA").tobytes() == source.convert("RGBA").tobytes()
            expect(same, "UPPER.png differs from its source pixel for pixel")

    multi = out / "multi.png"
    expect(multi.is_file(), "multi.png missing")
    if multi.is_file():
        with Image.open(multi) as png:
            expect(png.format == "PNG", f"multi.png is {png.format}")
            expect(png.size in {(16, 16), (32, 32), (48, 48)}, f"multi.png is {png.size}, no size of its icon")

    expect(not (out / "broken.ico").exists(), "a failed conversion left broken.ico behind")

    for problem in problems:
        print("FAILED:", problem)
    if not problems:
        print("all outputs read back as valid pictures")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(check(pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])))
