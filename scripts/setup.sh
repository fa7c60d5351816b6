#!/usr/bin/env bash
# Installs the Debian packages the project needs, when some are missing. Quick when all are there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

mapfile -t wanted < <(grep -v -e '^#' -e '^\s*$' "$here/packages.txt")

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing: ${missing[*]}" >&2
  echo "Run this command again as root, or install them with:" >&2
  echo "  sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
# Wine for 32-bit programs comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# Quiet while it works, whole when it fails: a failed install must say why.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for command in "apt-get update" "apt-get install -y --no-install-recommends ${missing[*]}"; do
  if ! $command >"$log" 2>&1 </dev/null; then
    echo "setup: '$command' failed:" >&2
    cat "$log" >&2
    exit 1
  fi
done
