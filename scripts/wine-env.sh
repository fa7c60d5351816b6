# Which Wine runs which build. Sourced by ./dev, the test environment and the run script, so
# that the question "does this host run 32-bit Windows programs?" is asked in one place.
#
#   tarnel_wine_use ARCH        ARCH win32 or win64: exports WINEARCH and WINELOADER for it
#   tarnel_wine_probe [ARCH]    can this host run ARCH programs (default win32)? Prints one line
#                               and answers 0 yes, 3 the kernel cannot execute 32-bit code,
#                               1 Wine is missing or broken
#   tarnel_kernel_runs_32bit    does the kernel execute 32-bit x86 programs at all?
#   tarnel_windows_test_plan    which builds' Windows tests run here: prints the line ./dev test
#                               shows and answers as tarnel_wine_probe win32 does
#
# The kernel is asked before Wine: on a host that cannot execute 32-bit code, 32-bit Wine is
# neither installed nor needed, so its absence there is no fault. TARNEL_ELF32_PROGRAM replaces
# the program that asks (tests use /bin/true or /bin/false to play the other kind of host).
#
# Where the set-up could not install 32-bit Wine (a mirror that lacks what its i386 packages
# need), it leaves apt's reason in TARNEL_WINE32_UNAVAILABLE; such a host is then treated as one
# whose kernel cannot run 32-bit code. A 32-bit Wine that is installed but broken still fails.
#
# Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is installed, even on a kernel
# that cannot run it, so everything here calls a loader by its path (which a test may set).

TARNEL_WINE32_LOADER=${TARNEL_WINE32_LOADER:-/usr/lib/wine/wine}
TARNEL_WINE64_LOADER=${TARNEL_WINE64_LOADER:-/usr/lib/wine/wine64}
TARNEL_PROBE_NO_32BIT=3
TARNEL_WINE32_UNAVAILABLE=${TARNEL_WINE32_UNAVAILABLE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine32-not-installed.txt}

# A whole i386 ELF program (93 bytes) that only calls exit(0): whether the kernel runs it is the
# answer, independent of any package.
TARNEL_ELF32_EXIT0='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'

tarnel_kernel_runs_32bit() {
  [ -n "${TARNEL_ELF32_PROGRAM:-}" ] && { "$TARNEL_ELF32_PROGRAM" >/dev/null 2>&1; return; }
  local program status=0
  program=$(mktemp "${TMPDIR:-/tmp}/tarnel-elf32.XXXXXX") || return 1
  printf '%b' "$TARNEL_ELF32_EXIT0" >"$program" && chmod +x "$program" &&
    "$program" >/dev/null 2>&1 || status=$?
  rm -f "$program"
  return $status
}

tarnel_wine_loader() { # ARCH
  case $1 in
    win32) echo "$TARNEL_WINE32_LOADER" ;;
    win64) echo "$TARNEL_WINE64_LOADER" ;;
    *) echo "unknown Wine architecture: $1" >&2; return 2 ;;
  esac
}

tarnel_wine_use() { # ARCH
  local loader
  loader=$(tarnel_wine_loader "$1") || return
  export WINEARCH=$1 WINELOADER=$loader
}

tarnel_wine_probe() { # [ARCH]
  local arch=${1:-win32} loader output status
  loader=$(tarnel_wine_loader "$arch") || return 1
  if [ "$arch" = win32 ] && ! tarnel_kernel_runs_32bit; then
    echo "this host cannot execute 32-bit code (the kernel refuses a minimal 32-bit program), so 32-bit Wine is not used here"
    return $TARNEL_PROBE_NO_32BIT
  fi
  if [ ! -e "$loader" ] && [ "$arch" = win32 ] && [ -s "$TARNEL_WINE32_UNAVAILABLE" ]; then
    echo "32-bit Wine could not be installed here, so neither 32-bit programs nor the 32-bit build's Windows tests run: $(head -n1 "$TARNEL_WINE32_UNAVAILABLE")"
    return $TARNEL_PROBE_NO_32BIT
  fi
  if [ ! -e "$loader" ]; then
    local package=wine64
    [ "$arch" = win32 ] && package=wine32:i386
    echo "Wine for $arch programs is missing: no $loader (package $package)"
    return 1
  fi
  status=0
  output=$("$loader" --version 2>&1) || status=$?
  if [ $status -eq 0 ]; then
    echo "this host runs $arch programs ($output)"
    return 0
  fi
  # The kernel refuses the loader itself: 32-bit emulation is off (or absent) on this host.
  if [ $status -eq 126 ] && [ "$arch" = win32 ] && [[ $output == *"Exec format error"* ]]; then
    echo "this host cannot execute 32-bit code: $loader --version fails with \"Exec format error\""
    return $TARNEL_PROBE_NO_32BIT
  fi
  echo "Wine is broken: $loader --version exited $status: $output"
  return 1
}

tarnel_windows_test_plan() {
  local probe status=0
  probe=$(tarnel_wine_probe win32) || status=$?
  case $status in
    0) echo "Windows tests: the 32-bit and the 64-bit build ($probe)" ;;
    "$TARNEL_PROBE_NO_32BIT") echo "Windows tests: the 64-bit build only ($probe); the 32-bit build is built and checked without running it" ;;
    *) echo "Windows tests: the 64-bit build only, and the 32-bit tests FAIL: $probe" ;;
  esac
  return $status
}
