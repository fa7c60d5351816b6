#!/usr/bin/env bash
# Starts or stops the environment of the Windows tests: a private 32-bit Wine prefix and a
# virtual X display. Usage: wine-test-env.sh start|stop PREFIX DISPLAY
set -euo pipefail
verb=$1 prefix=$2 display=$3
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all DISPLAY=$display
lock=/tmp/.X${display#:}-lock

start_display() {
  if [ -e "$lock" ] && kill -0 "$(tr -d ' ' <"$lock")" 2>/dev/null; then return; fi
  rm -f "$lock"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  for _ in $(seq 50); do [ -e "$lock" ] && return; sleep 0.1; done
  echo "Xvfb did not start on $display" >&2; exit 1
}

init_prefix() {
  if [ ! -f "$prefix/.tarnel-ready" ]; then
    rm -rf "$prefix"
    wineboot -i >/dev/null 2>&1
    # Without a window manager, managed windows make every hidden dialog stall for seconds.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A crashed test must end with a failure, not wait behind a crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.tarnel-ready"
  fi
  # One server for the whole run instead of one per test.
  wineserver -p >/dev/null 2>&1 </dev/null
  # The first program of a server session starts Wine's own services; start them here, with no
  # pipe of CTest's, or they would hold the first test's output open until the server ends.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
}

case $verb in
  start) start_display; init_prefix; echo "Wine prefix $prefix ready on display $display" ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -e "$lock" ]; then kill "$(tr -d ' ' <"$lock")" 2>/dev/null || true; fi
    ;;
  *) echo "usage: $0 start|stop PREFIX DISPLAY" >&2; exit 2 ;;
esac
