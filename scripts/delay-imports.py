#!/usr/bin/python3
"""Makes one object whose import stubs load DLLs at their first call instead of at start.

    delay-imports.py OUTPUT.o TOOL_PREFIX IMPORT_LIB... -- LINKED_FILE...

Each IMPORT_LIB is a toolchain import library (libgdiplus.a); only the functions that the
LINKED_FILEs (the static libraries and objects of one executable) import from it get a stub. The
stubs come from dlltool's delay-import library, linked into one relocatable object: GNU ld 2.40
drops the stubs' code when it takes them from an archive in a 32-bit link.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile



def symbols(tool, path, kind):
    """The symbols of that nm kind ("I" import, "U" undefined) in a library or object."""
    listing = subprocess.run([tool + "nm", path], check=True, capture_output=True, text=True).stdout
    return {parts[-1] for parts in map(str.split, listing.splitlines()) if len(parts) >= 2 and parts[-2] == kind}


def offered_functions(tool, import_lib):
    """What code may reference of an import library (its import symbol, or the function's own
    name, which reaches a jump through it), mapped to the name a definition file gives the
    function. 32-bit C names carry a leading underscore."""
    import_prefix, c_prefix = ("__imp__", "_") if tool.startswith("i686") else ("__imp_", "")
    offered = {}
    for symbol in symbols(tool, import_lib, "I"):
        if symbol.startswith(import_prefix):
            function = symbol[len(import_prefix):]
            offered[symbol] = offered[c_prefix + function] = function
    return offered


def dll_name(import_lib):
    """libgdiplus.a binds gdiplus.dll."""
    return re.sub(r"^lib(.*)\.a$", r"\1.dll", os.path.basename(import_lib))


def main(argv):
    separator = argv.index("--")
    output, tool, import_libs, linked = argv[1], argv[2], argv[3:separator], argv[separator + 1:]
    wanted = set()
    for path in linked:
        wanted |= symbols(tool, path, "U")
    scratch = tempfile.mkdtemp()
    try:
        members = []
        for index, import_lib in enumerate(import_libs):
            offered = offered_functions(tool, import_lib)
            used = sorted({offered[symbol] for symbol in wanted if symbol in offered})
            dll = dll_name(import_lib)
            if not used:
                continue
            folder = os.path.join(scratch, str(index))
            os.mkdir(folder)
            definition = os.path.join(folder, "exports.def")
            with open(definition, "w") as f:
                f.write("LIBRARY %s\nEXPORTS\n%s\n" % (dll, "\n".join(used)))
            archive = os.path.join(folder, "delay.a")
            subprocess.run([tool + "dlltool", "--kill-at", "--input-def", definition, "--dllname", dll,
                            "--output-delaylib", archive], check=True)
            subprocess.run([tool + "ar", "x", archive], check=True, cwd=folder)
            # The head, the stubs, then the tail: the order their import address table needs.
            members += sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".o"))
        if not members:
            print("delay-imports: none of the DLLs is used", file=sys.stderr)
            return 1
        subprocess.run([tool + "ld", "-r", "-o", output] + members, check=True)
        return 0
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    if "--" not in sys.argv or len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv))
