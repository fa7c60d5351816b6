#!/usr/bin/python3
"""The picture in the README of small icon entries beside a designer's. Run by hand:

    /usr/bin/python3 bench/side_by_side.py build/native/dist/core/imagecore docs/small-sizes.png

A few Tango icons (Tango is in the public domain): the hand-drawn picture, ours and the best
peer of bench/icon_fidelity.py on Tango (ImageMagick's icon writer), at 16, 24 and 32 px, each
magnified without smoothing; over white and over a dark ground. Ours and the peer's are made
from the same large picture, the scalable SVG rendered at 512 px with rsvg-convert, as in
icon_fidelity.py.

The packages it needs are in bench/packages.txt.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

ROOT = "/usr/share/icons/Tango"
# Chosen for soft drop shadows and glows beside solid outlined shapes.
ICONS = ["actions/edit-redo", "actions/edit-delete", "status/dialog-information", "places/user-trash",
         "emblems/emblem-favorite"]
SIDES = [16, 24, 32]
LARGE = 512
ZOOM = 5
GAP = 8
GROUNDS = [("over white", (255, 255, 255)), ("over a dark ground", (40, 40, 40))]
COLUMNS = ["hand-drawn", "ours", "ImageMagick"]


def large_picture(name, folder):
    path = os.path.join(folder, name.replace("/", "-") + ".png")
    subprocess.run(["rsvg-convert", "-w", str(LARGE), "-h", str(LARGE), "-o", path,
                    os.path.join(ROOT, "scalable", name + ".svg")], check=True)
    return path


def entries(tool_args, large, out):
    subprocess.run(tool_args(large, out), check=True, stdout=subprocess.DEVNULL)
    ico = Image.open(out).ico
    return {s: ico.getimage((s, s)).convert("RGBA") for s in SIDES}


def pictures(imagecore, folder):
    """{icon: {side: [hand-drawn, ours, peer]}}"""
    sizes = ",".join(map(str, SIDES))
    ours = lambda large, out: [imagecore, "-f", "-o", os.path.dirname(out), "--option", "sizes=" + sizes, large]
    peer = lambda large, out: ["convert", large, "-define", "icon:auto-resize=" + sizes, out]
    rows = {}
    for name in ICONS:
        large = large_picture(name, folder)
        made_ours = entries(ours, large, large[:-4] + ".ico")
        made_peer = entries(peer, large, large[:-4] + "-peer.ico")
        rows[name] = {s: [Image.open(os.path.join(ROOT, f"{s}x{s}", name + ".png")).convert("RGBA"),
                          made_ours[s], made_peer[s]] for s in SIDES}
    return rows


def draw(rows, path):
    """Per size, the three versions side by side; one row per icon; a panel per ground."""
    cell = [s * ZOOM for s in SIDES]
    tall = max(cell)
    group_w = [len(COLUMNS) * c + (len(COLUMNS) - 1) * GAP // 2 for c in cell]
    head_h = 30
    width = GAP + sum(w + 3 * GAP for w in group_w)
    panel_h = head_h + len(rows) * (tall + GAP)
    sheet = Image.new("RGB", (width, panel_h * len(GROUNDS)), (255, 255, 255))
    pen = ImageDraw.Draw(sheet)
    for g, (title, colour) in enumerate(GROUNDS):
        top = g * panel_h
        text = (0, 0, 0) if sum(colour) > 380 else (230, 230, 230)
        pen.rectangle((0, top, width, top + panel_h), fill=colour)
        pen.text((GAP, top + 2), f"{title}, magnified {ZOOM}x; at each size: " + ", ".join(COLUMNS), fill=text)
        left = GAP
        for s, size, group in zip(SIDES, cell, group_w):
            pen.text((left, top + 16), f"{s} px", fill=text)
            y = top + head_h
            for by_side in rows.values():
                for c in range(len(COLUMNS)):
                    ground = Image.new("RGBA", (s, s), colour + (255,))
                    shown = Image.alpha_composite(ground, by_side[s][c]).resize((size, size), Image.NEAREST)
                    sheet.paste(shown.convert("RGB"), (left + c * (size + GAP // 2), y + tall - size))
                y += tall + GAP
            left += group + 3 * GAP
    sheet.save(path, optimize=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("imagecore")
    parser.add_argument("out", help="the PNG to write")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        draw(pictures(os.path.abspath(args.imagecore), folder), args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
