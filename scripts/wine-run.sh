#!/usr/bin/env bash
# Runs a Windows program under Wine's loader of the given width. Usage: wine-run.sh ARCH PROGRAM...
# CTest's emulator for the Windows builds.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
tarnel_wine_use "$1" || exit 2
shift
exec "$WINELOADER" "$@"
