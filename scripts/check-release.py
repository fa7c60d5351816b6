#!/usr/bin/python3
"""Checks what ships without running it, so that a host that cannot run a build still proves it.

    check-release.py dist DIST_DIR win32|win64    the distribution folder's binaries
    check-release.py zip ZIP_FILE                  the release zip's file list

The distribution must hold a GUI program of the right width that imports TarnelFreeImage.dll, the
DLL exporting gf_convertImage_OneFile, and core/imagecore.exe; each of the three carries version
information with the product's name, version 1.0.0.0 and its own file name. The 32-bit binaries are
large-address-aware; an embedded manifest names no other width than its binary's, and the
program's binds Common-Controls 6.0.0.0. Prints one line per finding and exits non-zero when
anything is wrong.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

PRODUCT_NAME = "Tarnel Free PNG to ICO Converter"
VERSION_TEXT = "1.0.0.0"
VERSION_NUMBERS = (1, 0, 0, 0)
PROGRAM = "TarnelPngToIco.exe"
LIBRARY = "TarnelFreeImage.dll"
CORE = "core/imagecore.exe"
RELEASE_FILES = sorted([PROGRAM, LIBRARY, CORE])
EXPORTED_FUNCTION = "gf_convertImage_OneFile"

# COFF machine and optional-header magic of each width.
WIDTHS = {"win32": (0x014C, 0x10B, "PE32"), "win64": (0x8664, 0x20B, "PE32+")}
# The name a side-by-side manifest gives each width; "*" binds whichever width loads it.
MANIFEST_ARCHITECTURES = {"win32": "x86", "win64": "amd64"}
ANY_ARCHITECTURE = "*"
COMMON_CONTROLS = ("Microsoft.Windows.Common-Controls", "6.0.0.0")
MANIFEST_NS = "{urn:schemas-microsoft-com:asm.v1}"
SUBSYSTEM_GUI = 2
SUBSYSTEM_CONSOLE = 3
# Without it a 32-bit process gets 2 GB of address space on 64-bit Windows instead of 4.
LARGE_ADDRESS_AWARE = 0x0020
DIRECTORY_EXPORT, DIRECTORY_IMPORT, DIRECTORY_RESOURCE = 0, 1, 2
RESOURCE_TYPE_VERSION = 16
RESOURCE_TYPE_MANIFEST = 24


class BadFile(Exception):
    pass


class PeFile:
    """The few parts of a PE image the checks read: header fields, exports, imports, resources."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise BadFile("not a Windows executable (no MZ header)")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise BadFile("not a PE image")
        self.machine, section_count = struct.unpack_from("<HH", self.data, pe + 4)
        self.characteristics = self.u16(pe + 22)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        self.magic = self.u16(optional)
        self.subsystem = self.u16(optional + 68)
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i) for i in range(16)]
        sections = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", self.data, sections + 40 * i + 8) for i in range(section_count)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise BadFile("address 0x%x lies in no section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def exports(self):
        rva, size = self.directories[DIRECTORY_EXPORT]
        if not size:
            return []
        table = self.offset(rva)
        count, names = self.u32(table + 24), self.u32(table + 32)
        return [self.text(self.u32(self.offset(names) + 4 * i)) for i in range(count)]

    def imports(self):
        rva, size = self.directories[DIRECTORY_IMPORT]
        found = []
        entry = self.offset(rva) if size else None
        while entry is not None and self.u32(entry + 12):
            found.append(self.text(self.u32(entry + 12)))
            entry += 20
        return found

    def version_resource(self):
        """The raw VS_VERSIONINFO block, or None."""
        return self.resource(RESOURCE_TYPE_VERSION)

    def resource(self, resource_type):
        """The raw data of the first resource of that type, or None."""
        rva, size = self.directories[DIRECTORY_RESOURCE]
        if not size:
            return None
        root = self.offset(rva)
        directory = root
        for wanted in (resource_type, None, None):  # type, then the first name and language
            target = self.resource_entry(root, directory, wanted)
            if target is None:
                return None
            directory = root + (target & 0x7FFFFFFF)
        data_rva, data_size = struct.unpack_from("<II", self.data, directory)
        start = self.offset(data_rva)
        return self.data[start:start + data_size]

    def resource_entry(self, root, directory, wanted_id):
        named, ids = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
            if wanted_id is None or name == wanted_id:
                return target
        return None


def version_strings(block):
    """The fixed file version and the string table of a VS_VERSIONINFO block."""
    strings = {}
    fixed = None

    def walk(offset, end):
        nonlocal fixed
        while offset + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", block, offset)
            if length == 0:
                break
            key_end = offset + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[offset + 6:key_end].decode("utf-16-le")
            value = (key_end + 2 + 3) & ~3
            if key == "VS_VERSION_INFO":
                ms, ls = struct.unpack_from("<II", block, value + 8)
                fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
                walk((value + value_length + 3) & ~3, offset + length)
            elif key in ("StringFileInfo", "VarFileInfo") or (kind == 1 and value_length == 0):
                walk(value, offset + length)
            elif kind == 1:
                strings[key] = block[value:value + 2 * value_length].decode("utf-16-le").rstrip("\0")
            offset = (offset + length + 3) & ~3

    walk(0, len(block))
    return fixed, strings


def check_version(path, pe, problems):
    name = os.path.basename(path)
    block = pe.version_resource()
    if block is None:
        problems.append("%s: no version information" % name)
        return
    fixed, strings = version_strings(block)
    expected = {"ProductName": PRODUCT_NAME, "FileVersion": VERSION_TEXT, "ProductVersion": VERSION_TEXT,
                "OriginalFilename": name}
    for key, value in expected.items():
        if strings.get(key) != value:
            problems.append("%s: %s is %r, not %r" % (name, key, strings.get(key), value))
    if not strings.get("FileDescription"):
        problems.append("%s: no FileDescription" % name)
    if fixed != VERSION_NUMBERS:
        problems.append("%s: fixed file version is %s" % (name, fixed))


def manifest_identities(text):
    """(name, version, architecture) of the manifest's own identity and of each dependency."""
    root = ElementTree.fromstring(text.rstrip(b"\0 \r\n"))
    own = root.find(MANIFEST_NS + "assemblyIdentity")
    dependencies = root.findall(".//%sdependentAssembly/%sassemblyIdentity" % (MANIFEST_NS, MANIFEST_NS))
    return [(i.get("name"), i.get("version"), i.get("processorArchitecture"))
            for i in ([own] if own is not None else []) + dependencies]


def check_manifest(relative, pe, width, wants_common_controls, problems, findings):
    block = pe.resource(RESOURCE_TYPE_MANIFEST)
    if block is None:
        if wants_common_controls:
            problems.append("%s: no manifest" % relative)
        return
    try:
        identities = manifest_identities(block)
    except ElementTree.ParseError as error:
        problems.append("%s: the manifest is not XML: %s" % (relative, error))
        return
    own = MANIFEST_ARCHITECTURES[width]
    for name, version, architecture in identities:
        if architecture not in (None, ANY_ARCHITECTURE, own):
            problems.append("%s: the manifest binds %s to processorArchitecture %r, not %r or %r"
                            % (relative, name, architecture, ANY_ARCHITECTURE, own))
    controls = [i for i in identities if (i[0], i[1]) == COMMON_CONTROLS]
    if wants_common_controls and not controls:
        problems.append("%s: the manifest does not depend on %s %s" % ((relative,) + COMMON_CONTROLS))
    findings.append("%s: manifest %s" % (relative, ", ".join(
        "%s %s (%s)" % (name, version, architecture) for name, version, architecture in identities) or "without assemblies"))


def check_large_address(relative, pe, width, problems, findings):
    if width != "win32":
        return
    if pe.characteristics & LARGE_ADDRESS_AWARE:
        findings.append("%s: large-address-aware" % relative)
    else:
        problems.append("%s: not large-address-aware (characteristics 0x%x)" % (relative, pe.characteristics))


def check_dist(folder, width, findings=None):
    machine, magic, kind = WIDTHS[width]
    problems = []
    findings = [] if findings is None else findings
    binaries = {}
    for relative, subsystem in ((PROGRAM, SUBSYSTEM_GUI), (LIBRARY, None), (CORE, SUBSYSTEM_CONSOLE)):
        path = os.path.join(folder, relative)
        if not os.path.isfile(path):
            problems.append("%s is missing" % relative)
            continue
        try:
            pe = PeFile(path)
        except (BadFile, struct.error, ValueError) as error:
            problems.append("%s: %s" % (relative, error))
            continue
        binaries[relative] = pe
        if pe.machine != machine or pe.magic != magic:
            problems.append("%s: machine 0x%04x, magic 0x%x: not a %s image" % (relative, pe.machine, pe.magic, kind))
        if subsystem is not None and pe.subsystem != subsystem:
            problems.append("%s: subsystem %d, not %d" % (relative, pe.subsystem, subsystem))
        check_version(path, pe, problems)
        check_large_address(relative, pe, width, problems, findings)
        check_manifest(relative, pe, width, relative == PROGRAM, problems, findings)
    if LIBRARY in binaries and EXPORTED_FUNCTION not in binaries[LIBRARY].exports():
        problems.append("%s does not export %s" % (LIBRARY, EXPORTED_FUNCTION))
    if PROGRAM in binaries and LIBRARY.lower() not in [d.lower() for d in binaries[PROGRAM].imports()]:
        problems.append("%s does not import %s" % (PROGRAM, LIBRARY))
    return problems


def check_zip(path):
    try:
        names = sorted(zipfile.ZipFile(path).namelist())
    except (OSError, zipfile.BadZipFile) as error:
        return ["%s: %s" % (path, error)]
    return [] if names == RELEASE_FILES else ["%s holds %s, not %s" % (path, names, RELEASE_FILES)]


def main(argv):
    findings = []
    if len(argv) == 4 and argv[1] == "dist" and argv[3] in WIDTHS:
        problems, what = check_dist(argv[2], argv[3], findings), "%s distribution in %s" % (argv[3], argv[2])
    elif len(argv) == 3 and argv[1] == "zip":
        problems, what = check_zip(argv[2]), argv[2]
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for finding in findings:
        print("ok: " + finding)
    for problem in problems:
        print("FAIL: " + problem)
    print("%s: %s" % (what, "%d problem(s)" % len(problems) if problems else "sound"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
