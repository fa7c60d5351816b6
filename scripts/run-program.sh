#!/usr/bin/env bash
# Starts the built program under Wine.
#
# Usage: run-program.sh DIST_DIR OUT_DIR [win32|win64]
#   DIST_DIR  the distribution folder that holds TarnelPngToIco.exe and TarnelFreeImage.dll
#   OUT_DIR   where the Wine prefix (unless WINEPREFIX is set) and the screenshot go
#   win32     the width of the build in DIST_DIR (the default), or win64
#
# With a DISPLAY the program simply runs there until the user closes it. Without one it runs
# on a private virtual display: the script waits for the main window, saves a screenshot of it
# as OUT_DIR/main-window.png, closes the program with Esc as a user would, and stops the display.
# The exit status is the program's own (0 after a clean close).
#
# TARNEL_DPI=144 (or any DPI) runs the program at that display scale, 150 % here, by setting the
# prefix's LogPixels; the screenshot is then main-window-144dpi.png. Unset, the scale is 100 %.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 DIST_DIR OUT_DIR [win32|win64]" >&2
  exit 2
fi
source "$(dirname "$0")/wine-env.sh"
tarnel_wine_use "${3:-win32}" || exit 2
dist=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
program=$dist/TarnelPngToIco.exe
title="Tarnel Free PNG to ICO Converter 1.0"
if [ ! -f "$program" ]; then
  echo "no program at $program: build the target TarnelPngToIco first" >&2
  exit 1
fi

export WINEPREFIX=${WINEPREFIX:-$out/wineprefix-run}
dpi=${TARNEL_DPI:-96}
export WINEDEBUG=-all
if ! probe=$(tarnel_wine_probe "$WINEARCH"); then
  echo "cannot start the $WINEARCH program: $probe" >&2
  exit 1
fi

# Creates the prefix without the Mono and Gecko offers, which would wait for an answer nobody
# gives on a virtual display, and gives it Wine's own window fonts: without Marlett the caption
# buttons show letters instead of symbols.
prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEDLLOVERRIDES="mscoree,mshtml=" "$WINELOADER" wineboot.exe -i >/dev/null 2>&1
  fi
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  mkdir -p "$fonts"
  for font in marlett.ttf; do
    if [ -f "/usr/share/wine/fonts/$font" ] && [ ! -f "$fonts/$font" ]; then
      cp "/usr/share/wine/fonts/$font" "$fonts/"
    fi
  done
  "$WINELOADER" reg.exe add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
}

if [ -n "${DISPLAY:-}" ]; then
  prepare_prefix
  status=0
  "$WINELOADER" "$program" || status=$?
  echo "program ended with exit code $status"
  exit "$status"
fi

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is needed to run without a display" >&2; exit 1; }
done

xvfb_pid=
program_pid=
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then kill "$program_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the descriptor.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
if [ ! -s "$display_file" ]; then
  echo "Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=:$(tr -d '[:space:]' <"$display_file")
rm -f "$display_file"

# Wine shows windows on the display of the prefix's running session: let a session that was
# started elsewhere (another display, or none) end first.
timeout 30 wineserver -w 2>/dev/null || true
prepare_prefix
# There is no window manager: managed windows would wait for one.
"$WINELOADER" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

"$WINELOADER" "$program" &
program_pid=$!

window=
for _ in $(seq 600); do
  window=$(xdotool search --name "^${title}\$" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "the main window did not appear" >&2
  exit 1
fi

# Give the owner-drawn buttons time to paint before the picture is taken.
sleep 1
screenshot=$out/main-window.png
[ "$dpi" = 96 ] || screenshot=$out/main-window-${dpi}dpi.png
import -window "$window" "$screenshot"

# Esc reaches the dialog as a key press and goes through the program's own close path. The
# window may be gone before the key release follows the press, which xdotool reports as an error.
xdotool key --window "$window" Escape 2>/dev/null || true
status=
for _ in $(seq 300); do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    status=0
    wait "$program_pid" || status=$?
    break
  fi
  sleep 0.1
done
if [ -z "$status" ]; then
  echo "the program did not close after Esc" >&2
  exit 1 # the exit trap ends it
fi
program_pid=

# Let Wine's helper processes of the prefix end while their display still exists.
timeout 10 wineserver -w 2>/dev/null || true

echo "screenshot of the main window: $screenshot"
echo "program ended with exit code $status"
exit "$status"
