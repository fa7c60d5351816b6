#!/usr/bin/python3
"""The release checks against the built binaries, and against broken copies they must refuse.

Usage: release_check_test.py DIST_DIR win32|win64 ZIP_FILE DEBUG_ZIP_FILE   (prints 'N passed, M failed')
"""
import os
import runpy
import shutil
import struct
import sys
import tempfile
import types
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
# The checker's functions and constants, loaded from its script (its name is not a module name).
check = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "../../scripts/check-release.py")))


def patched_copy(dist, scratch, relative, change):
    """A copy of the distribution with one file changed (or removed, when change is None)."""
    copy = os.path.join(scratch, "dist-%d" % len(os.listdir(scratch)))
    shutil.copytree(dist, copy)
    path = os.path.join(copy, relative)
    if change is None:
        os.remove(path)
    else:
        with open(path, "rb") as f:
            data = bytearray(f.read())
        change(data)
        with open(path, "wb") as f:
            f.write(data)
    return copy


def other_width(width):
    return [w for w in check.WIDTHS if w != width][0]


def other_machine(width):
    def change(data):
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        other = check.WIDTHS[other_width(width)][0]
        struct.pack_into("<H", data, pe + 4, other)
    return change


def renamed_export(data):
    name = check.EXPORTED_FUNCTION.encode() + b"\0"
    at = data.index(name)
    data[at + len(name) - 2:at + len(name) - 1] = b"X"


def replaced_by(other_file):
    def change(data):
        with open(other_file, "rb") as f:
            data[:] = f.read()
    return change


def without_large_address(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    characteristics = struct.unpack_from("<H", data, pe + 22)[0]
    struct.pack_into("<H", data, pe + 22, characteristics & ~check.LARGE_ADDRESS_AWARE)


def manifest_of_width(width):
    """Makes the embedded manifest name that width's architecture, at the manifest's own length."""
    def change(data):
        start = data.index(b"<?xml")
        end = data.index(b"</assembly>", start) + len(b"</assembly>")
        named = check.MANIFEST_ARCHITECTURES[width].encode()
        text = bytes(data[start:end]).replace(b'processorArchitecture="*"', b'processorArchitecture="%s"' % named)
        while len(text) > end - start:  # indentation pays for the longer names
            text = text.replace(b"\n  ", b"\n ", 1)
        data[start:end] = text.ljust(end - start)
    return change


def cleared_dll_characteristics(bits):
    def change(data):
        pe = check.PeFile("", bytes(data))
        at = pe.directories_at - (96 if pe.magic == 0x10B else 112) + 70
        struct.pack_into("<H", data, at, pe.dll_characteristics & ~bits)
    return change


def without_dependent_load_flag(width):
    def change(data):
        pe = check.PeFile("", bytes(data))
        record = pe.offset(pe.directories[check.DIRECTORY_LOAD_CONFIG][0])
        struct.pack_into("<H", data, record + check.LOAD_CONFIG_LAYOUT[width][0], 0)
    return change


def writable_code(data):
    pe = check.PeFile("", bytes(data))
    header = pe.directories_at + 8 * 16 + 40 * pe.section_names.index(".text") + 36
    struct.pack_into("<I", data, header, pe.section_flags[pe.section_names.index(".text")] | check.SECTION_WRITE)


def renamed_import(data):
    """One of the program's known imports renamed to a DLL that no Windows maps from System32."""
    at = data.index(b"OLEAUT32.dll")
    data[at:at + 12] = b"UXTHEME1.dll"


def rezipped(zip_path, scratch, rename=lambda name: name, replace=None):
    """A copy of a zip with its entries renamed, and one file's content replaced by another file."""
    copy = os.path.join(scratch, "copy-%d.zip" % len(os.listdir(scratch)))
    with zipfile.ZipFile(zip_path) as source, zipfile.ZipFile(copy, "w") as target:
        for entry in source.infolist():
            data = source.read(entry)
            if replace and entry.filename.endswith("/" + replace[0]):
                with open(replace[1], "rb") as f:
                    data = f.read()
            target.writestr(rename(entry.filename), data)
    return copy


def expect_problem(problems, words):
    return any(words in p for p in problems), "expected a problem saying %r, got %s" % (words, problems)


def run(dist, width, zip_path, debug_zip):
    scratch = tempfile.mkdtemp()
    top = check.RELEASE_NAME % width

    def zip_problems(release=zip_path, debug=debug_zip):
        return check.check_zip(release, debug, dist, width)

    def dist_problems(relative, change):
        return check.check_dist(patched_copy(dist, scratch, relative, change), width)

    try:
        cases = [
            ("the built distribution is sound", lambda: (check.check_dist(dist, width) == [],
                                                         check.check_dist(dist, width))),
            ("the built zips hold the three binaries in one folder, stripped and as built",
             lambda: (zip_problems() == [], zip_problems())),
            ("a zip without its top folder is refused", lambda: expect_problem(
                zip_problems(rezipped(zip_path, scratch, lambda name: name[len(top) + 1:] or "x/")),
                "outside its top folder")),
            ("a release zip with a binary as built is refused", lambda: expect_problem(
                zip_problems(rezipped(zip_path, scratch, replace=(check.PROGRAM, os.path.join(dist, check.PROGRAM)))),
                "is not stripped")),
            ("a debug zip of another build is refused", lambda: expect_problem(
                zip_problems(debug=rezipped(debug_zip, scratch, replace=(check.LIBRARY, os.path.join(dist, check.CORE)))),
                "is not the distribution's own")),
            ("a binary without ASLR or DEP is refused", lambda: (
                expect_problem(dist_problems(check.CORE, cleared_dll_characteristics(check.DLL_DYNAMIC_BASE)),
                               check.CORE + ": no ASLR")[0] and
                expect_problem(dist_problems(check.PROGRAM, cleared_dll_characteristics(check.DLL_NX_COMPAT)),
                               check.PROGRAM + ": no DEP")[0], "ASLR and DEP")),
            ("a binary without the dependent-load flag is refused", lambda: expect_problem(
                dist_problems(check.LIBRARY, without_dependent_load_flag(width)),
                check.LIBRARY + ": DependentLoadFlags 0x0")),
            ("a static import of a DLL Windows searches for is refused", lambda: expect_problem(
                dist_problems(check.PROGRAM, renamed_import), check.PROGRAM + " imports uxtheme1.dll")),
            ("a binary with writable code is refused", lambda: expect_problem(
                dist_problems(check.PROGRAM, writable_code), check.PROGRAM + ": sections both writable and executable")),
            ("a program of the other width is refused", lambda: expect_problem(
                check.check_dist(patched_copy(dist, scratch, check.PROGRAM, other_machine(width)), width),
                "%s: machine" % check.PROGRAM)),
            ("a DLL without the conversion export is refused", lambda: expect_problem(
                check.check_dist(patched_copy(dist, scratch, check.LIBRARY, renamed_export), width),
                "does not export " + check.EXPORTED_FUNCTION)),
            ("a missing command-line converter is refused", lambda: expect_problem(
                check.check_dist(patched_copy(dist, scratch, check.CORE, None), width),
                check.CORE + " is missing")),
            ("version information of another binary is refused", lambda: expect_problem(
                check.check_dist(patched_copy(dist, scratch, check.LIBRARY,
                                              replaced_by(os.path.join(dist, check.CORE))), width),
                "%s: OriginalFilename" % os.path.basename(check.LIBRARY))),
            ("a manifest naming the other width is refused", lambda: expect_problem(
                check.check_dist(patched_copy(dist, scratch, check.PROGRAM, manifest_of_width(other_width(width))),
                                 width),
                "%s: the manifest binds Microsoft.Windows.Common-Controls" % check.PROGRAM)),
            ("a zip with a stray file is refused", lambda: zip_with_extra(zip_path, debug_zip, dist, width, scratch)),
        ]
        if width == "win64":
            cases.append(("a 64-bit binary without high-entropy ASLR is refused", lambda: expect_problem(
                dist_problems(check.PROGRAM, cleared_dll_characteristics(check.DLL_HIGH_ENTROPY_VA)),
                check.PROGRAM + ": no high-entropy ASLR")))
        if width == "win32":
            cases.append(("a 32-bit binary without the large-address flag is refused", lambda: expect_problem(
                check.check_dist(patched_copy(dist, scratch, check.LIBRARY, without_large_address), width),
                "%s: not large-address-aware" % check.LIBRARY)))
        passed = failed = 0
        for name, case in cases:
            ok, detail = case()
            print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": %s" % (detail,)))
            passed, failed = passed + ok, failed + (not ok)
        print("%d passed, %d failed" % (passed, failed))
        return 1 if failed else 0
    finally:
        shutil.rmtree(scratch)


def zip_with_extra(zip_path, debug_zip, dist, width, scratch):
    copy = os.path.join(scratch, "extra.zip")
    shutil.copy(zip_path, copy)
    with zipfile.ZipFile(copy, "a") as z:
        z.writestr("%s/readme.txt" % (check.RELEASE_NAME % width), "stray")
    return expect_problem(check.check_zip(copy, debug_zip, dist, width), "holds")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(run(*sys.argv[1:]))
