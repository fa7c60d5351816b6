# Which Wine runs which build. Sourced by ./dev, the test environment and the run script, so
# that the question "does this host run 32-bit Windows programs?" is asked in one place.
#
#   tarnel_wine_use ARCH        ARCH win32 or win64: exports WINEARCH and WINELOADER for it
#   tarnel_wine_probe [ARCH]    can this host run ARCH programs (default win32)? Prints one line
#                               and answers 0 yes, 3 the kernel cannot execute 32-bit code,
#                               1 Wine is missing or broken
#
# Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is installed, even on a kernel
# that cannot run it, so everything here calls a loader by its path (which a test may set).

TARNEL_WINE32_LOADER=${TARNEL_WINE32_LOADER:-/usr/lib/wine/wine}
TARNEL_WINE64_LOADER=${TARNEL_WINE64_LOADER:-/usr/lib/wine/wine64}
TARNEL_PROBE_NO_32BIT=3

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
