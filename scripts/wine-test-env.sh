#!/usr/bin/env bash
# Starts or stops the environment of the Windows tests: a private Wine prefix of the build's width
# and a virtual X display. Usage: wine-test-env.sh start|stop PREFIX DISPLAY win32|win64
# Every failing step prints the command and what it said: a bare exit would leave every test
# "Not Run" with no reason given.
set -uo pipefail
verb=$1 prefix=$2 display=$3 arch=$4
source "$(dirname "$0")/wine-env.sh"
tarnel_wine_use "$arch" || exit 2
export WINEPREFIX=$prefix WINEDEBUG=-all DISPLAY=$display
lock=/tmp/.X${display#:}-lock

fail() { echo "wine test environment: $*" >&2; exit 1; }

# Runs a set-up command quietly; on failure prints the command, its status and its output. The
# output goes to a file, not a pipe: Wine's services, started by the first program, would hold a
# pipe open until the server ends.
step() {
  local log=$prefix.step.log status=0
  "$@" >"$log" 2>&1 </dev/null || status=$?
  [ $status -eq 0 ] && return 0
  fail "'$*' failed with exit status $status:"$'\n'"$(cat "$log")"
}

display_pid() { [ -e "$lock" ] && tr -d ' ' <"$lock"; }

start_display() {
  command -v Xvfb >/dev/null || fail "Xvfb is not installed (package xvfb)"
  # A server still shutting down from the last run holds the lock a little longer.
  for _ in $(seq 30); do
    pid=$(display_pid) || break
    kill -0 "$pid" 2>/dev/null || break
    grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null && return
    sleep 0.1
  done
  rm -f "$lock"
  local log=$prefix.xvfb.log
  mkdir -p "$(dirname "$prefix")"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$log" 2>&1 &
  for _ in $(seq 50); do [ -e "$lock" ] && return; sleep 0.1; done
  fail "Xvfb did not start on $display:"$'\n'"$(cat "$log")"
}

init_prefix() {
  if [ ! -f "$prefix/.tarnel-ready" ]; then
    rm -rf "$prefix"
    step "$WINELOADER" wineboot.exe -i
    # Without a window manager, managed windows make every hidden dialog stall for seconds.
    step "$WINELOADER" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # A crashed test must end with a failure, not wait behind a crash dialog.
    step "$WINELOADER" reg.exe add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    step wineserver -w
    touch "$prefix/.tarnel-ready"
  fi
  # One server for the whole run instead of one per test.
  wineserver -p >/dev/null 2>&1 </dev/null || true  # already running: keep it
  # The first program of a server session starts Wine's own services; start them here, away
  # from CTest's pipes, or they would hold the first test's output open until the server ends.
  step "$WINELOADER" cmd.exe /c exit
  # A display-scale test that was killed may have left its scale (LogPixels) in the prefix; every
  # run starts at 100 %. The value is absent unless a test set it, so a failed delete is normal.
  "$WINELOADER" reg.exe delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 </dev/null || true
}

case $verb in
  start)
    probe=$(tarnel_wine_probe "$arch") || fail "cannot run the $arch tests: $probe"
    start_display
    init_prefix
    echo "Wine prefix $prefix ($arch) ready on display $display"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if pid=$(display_pid); then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    ;;
  *) echo "usage: $0 start|stop PREFIX DISPLAY win32|win64" >&2; exit 2 ;;
esac
