#!/usr/bin/python3
"""The Wine probe answers what this host really does.

Whether the kernel executes 32-bit code is witnessed here independently of Wine: by executing a
minimal 32-bit ELF program that only exits. A missing and a broken loader must be told apart
from a kernel that cannot execute 32-bit code; on such a kernel the absence of 32-bit Wine is
no fault. TARNEL_ELF32_PROGRAM plays the other kind of host: /bin/true a kernel that runs 32-bit
code, /bin/false one that does not.

Usage: probe_test.py WINE_PROBE_SCRIPT   (prints 'N passed, M failed')
"""
import os
import stat
import struct
import subprocess
import sys
import tempfile

NO_32BIT = 3

# i386 code: exit(0) through int 0x80.
EXIT_CODE = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])
LOAD_ADDRESS = 0x08048000
HEADER_SIZE = 52 + 32


def minimal_elf32():
    entry = LOAD_ADDRESS + HEADER_SIZE
    size = HEADER_SIZE + len(EXIT_CODE)
    header = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)
    header += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    program = struct.pack("<IIIIIIII", 1, 0, LOAD_ADDRESS, LOAD_ADDRESS, size, size, 5, 0x1000)
    return header + program + EXIT_CODE


def kernel_runs_32bit(folder):
    # A whole run that plays the other kind of host plays it here too.
    played = os.environ.get("TARNEL_ELF32_PROGRAM")
    if played:
        return subprocess.run([played]).returncode == 0
    path = os.path.join(folder, "exit32")
    with open(path, "wb") as f:
        f.write(minimal_elf32())
    os.chmod(path, stat.S_IRWXU)
    try:
        return subprocess.run([path]).returncode == 0
    except OSError:
        return False


def probe(script, *args, **loaders):
    env = dict(os.environ, **loaders)
    done = subprocess.run([script, *args], env=env, capture_output=True, text=True)
    return done.returncode, done.stdout.strip()


def main(script):
    with tempfile.TemporaryDirectory() as folder:
        return check_probe(script, folder)


def check_probe(script, folder):
    runs_32bit = kernel_runs_32bit(folder)
    print("this kernel %s 32-bit code" % ("executes" if runs_32bit else "does not execute"))
    broken = os.path.join(folder, "broken-loader")
    with open(broken, "w") as f:
        f.write("#!/bin/sh\necho 'wine: could not load ntdll.so' >&2\nexit 1\n")
    os.chmod(broken, stat.S_IRWXU)

    status, said = probe(script)
    cases = [
        ("32-bit answer matches the kernel, or the set-up's reason for no 32-bit Wine",
         (status == 0 and "runs win32" in said
          or status == NO_32BIT and "32-bit Wine could not be installed" in said) if runs_32bit
         else (status == NO_32BIT and "cannot execute 32-bit code" in said), said),
        ("64-bit Wine runs", probe(script, "win64")[0] == 0, probe(script, "win64")[1]),
    ]
    absent = os.path.join(folder, "absent")
    # Set-up's record that it could not install 32-bit Wine excuses a missing loader only.
    no_wine32 = os.path.join(folder, "no-wine32")
    os.environ["TARNEL_WINE32_UNAVAILABLE"] = no_wine32
    status, said = probe(script, TARNEL_WINE32_LOADER=absent, TARNEL_ELF32_PROGRAM="/bin/true")
    cases.append(("where 32-bit code runs, a missing loader is missing Wine",
                  status == 1 and "missing" in said, said))
    status, said = probe(script, TARNEL_WINE32_LOADER=broken, TARNEL_ELF32_PROGRAM="/bin/true")
    cases.append(("a failing loader is broken Wine", status == 1 and "broken" in said and "ntdll" in said, said))
    with open(no_wine32, "w") as f:
        f.write("libcurl4:i386 : Depends: zlib1g:i386 but it is not going to be installed\n")
    status, said = probe(script, TARNEL_WINE32_LOADER=broken, TARNEL_ELF32_PROGRAM="/bin/true")
    cases.append(("a broken loader stays broken whatever set-up recorded", status == 1 and "broken" in said, said))
    status, said = probe(script, TARNEL_WINE32_LOADER=absent, TARNEL_ELF32_PROGRAM="/bin/false")
    cases.append(("where 32-bit code cannot run, no 32-bit Wine is needed",
                  status == NO_32BIT and "cannot execute 32-bit code" in said, said))

    failed = 0
    for name, ok, said in cases:
        print(("ok   " if ok else "FAIL ") + name + ": " + said)
        failed += not ok
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
