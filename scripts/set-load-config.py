#!/usr/bin/python3
"""Points a linked PE image's load-configuration directory at its _load_config_used record.

    set-load-config.py IMAGE

GNU ld 2.40, this toolchain's, leaves the directory empty even when the record is linked in;
Windows reads a record only through the directory. The directory's size is the record's own first field. Exits
non-zero when the image has no such record.
"""
import os
import runpy
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PeFile = runpy.run_path(os.path.join(HERE, "check-release.py"))["PeFile"]
DIRECTORY_LOAD_CONFIG = 10
# The C name; a 32-bit image spells its symbols with one more leading underscore.
RECORD = "_load_config_used"


def main(path):
    pe = PeFile(path)
    address = pe.symbol_address(RECORD if pe.magic == 0x20B else "_" + RECORD)
    if address is None:
        print("%s: no %s symbol" % (path, RECORD), file=sys.stderr)
        return 1
    size = pe.u32(pe.offset(address))
    data = bytearray(pe.data)
    struct.pack_into("<II", data, pe.directory_offset(DIRECTORY_LOAD_CONFIG), address, size)
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
