#!/usr/bin/python3
"""Checks what ships without running it, so that a host that cannot run a build still proves it.

    check-release.py dist DIST_DIR win32|win64                 the distribution folder's binaries
    check-release.py zip ZIP DEBUG_ZIP DIST_DIR win32|win64    the release zip and its debug twin

The distribution must hold a GUI program of the right width, the DLL exporting
gf_convertImage_OneFile, and core/imagecore.exe; each of the three carries version information with
the product's name, version 1.0.0.0 and its own file name. The 32-bit binaries are
large-address-aware; an embedded manifest names no other width than its binary's, and the
program's binds Common-Controls 6.0.0.0. No binary imports TarnelFreeImage.dll: the program loads
it by its full path.

Every binary meets the PE rules of Microsoft's BinSkim that a mingw-w64 build can meet: ASLR with
relocations (BA2009), high-entropy ASLR in 64-bit binaries (BA2015), DEP (BA2016), stack protection
(BA2011: guarded functions, and a guard the loader seeds through the load configuration), no
section both writable and executable (BA2021), no writable shared section (BA2019); and the
dependent-load flag LOAD_LIBRARY_SEARCH_SYSTEM32 in the load configuration.

The release zip holds one top folder, TarnelPngToIco-1.0-win32/ (or -win64/), with the three
binaries stripped of debug sections and symbols but otherwise the distribution's own; the debug
zip holds the distribution's binaries as built, in TarnelPngToIco-1.0-win32-debug/, for reading a
crash address. Prints one line per finding and exits non-zero when anything is wrong.
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
RELEASE_NAME = "TarnelPngToIco-1.0-%s"
DEBUG_SUFFIX = "-debug"
# Three stripped binaries zip to well under a megabyte: past this the release has most likely
# taken its debug information along again.
RELEASE_ZIP_CAP = 2 * 1024 * 1024

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
DIRECTORY_EXPORT, DIRECTORY_IMPORT, DIRECTORY_RESOURCE, DIRECTORY_RELOCATIONS = 0, 1, 2, 5
DIRECTORY_LOAD_CONFIG = 10
RELOCATIONS_STRIPPED = 0x0001
DLL_HIGH_ENTROPY_VA, DLL_DYNAMIC_BASE, DLL_NX_COMPAT = 0x0020, 0x0040, 0x0100
SECTION_SHARED, SECTION_EXECUTE, SECTION_WRITE = 0x10000000, 0x20000000, 0x80000000
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# Where each width's load configuration keeps DependentLoadFlags (a 16-bit field) and the address
# of the stack guard, and the guard's starting value, which the loader replaces with a random one.
LOAD_CONFIG_LAYOUT = {"win32": (0x36, 0x3C, 4, 0xBB40E64E), "win64": (0x4E, 0x58, 8, 0x00002B992DDFA232)}
# The guard GCC's instrumented functions compare with, and the function they call when it differs.
STACK_GUARD = "__stack_chk_guard"
STACK_FAIL = "__stack_chk_fail"
X86_CALL = 0xE8
# Windows 7's known DLLs, which every later Windows keeps: Windows maps them from System32 whatever
# lies beside the program, also where it ignores the dependent-load flag (before 10 1607).
KNOWN_DLLS = {"advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "iertutil.dll",
              "imagehlp.dll", "imm32.dll", "kernel32.dll", "lpk.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll",
              "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
              "shell32.dll", "shlwapi.dll", "urlmon.dll", "user32.dll", "usp10.dll", "wininet.dll",
              "wldap32.dll", "ws2_32.dll"}
# The exe looks up the function that limits later DLL loads to System32 by this name.
SYSTEM32_ONLY_FUNCTION = b"SetDefaultDllDirectories"
RESOURCE_TYPE_VERSION = 16
RESOURCE_TYPE_MANIFEST = 24


class BadFile(Exception):
    pass


class PeFile:
    """The few parts of a PE image the checks read: header fields, exports, imports, resources."""

    def __init__(self, path, data=None):
        if data is None:
            with open(path, "rb") as f:
                data = f.read()
        self.data = data
        if self.data[:2] != b"MZ":
            raise BadFile("not a Windows executable (no MZ header)")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise BadFile("not a PE image")
        self.machine, section_count = struct.unpack_from("<HH", self.data, pe + 4)
        self.symbol_table, self.symbol_count = struct.unpack_from("<II", self.data, pe + 12)
        self.characteristics = self.u16(pe + 22)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        self.magic = self.u16(optional)
        self.image_base = self.u32(optional + 28) if self.magic == 0x10B else struct.unpack_from(
            "<Q", self.data, optional + 24)[0]
        self.subsystem = self.u16(optional + 68)
        self.dll_characteristics = self.u16(optional + 70)
        self.directories_at = optional + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", self.data, self.directories_at + 8 * i) for i in range(16)]
        sections = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", self.data, sections + 40 * i + 8) for i in range(section_count)]
        self.section_flags = [self.u32(sections + 40 * i + 36) for i in range(section_count)]
        self.section_names = [self.long_name(self.data[sections + 40 * i:sections + 40 * i + 8])
                              for i in range(section_count)]

    def directory_offset(self, index):
        return self.directories_at + 8 * index

    def string_table(self):
        return self.symbol_table + 18 * self.symbol_count

    def long_name(self, field):
        """A section's name: inline, or "/N", an offset into the symbol table's strings."""
        name = field.rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and name[1:].isdigit() and self.symbol_table:
            start = self.string_table() + int(name[1:])
            return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")
        return name

    def symbol_address(self, wanted):
        """The address (RVA) of a symbol of the COFF symbol table; None when absent or stripped."""
        index = 0
        while index < self.symbol_count:
            entry = self.symbol_table + 18 * index
            raw, value, section, _, _, aux = struct.unpack_from("<8sIhHBB", self.data, entry)
            if raw[:4] == b"\0\0\0\0":
                start = self.string_table() + struct.unpack_from("<I", raw, 4)[0]
                name = self.data[start:self.data.index(b"\0", start)]
            else:
                name = raw.rstrip(b"\0")
            if name == wanted.encode() and 0 < section <= len(self.sections):
                return self.sections[section - 1][1] + value
            index += 1 + aux
        return None

    def section_bytes(self, index):
        virtual_size, _, raw_size, raw_offset = self.sections[index]
        return self.data[raw_offset:raw_offset + min(virtual_size, raw_size) if virtual_size else raw_size]

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


def c_symbol(pe, name):
    """A C name as the image's symbol table spells it: 32-bit symbols carry one more underscore."""
    return "_" + name if pe.magic == 0x10B else name


def load_config(pe, width):
    """(problem, DependentLoadFlags, the stack guard's address) of the load configuration."""
    rva, size = pe.directories[DIRECTORY_LOAD_CONFIG]
    flags_at, guard_at, pointer_size, _ = LOAD_CONFIG_LAYOUT[width]
    if not size:
        return "no load configuration", 0, None
    start = pe.offset(rva)
    record_size = pe.u32(start)
    if record_size != size:
        return "a load configuration of %d bytes in a directory of %d" % (record_size, size), 0, None
    if record_size < guard_at + pointer_size:
        return "a load configuration of %d bytes, too short for the dependent-load flag" % record_size, 0, None
    guard = struct.unpack_from("<I" if pointer_size == 4 else "<Q", pe.data, start + guard_at)[0]
    return None, pe.u16(start + flags_at), guard - pe.image_base if guard else None


def guarded_call_sites(pe):
    """Calls of the stack-check failure in executable sections; None when the symbols are gone."""
    target = pe.symbol_address(c_symbol(pe, STACK_FAIL))
    if target is None:
        return None
    count = 0
    for index, flags in enumerate(pe.section_flags):
        if not flags & SECTION_EXECUTE:
            continue
        code, base = pe.section_bytes(index), pe.sections[index][1]
        at = code.find(X86_CALL)
        while 0 <= at <= len(code) - 5:
            if (base + at + 5 + struct.unpack_from("<i", code, at + 1)[0]) & 0xFFFFFFFF == target:
                count += 1
            at = code.find(X86_CALL, at + 1)
    return count


def check_hardening(relative, pe, width, problems, findings):
    """The BinSkim rules a mingw-w64 build can meet, and the dependent-load flag."""
    met = []

    def rule(ok, name, failure):
        if ok:
            met.append(name)
        else:
            problems.append("%s: %s" % (relative, failure))

    relocations = pe.directories[DIRECTORY_RELOCATIONS][1]
    rule(pe.dll_characteristics & DLL_DYNAMIC_BASE and relocations and not pe.characteristics & RELOCATIONS_STRIPPED,
         "ASLR", "no ASLR (DllCharacteristics 0x%x, %d bytes of relocations)" % (pe.dll_characteristics, relocations))
    if width == "win64":
        rule(pe.dll_characteristics & DLL_HIGH_ENTROPY_VA, "high-entropy ASLR", "no high-entropy ASLR")
    rule(pe.dll_characteristics & DLL_NX_COMPAT, "DEP", "no DEP (not NX-compatible)")
    names = list(zip(pe.section_names, pe.section_flags))
    writable_code = [n for n, f in names if f & SECTION_WRITE and f & SECTION_EXECUTE]
    rule(not writable_code, "no writable code", "sections both writable and executable: %s" % writable_code)
    shared = [n for n, f in names if f & SECTION_WRITE and f & SECTION_SHARED]
    rule(not shared, "no writable shared section", "writable shared sections: %s" % shared)
    problem, flags, guard = load_config(pe, width)
    rule(problem is None and flags & LOAD_LIBRARY_SEARCH_SYSTEM32, "dependent-load flag 0x%x" % flags,
         problem or "DependentLoadFlags 0x%x, without LOAD_LIBRARY_SEARCH_SYSTEM32" % flags)
    starting_value = LOAD_CONFIG_LAYOUT[width][3]
    seeded = guard is not None and struct.unpack_from("<I" if width == "win32" else "<Q", pe.data,
                                                      pe.offset(guard))[0] == starting_value
    rule(seeded, "stack guard for the loader to seed",
         "the load configuration names no stack guard holding 0x%x for the loader to replace" % starting_value)
    sites = guarded_call_sites(pe)
    if sites is not None:
        rule(sites and guard == pe.symbol_address(c_symbol(pe, STACK_GUARD)),
             "stack protection (%d guarded functions)" % sites,
             "no stack protection (%d calls of %s, or the load configuration names another guard)"
             % (sites, STACK_FAIL))
    findings.append("%s: %s" % (relative, ", ".join(met)))


def check_library_reached(binaries, problems, findings):
    """The conversion library is never imported; the program loads it by its full path after
    limiting every later load by name to System32."""
    for relative, pe in binaries.items():
        imports = [d.lower() for d in pe.imports()]
        if LIBRARY.lower() in imports:
            problems.append("%s imports %s: Windows would look for it by name" % (relative, LIBRARY))
        unknown = sorted(set(imports) - KNOWN_DLLS - {LIBRARY.lower()})
        if unknown:
            problems.append("%s imports %s, which Windows before 10 1607 looks for beside it first"
                            % (relative, ", ".join(unknown)))
        else:
            findings.append("%s: imports known DLLs only (%s)" % (relative, ", ".join(imports)))
        if relative != LIBRARY and SYSTEM32_ONLY_FUNCTION not in pe.data:
            problems.append("%s never limits later DLL loads to System32" % relative)
    if PROGRAM in binaries:
        if LIBRARY.encode("utf-16-le") in binaries[PROGRAM].data:
            findings.append("%s: loads %s by its full path, imports it not" % (PROGRAM, LIBRARY))
        else:
            problems.append("%s does not name %s to load it" % (PROGRAM, LIBRARY))


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
        check_hardening(relative, pe, width, problems, findings)
    if LIBRARY in binaries and EXPORTED_FUNCTION not in binaries[LIBRARY].exports():
        problems.append("%s does not export %s" % (LIBRARY, EXPORTED_FUNCTION))
    check_library_reached(binaries, problems, findings)
    return problems


def zipped_files(path, top, problems):
    """The files of a zip below its one top folder, by their path inside it; None when unreadable."""
    try:
        archive = zipfile.ZipFile(path)
        entries = [i for i in archive.infolist() if not i.is_dir()]
        files = {i.filename: archive.read(i) for i in entries}
    except (OSError, zipfile.BadZipFile) as error:
        problems.append("%s: %s" % (path, error))
        return None
    outside = sorted(n for n in files if not n.startswith(top + "/"))
    if outside:
        problems.append("%s holds files outside its top folder %s/: %s" % (path, top, outside))
    inside = {n[len(top) + 1:]: data for n, data in files.items() if n.startswith(top + "/")}
    if sorted(inside) != RELEASE_FILES:
        problems.append("%s holds %s in %s/, not %s" % (path, sorted(inside), top, RELEASE_FILES))
    return inside


def debug_sections(pe):
    return [n for n in pe.section_names if n.startswith(".debug")]


def same_but_debug(stripped, built):
    """Every section of the stripped image is the built one's, byte for byte: one build."""
    kept = dict(zip(built.section_names, range(len(built.sections))))
    return all(name in kept and stripped.section_bytes(i) == built.section_bytes(kept[name])
               for i, name in enumerate(stripped.section_names))


def check_zip(path, debug_path, dist, width, findings=None):
    findings = [] if findings is None else findings
    problems = []
    top = RELEASE_NAME % width
    released = zipped_files(path, top, problems) or {}
    debug = zipped_files(debug_path, top + DEBUG_SUFFIX, problems) or {}
    for relative in RELEASE_FILES:
        built_path = os.path.join(dist, relative)
        if relative not in released or not os.path.isfile(built_path):
            continue
        try:
            pe, built = PeFile(relative, released[relative]), PeFile(built_path)
        except (BadFile, struct.error, ValueError) as error:
            problems.append("%s in %s: %s" % (relative, path, error))
            continue
        if debug_sections(pe) or pe.symbol_count:
            problems.append("%s in %s is not stripped: %s" % (relative, path, debug_sections(pe) or "symbols"))
        if not same_but_debug(pe, built):
            problems.append("%s in %s is not the stripped %s" % (relative, path, built_path))
        check_hardening("%s/%s" % (top, relative), pe, width, problems, findings)
        with open(built_path, "rb") as f:
            as_built = f.read()
        if relative in debug and debug[relative] != as_built:
            problems.append("%s in %s is not the distribution's own" % (relative, debug_path))
        if not debug_sections(built):
            problems.append("%s has no debug sections for the debug zip" % built_path)
        findings.append("%s: %d bytes, %d with its debug information" % (relative, len(pe.data), len(as_built)))
    sizes = {p: os.path.getsize(p) for p in (path, debug_path) if os.path.isfile(p)}
    if sizes.get(path, 0) > RELEASE_ZIP_CAP:
        problems.append("%s is %d bytes, more than %d" % (path, sizes[path], RELEASE_ZIP_CAP))
    findings.extend("%s: %d bytes" % (os.path.basename(p), size) for p, size in sizes.items())
    return problems


def main(argv):
    findings = []
    if len(argv) == 4 and argv[1] == "dist" and argv[3] in WIDTHS:
        problems, what = check_dist(argv[2], argv[3], findings), "%s distribution in %s" % (argv[3], argv[2])
    elif len(argv) == 6 and argv[1] == "zip" and argv[5] in WIDTHS:
        problems, what = check_zip(argv[2], argv[3], argv[4], argv[5], findings), argv[2]
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
