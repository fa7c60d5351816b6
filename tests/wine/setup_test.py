#!/usr/bin/python3
"""The set-up script against a mirror caught mid-sync, with apt and dpkg played by stand-ins.

apt-get update always fails as a mirror in sync makes it fail; the install succeeds or fails as
each case says. Nothing of i386 may be added or asked for where the kernel cannot run 32-bit code
(TARNEL_ELF32_PROGRAM plays the kernel).

Usage: setup_test.py SETUP_SCRIPT   (prints 'N passed, M failed')
"""
import os
import stat
import subprocess
import sys
import tempfile

STAND_INS = {
    "apt-get": """#!/bin/sh
echo "apt-get $*" >> "$FAKE_LOG"
case $1 in
  update) echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2; exit 100 ;;
  install) [ -n "$FAKE_INSTALL_OK" ] && exit 0
           echo "E: Unable to locate package foo-tool" >&2; exit 100 ;;
esac
""",
    "dpkg": """#!/bin/sh
echo "dpkg $*" >> "$FAKE_LOG"
""",
    "dpkg-query": "#!/bin/sh\nexit 1\n",
    "id": "#!/bin/sh\necho 0\n",
}


def run_setup(script, folder, kernel, install_ok):
    bin_dir = os.path.join(folder, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    for name, text in STAND_INS.items():
        path = os.path.join(bin_dir, name)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, stat.S_IRWXU)
    packages = os.path.join(folder, "packages.txt")
    with open(packages, "w") as f:
        f.write("# test\nfoo-tool\nwine32:i386\n")
    log = os.path.join(folder, "calls.log")
    open(log, "w").close()
    env = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], FAKE_LOG=log,
               FAKE_INSTALL_OK="1" if install_ok else "", TARNEL_PACKAGES=packages,
               TARNEL_APT_RETRY_PAUSE="0", TARNEL_ELF32_PROGRAM=kernel)
    done = subprocess.run([script], env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    with open(log) as f:
        calls = f.read()
    return done.returncode, done.stdout + done.stderr, calls


def main(script):
    cases = []
    with tempfile.TemporaryDirectory() as folder:
        status, said, calls = run_setup(script, folder, "/bin/false", install_ok=True)
        cases.append(("a failed update is retried, then the install goes on and succeeds",
                      status == 0 and calls.count("apt-get update") == 2
                      and "install -y --no-install-recommends foo-tool\n" in calls, calls))
        cases.append(("a 64-bit-only host adds and asks for nothing of i386",
                      "i386" not in calls, calls))
        status, said, calls = run_setup(script, folder, "/bin/false", install_ok=False)
        cases.append(("a failed install prints both errors, the packages and the likely cause",
                      status == 1 and "Mirror sync in progress" in said and "Unable to locate" in said
                      and "could not be installed: foo-tool" in said and "mirror" in said.split("foo-tool")[-1],
                      said))
        status, said, calls = run_setup(script, folder, "/bin/true", install_ok=True)
        cases.append(("a host that runs 32-bit code gets i386 and wine32",
                      status == 0 and "dpkg --add-architecture i386" in calls and "wine32:i386" in calls,
                      calls))
    failed = 0
    for name, ok, said in cases:
        print(("ok   " if ok else "FAIL ") + name + ("" if ok else ":\n" + said))
        failed += not ok
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
