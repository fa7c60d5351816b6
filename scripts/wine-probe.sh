#!/usr/bin/env bash
# Says whether this host runs 32-bit (or, given win64, 64-bit) Windows programs under Wine.
# Usage: wine-probe.sh [win32|win64]. Exit status: 0 yes, 3 the host cannot execute 32-bit
# code, 1 Wine is missing or broken.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
tarnel_wine_probe "${1:-win32}"
