#!/usr/bin/env python3
"""Writes the source pictures of the end-to-end test into a fresh folder, with Pillow, so that
the program converts files made by an independent writer:

  wide.png    transparent, not square: a 40 x 24 RGBA picture, its corners fully transparent
  UPPER.PNG   an upper-case extension, so it is converted to PNG rather than to an icon
  multi.ico   an icon of three sizes (16, 32 and 48 pixels)
  broken.png  not a picture at all: its conversion must fail and its entry stay unselected
"""
import pathlib
import shutil
import sys

from PIL import Image, ImageDraw


def main(folder):
    folder = pathlib.Path(folder)
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)

    wide = Image.new("RGBA", (40, 24), (0, 0, 0, 0))
    ImageDraw.Draw(wide).ellipse((4, 2, 35, 21), fill=(200, 40, 40, 255))
    wide.save(folder / "wide.png")

    upper = Image.new("RGBA", (20, 30), (30, 120, 200, 255))
    ImageDraw.Draw(upper).rectangle((5, 5, 14, 24), fill=(250, 250, 250, 128))
    upper.save(folder / "UPPER.PNG", format="PNG")

    icon = Image.new("RGBA", (48, 48), (0, 0, 0, 0))
    ImageDraw.Draw(icon).rectangle((8, 8, 39, 39), fill=(40, 160, 60, 255))
    icon.save(folder / "multi.ico", format="ICO", sizes=[(16, 16), (32, 32), (48, 48)])

    (folder / "broken.png").write_bytes(b"this is not a PNG file\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
