#!/usr/bin/python3
"""The set-up script against a mirror caught mid-sync, with apt and dpkg played by stand-ins.

apt-get update always fails as a mirror in sync makes it fail. The install plays one of four
mirror states: every install succeeds; an install that asks for an i386 package fails unless it
takes the release's own suite (the security suite's i386 index is missing); an install that asks
for an i386 package always fails; every install fails. Nothing of i386 may be added or asked for
where the kernel cannot run 32-bit code (TARNEL_ELF32_PROGRAM plays the kernel), and what
./dev test would then run is read from the same plan it uses.

Usage: setup_test.py SETUP_SCRIPT   (prints 'N passed, M failed')
"""
import os
import stat
import subprocess
import sys
import tempfile

NO_32BIT = 3

STAND_INS = {
    "apt-get": """#!/bin/sh
echo "apt-get $*" >> "$FAKE_LOG"
case $1 in
  update) echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2; exit 100 ;;
  install)
    case "$FAKE_MIRROR:$*" in
      healthy:*) exit 0 ;;
      no-i386-security:*" -t bookworm "*) exit 0 ;;
      no-i386*:*:i386*) echo " libcurl4:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed" >&2
                        echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
      no-i386*:*) exit 0 ;;
    esac
    echo "E: Unable to locate package foo-tool" >&2; exit 100 ;;
esac
""",
    "dpkg": """#!/bin/sh
echo "dpkg $*" >> "$FAKE_LOG"
""",
    "dpkg-query": "#!/bin/sh\nexit 1\n",
    "id": "#!/bin/sh\necho 0\n",
}


def run_setup(script, folder, kernel, mirror):
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
    os_release = os.path.join(folder, "os-release")
    with open(os_release, "w") as f:
        f.write("ID=debian\nVERSION_CODENAME=bookworm\n")
    log = os.path.join(folder, "calls.log")
    open(log, "w").close()
    env = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], FAKE_LOG=log, FAKE_MIRROR=mirror,
               TARNEL_PACKAGES=packages, TARNEL_APT_RETRY_PAUSE="0", TARNEL_ELF32_PROGRAM=kernel,
               TARNEL_OS_RELEASE=os_release, TARNEL_WINE32_UNAVAILABLE=os.path.join(folder, "no-wine32"),
               TARNEL_WINE32_LOADER=os.path.join(folder, "no-such-loader"))
    done = subprocess.run([script], env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    with open(log) as f:
        calls = f.read()
    plan = subprocess.run(["bash", "-c", 'source "$1"; tarnel_windows_test_plan',
                           "plan", os.path.join(os.path.dirname(script), "wine-env.sh")],
                          env=env, capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr, calls, (plan.returncode, plan.stdout)


def main(script):
    cases = []
    with tempfile.TemporaryDirectory() as folder:
        status, said, calls, plan = run_setup(script, folder, "/bin/false", "healthy")
        cases.append(("a failed update is retried, then the install goes on and succeeds",
                      status == 0 and calls.count("apt-get update") == 2
                      and "install -y --no-install-recommends foo-tool\n" in calls, calls))
        cases.append(("a 64-bit-only host adds and asks for nothing of i386, and tests the 64-bit build",
                      "i386" not in calls and plan[0] == NO_32BIT and "cannot execute 32-bit" in plan[1],
                      calls + repr(plan)))
        status, said, calls, plan = run_setup(script, folder, "/bin/false", "broken")
        cases.append(("a failed install prints both errors, the packages and the likely cause",
                      status == 1 and "Mirror sync in progress" in said and "Unable to locate" in said
                      and "could not be installed: foo-tool" in said and "mirror" in said.split("foo-tool")[-1],
                      said))
        status, said, calls, plan = run_setup(script, folder, "/bin/true", "healthy")
        cases.append(("a host that runs 32-bit code gets i386 and wine32, and still needs its loader",
                      status == 0 and "dpkg --add-architecture i386" in calls and "wine32:i386" in calls
                      and "-t bookworm" not in calls and plan[0] == 1 and "missing" in plan[1],
                      calls + repr(plan)))
        status, said, calls, plan = run_setup(script, folder, "/bin/true", "no-i386-security")
        cases.append(("without the i386 security index, the release's own suite installs everything",
                      status == 0 and "install -y --no-install-recommends -t bookworm foo-tool wine32:i386" in calls
                      and said.count("\n") == 3 and "suite 'bookworm' (libcurl4:i386 : Depends:" in said
                      and plan[0] == 1, said + calls + repr(plan)))
        status, said, calls, plan = run_setup(script, folder, "/bin/true", "no-i386")
        cases.append(("with no i386 package to be had, the rest installs and only the 64-bit build is tested",
                      status == 0 and calls.strip().endswith("--no-install-recommends foo-tool")
                      and "32-bit Wine could not be installed" in said and "libcurl4:i386" in said
                      and plan[0] == NO_32BIT and "the 64-bit build only (32-bit Wine could not be installed" in plan[1]
                      and "libcurl4:i386" in plan[1], said + calls + repr(plan)))
        status, said, calls, plan = run_setup(script, folder, "/bin/true", "broken")
        cases.append(("when a package every host needs fails, set-up fails with the whole explanation",
                      status == 1 and "Mirror sync in progress" in said and "install' failed:\nE: Unable to locate" in said
                      and "release's own suite failed too:\nE: Unable to locate" in said and "could not be installed: foo-tool wine32:i386" in said
                      and "mirror" in said.split("foo-tool")[-1] and plan[0] == 1, said + repr(plan)))
    failed = 0
    for name, ok, said in cases:
        print(("ok   " if ok else "FAIL ") + name + ("" if ok else ":\n" + said))
        failed += not ok
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
