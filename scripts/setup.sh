#!/usr/bin/env bash
# Installs the Debian packages the project needs, when some are missing. Quick when all are there.
#
# Packages of the i386 architecture (wine32:i386) are wanted only where the kernel executes
# 32-bit code; elsewhere nothing of i386 is added or asked for. A failed `apt-get update` is tried
# once more and then lived with: a mirror caught mid-sync often fails one index while every
# package this host needs is still installable from the lists apt has.
#
# `setup.sh --wanted` prints the packages this host needs, one per line, and installs nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
TARNEL_PACKAGES=${TARNEL_PACKAGES:-$here/packages.txt}
APT_RETRY_PAUSE=${TARNEL_APT_RETRY_PAUSE:-10}

wanted_packages() {
  local runs_32bit=yes
  tarnel_kernel_runs_32bit || runs_32bit=no
  grep -v -e '^#' -e '^\s*$' "$TARNEL_PACKAGES" | while read -r pkg; do
    [[ $pkg == *:i386 && $runs_32bit == no ]] || echo "$pkg"
  done
}

is_installed() { # package
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

mapfile -t wanted < <(wanted_packages)
if [ "${1:-}" = --wanted ]; then
  printf '%s\n' "${wanted[@]}"
  exit 0
fi

missing=()
for pkg in "${wanted[@]}"; do
  is_installed "$pkg" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

needs_i386=no
[[ " ${missing[*]}" == *:i386* ]] && needs_i386=yes

if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing: ${missing[*]}" >&2
  echo "Run this command again as root, or install them with:" >&2
  add_arch=""
  [ $needs_i386 = yes ] && add_arch="sudo dpkg --add-architecture i386 && "
  echo "  ${add_arch}sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
# Wine for 32-bit programs comes from the i386 architecture.
if [ $needs_i386 = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# Quiet while it works, whole when it fails: a failed install must say why.
update_log=$(mktemp) install_log=$(mktemp)
trap 'rm -f "$update_log" "$install_log"' EXIT

update_failed=no
if ! apt-get update >"$update_log" 2>&1 </dev/null; then
  sleep "$APT_RETRY_PAUSE"
  if ! apt-get update >"$update_log" 2>&1 </dev/null; then
    update_failed=yes
    echo "setup: 'apt-get update' failed twice; installing from the package lists apt already has."
  fi
fi

if apt-get install -y --no-install-recommends "${missing[@]}" >"$install_log" 2>&1 </dev/null; then
  exit 0
fi

not_installed=()
for pkg in "${missing[@]}"; do
  is_installed "$pkg" || not_installed+=("$pkg")
done
if [ $update_failed = yes ]; then
  echo "setup: 'apt-get update' failed:" >&2
  cat "$update_log" >&2
fi
echo "setup: 'apt-get install' failed:" >&2
cat "$install_log" >&2
echo "setup: these packages could not be installed: ${not_installed[*]:-${missing[*]}}" >&2
if [ $update_failed = yes ]; then
  echo "setup: the package lists could not be brought up to date; a Debian mirror that is being" \
       "synced is a likely cause, so running this command again later may help." >&2
else
  echo "setup: a Debian mirror that is being synced is a possible cause; running this command" \
       "again later may help." >&2
fi
exit 1
