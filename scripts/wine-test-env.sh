#!/usr/bin/env bash
# Starts or stops the environment of the Windows tests: a private 32-bit Wine prefix and a
# virtual X display. Usage: wine-test-env.sh start|stop PREFIX DISPLAY
set -euo pipefail
verb=$1 prefix=$2 display=$3
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all DISPLAY=$display
lock=/tmp/.X${display#:}-lock

display_pid() { [ -e "$lock" ] && tr -d ' ' <"$lock"; }

start_display() {
  # A server still shutting down from the last run holds the lock a little longer.
  for _ in $(seq 30); do
    pid=$(display_pid) || break
    kill -0 "$pid" 2>/dev/null || break
    grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null && return
    sleep 0.1
  done
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
  wineserver -p >/dev/null 2>&1 </dev/null || true  # already running: keep it
  # The first program of a server session starts Wine's own services; start them here, with no
  # pipe of CTest's, or they would hold the first test's output open until the server ends.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
}

case $verb in
  start) start_display; init_prefix; echo "Wine prefix $prefix ready on display $display" ;;
  stop)
    wineserver -k 2>/dev/null || true
    if pid=$(display_pid); then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    ;;
  *) echo "usage: $0 start|stop PREFIX DISPLAY" >&2; exit 2 ;;
esac
