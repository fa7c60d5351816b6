#!/usr/bin/python3
"""Hostile and oversized inputs: how long imagecore takes, and how much memory, to convert or
refuse each one. Run by hand:

    /usr/bin/python3 bench/hostile.py build/native/dist/core/imagecore [--repeat N]

Every file is generated here. The target for each is the same: converted or refused within
2 s and under 256 MB peak resident memory, on a 2-core machine. Times are the median of N runs
of one process per file (the CPU time beside them shows what a busy machine adds); memory is the
largest peak seen (from /usr/bin/time).
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

TARGET_SECONDS = 2.0
TARGET_BYTES = 256 * 1000 * 1000
MIB = 1024 * 1024
CAP_SIDE = 5792          # the largest square RGBA image within the library's 128 MiB cap
ENTRY_CAP_SIDE = 2048    # the largest icon entry the library reads
LARGE_SIDE = 16384       # the largest square PNG source, read in pieces
PNG_FILTER_NONE = 0
PNG_FILTER_INVALID = 5


# --- PNG and icon builders, independent of the library

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_file(width, height, bit_depth, colour_type, raw_rows, level=9):
    """A PNG from already filtered rows (filter byte included)."""
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) +
            png_chunk(b"IDAT", zlib.compress(raw_rows, level)) + png_chunk(b"IEND", b""))


def flat_1bit_rows(side, last_filter=PNG_FILTER_NONE, marker=None):
    """Rows of a side x side 1-bit grey picture, all black; `marker` sets one byte so that
    pictures differ; `last_filter` may make the last row's filter byte invalid."""
    row_bytes = (side + 7) // 8
    row = bytes([PNG_FILTER_NONE]) + bytes(row_bytes)
    rows = bytearray(row * side)
    rows[(side - 1) * (row_bytes + 1)] = last_filter
    if marker is not None:
        rows[1 + marker % row_bytes + (marker // row_bytes % side) * (row_bytes + 1)] = 0x80
    return bytes(rows)


def icon_file(entries):
    """An ICO from (bit count, stored bytes[, size]) rows. Rows given the same bytes object
    share one stored copy; a size claims only the start of it."""
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(header) + 16 * len(entries)
    rows, data, placed = b"", b"", {}
    for bits, blob, *size in entries:
        if id(blob) not in placed:
            placed[id(blob)] = offset
            data += blob
            offset += len(blob)
        rows += struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, bits, size[0] if size else len(blob), placed[id(blob)])
    return header + rows + data


def bitmap_entry(side, bits, noise=True):
    """A bitmap entry of noise (or zeros) at `bits` per pixel, palette for the indexed depths,
    and an all-zero AND mask."""
    stride = (side * bits + 31) // 32 * 4
    mask_stride = (side + 31) // 32 * 4
    colours = 1 << bits if bits <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, side, 2 * side, 1, bits, 0, 0, 0, 0, colours, 0)
    palette = b"".join(struct.pack("<BBBB", i % 256, (i * 7) % 256, (i * 13) % 256, 0) for i in range(colours))
    pixels = os.urandom(stride * side) if noise else bytes(stride * side)
    return header + palette + pixels + bytes(mask_stride * side)


def rgba_rows(side, noisy_rows, bytes_per_sample=1):
    """RGBA rows: noise in the first `noisy_rows`, a smooth gradient below, so that a picture
    at the caps still fits in the source file cap."""
    pixel = 4 * bytes_per_sample
    out = bytearray()
    for y in range(side):
        out.append(PNG_FILTER_NONE)
        if y < noisy_rows:
            out += os.urandom(side * pixel)
        else:
            shade = bytes([y * 255 // side]) * pixel
            out += shade * side
    return bytes(out)


def make_cases(folder):
    """(file name, what it is) for every case, written into `folder`."""
    cases = []

    def add(name, data, what):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        cases.append((name, what))

    broken = png_file(CAP_SIDE, CAP_SIDE, 1, 0, flat_1bit_rows(CAP_SIDE, PNG_FILTER_INVALID))
    add("shared-entry.ico", icon_file([(1, broken)] * 256),
        f"256 rows, one {len(broken) // 1024} KB {CAP_SIDE}px 1-bit PNG entry, last filter byte bad, to PNG")
    add("shared-entry-16.ico", icon_file([(1, broken)] * 16), "the same with 16 rows, to PNG")

    distinct = [png_file(CAP_SIDE, CAP_SIDE, 1, 0, flat_1bit_rows(CAP_SIDE, marker=i)) for i in range(256)]
    add("many-entries.png", icon_file([(1, blob) for blob in distinct]),
        f"icon named .png, 256 distinct valid {CAP_SIDE}px 1-bit PNG entries, to ICO")
    mid = [png_file(ENTRY_CAP_SIDE, ENTRY_CAP_SIDE, 1, 0, flat_1bit_rows(ENTRY_CAP_SIDE, marker=i))
           for i in range(256)]
    add("many-entries-2048.png", icon_file([(1, blob) for blob in mid]),
        f"icon named .png, 256 distinct valid {ENTRY_CAP_SIDE}px 1-bit PNG entries, to ICO")
    mid_broken = [png_file(ENTRY_CAP_SIDE, ENTRY_CAP_SIDE, 1, 0,
                           flat_1bit_rows(ENTRY_CAP_SIDE, PNG_FILTER_INVALID, marker=i)) for i in range(256)]
    add("many-broken-2048.ico", icon_file([(1, blob) for blob in mid_broken]),
        f"256 distinct {ENTRY_CAP_SIDE}px 1-bit PNG entries, each with a bad last filter byte, to PNG")

    # Entries of the largest side read at 16 bits a channel: the most inflating per pixel.
    row = bytes([PNG_FILTER_NONE]) + bytes(ENTRY_CAP_SIDE * 8)
    deep_entry = png_file(ENTRY_CAP_SIDE, ENTRY_CAP_SIDE, 16, 6, row * ENTRY_CAP_SIDE, level=6)
    deep_set = [deep_entry + bytes(i) for i in range(256)]  # distinct by their size; bytes after IEND are ignored
    add("many-deep-entries.png", icon_file([(32, blob) for blob in deep_set]),
        f"icon named .png, 256 distinct valid {ENTRY_CAP_SIDE}px 16-bit RGBA PNG entries, to ICO")
    rows = bytearray(row * ENTRY_CAP_SIDE)
    rows[-len(row)] = PNG_FILTER_INVALID
    deep_broken = png_file(ENTRY_CAP_SIDE, ENTRY_CAP_SIDE, 16, 6, bytes(rows), level=6) + bytes(255)
    add("overlapping-deep.ico", icon_file([(32, deep_broken, len(deep_broken) - i) for i in range(256)]),
        f"256 rows over one damaged {ENTRY_CAP_SIDE}px 16-bit RGBA PNG, each a byte shorter, to PNG")

    # The reader finds a PNG entry's end from its chunks; here 256 slots point at one entry whose
    # image data is cut into chunks of one byte, millions of them, each CRC wrong.
    small = png_file(ENTRY_CAP_SIDE, ENTRY_CAP_SIDE, 1, 0, flat_1bit_rows(ENTRY_CAP_SIDE))
    ihdr_end = 8 + 25
    idat = zlib.compress(flat_1bit_rows(ENTRY_CAP_SIDE), 9) + bytes(4400 * 1024)
    dense = (small[:ihdr_end] + b"".join(b"\0\0\0\1IDAT" + idat[i:i + 1] + b"\0\0\0\0" for i in range(len(idat)))
             + png_chunk(b"IEND", b""))
    add("dense-chunks.ico", icon_file([(32, dense, 8)] * 256),
        f"256 rows, size field 8, over one {len(dense) // MIB} MiB PNG entry of one-byte chunks with wrong CRCs, to PNG")
    add("dense-chunks.png", icon_file([(32, dense, 8)] * 256), "the same, icon named .png, to ICO")

    for side, bits in ((CAP_SIDE, 1), (5600, 16), (4000, 32)):
        add(f"entry-{bits}bit-{side}.ico", icon_file([(bits, bitmap_entry(side, bits))]),
            f"one {side}px {bits}-bit bitmap entry of noise, to PNG")
    for bits in (1, 4, 8, 16, 24, 32):
        add(f"entry-{bits}bit-{ENTRY_CAP_SIDE}.ico", icon_file([(bits, bitmap_entry(ENTRY_CAP_SIDE, bits))]),
            f"one {ENTRY_CAP_SIDE}px {bits}-bit bitmap entry of noise (largest read), to PNG")

    bomb = png_file(CAP_SIDE, CAP_SIDE, 1, 0, flat_1bit_rows(CAP_SIDE))
    add("bomb-1bit.png", bomb, f"{len(bomb) // 1024} KB 1-bit PNG of {CAP_SIDE}px, to ICO")
    add("bomb-1bit.PNG", bomb, "the same, PNG to PNG (checked and copied)")
    add("bomb-entry.ico", icon_file([(1, bomb)]), "the same PNG as an icon entry, to PNG")

    # Beyond the caps a PNG is read in pieces, up to LARGE_SIDE a side; its data must still be able
    # to hold the rows it declares.
    starved = png_file(LARGE_SIDE, LARGE_SIDE, 8, 6, os.urandom(64 * 1024), level=0)
    add("starved-large.png", starved, f"{len(starved) // 1024} KB of data under a {LARGE_SIDE}px RGBA header, to ICO")
    add("starved-large.PNG", starved, "the same, PNG to PNG")

    large = png_file(CAP_SIDE, CAP_SIDE, 8, 6, rgba_rows(CAP_SIDE, CAP_SIDE * 49 // 100), level=1)
    add("caps-rgba.png", large, f"{len(large) / MIB:.1f} MiB {CAP_SIDE}px RGBA PNG (legitimate, at the caps), to ICO")
    add("caps-rgba.PNG", large, "the same, PNG to PNG")
    sound = [bitmap_entry(ENTRY_CAP_SIDE, bits) for bits in (32, 32, 32, 24)]
    add("caps-icon.png", icon_file([(bits, blob) for bits, blob in zip((32, 32, 32, 24), sound)]),
        f"icon named .png near the source cap, four sound {ENTRY_CAP_SIDE}px bitmap entries, to ICO (copied)")
    deep = png_file(CAP_SIDE, CAP_SIDE, 16, 6, rgba_rows(CAP_SIDE, CAP_SIDE // 10, 2), level=1)
    add("caps-rgba16.png", deep, f"{len(deep) // MIB} MiB {CAP_SIDE}px 16-bit RGBA PNG (legitimate), to ICO")
    return cases


# --- measuring

def run_measured(imagecore, out_dir, path):
    """Wall seconds, CPU seconds, peak RSS in bytes, and imagecore's verdict for one process."""
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", imagecore, "-f", "-o", out_dir, path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    lines = proc.stdout.decode(errors="replace").splitlines()
    if not lines:
        raise RuntimeError(f"imagecore said nothing (status {proc.returncode}): {proc.stderr.decode()[:300]}")
    verdict = lines[0][lines[0].index(": ", lines[0].index(" -> ")) + 2:]
    user, system, peak_kib = proc.stderr.decode().split()[-3:]
    return elapsed, float(user) + float(system), int(peak_kib) * 1024, verdict


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("imagecore")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--only", default="", help="run only the cases whose file name contains this")
    args = parser.parse_args()
    imagecore = os.path.abspath(args.imagecore)

    with tempfile.TemporaryDirectory() as work:
        src, out = os.path.join(work, "src"), os.path.join(work, "out")
        os.mkdir(src)
        os.mkdir(out)
        print("generating files...", flush=True)
        cases = make_cases(src)
        print(f"target: converted or refused within {TARGET_SECONDS:.0f} s and {TARGET_BYTES // 1000000} MB\n")
        print(f"{'case':24} {'size':>9} {'seconds':>8} {'cpu s':>6} {'peak MB':>8}  {'target':6}  result / what")
        met = 0
        cases = [(name, what) for name, what in cases if args.only in name]
        for name, what in cases:
            path = os.path.join(src, name)
            runs = [run_measured(imagecore, out, path) for _ in range(args.repeat)]
            seconds = statistics.median(r[0] for r in runs)
            cpu = statistics.median(r[1] for r in runs)
            peak = max(r[2] for r in runs)
            ok = seconds <= TARGET_SECONDS and peak <= TARGET_BYTES
            met += ok
            size = os.path.getsize(path)
            print(f"{name:24} {size / 1000:>7.0f}KB {seconds:>8.2f} {cpu:>6.2f} {peak / 1000000:>8.1f}"
                  f"  {'met' if ok else 'MISSED':6}  {runs[0][3]} / {what}", flush=True)
        print(f"\n{met}/{len(cases)} within target")
    return 0 if met == len(cases) else 1


if __name__ == "__main__":
    sys.exit(main())
