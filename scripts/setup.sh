#!/usr/bin/env bash
# Installs the Debian packages the project needs, when some are missing. Quick when all are there.
#
# Packages of the i386 architecture (wine32:i386) are wanted only where the kernel executes
# 32-bit code; elsewhere nothing of i386 is added or asked for. A failed `apt-get update` is tried
# once more and then lived with: a mirror caught mid-sync often fails one index while every
# package this host needs is still installable from the lists apt has.
#
# A mirror can stay in such a state for days. Without one architecture's index of the security
# suite, apt knows that suite's versions of the shared libraries for the other architecture only,
# and a Multi-Arch: same library must have one version on both, so installing anything of i386
# fails. The release's own suite is always complete for both, so a failed install is tried again
# with its versions; if packages of i386 still cannot be had, the rest is installed without them
# and this host is treated as one that cannot run 32-bit Windows programs (recorded where
# wine-env.sh looks, with the reason). Only a package every host needs can fail the set-up.
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

# Whatever set-up could not install last time is asked for again.
rm -f "$TARNEL_WINE32_UNAVAILABLE"
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
update_log=$(mktemp) install_log=$(mktemp) first_install_log=$(mktemp)
trap 'rm -f "$update_log" "$install_log" "$first_install_log"' EXIT

update_failed=no
if ! apt-get update >"$update_log" 2>&1 </dev/null; then
  sleep "$APT_RETRY_PAUSE"
  if ! apt-get update >"$update_log" 2>&1 </dev/null; then
    update_failed=yes
    echo "setup: 'apt-get update' failed twice; installing from the package lists apt already has."
  fi
fi

# apt's own words for why an install failed: the first unmet dependency, or its first error.
first_apt_error() { # log
  grep -m1 -E '^ \S+ : Depends:|^E: ' "$1" | sed 's/^ *//'
}

release_codename() {
  (. "${TARNEL_OS_RELEASE:-/etc/os-release}" 2>/dev/null && echo "${VERSION_CODENAME:-}")
}

# Installs the packages, and when that fails, again with the release's own suite preferred.
# The log of the last try is left in $install_log.
install_packages() { # package...
  apt-get install -y --no-install-recommends "$@" >"$install_log" 2>&1 </dev/null && return 0
  local codename
  codename=$(release_codename)
  [ -n "$codename" ] || return 1
  echo "setup: installing again with the versions of the release's own suite '$codename' ($(first_apt_error "$install_log"))"
  cp "$install_log" "$first_install_log"
  apt-get install -y --no-install-recommends -t "$codename" "$@" >"$install_log" 2>&1 </dev/null
}

if install_packages "${missing[@]}"; then
  exit 0
fi

# What every host needs installs without the packages of i386: this host then runs the 64-bit
# Windows programs only, as one whose kernel cannot run 32-bit code does.
rest=()
for pkg in "${missing[@]}"; do
  [[ $pkg == *:i386 ]] || rest+=("$pkg")
done
if [ $needs_i386 = yes ]; then
  i386_error=$(first_apt_error "$install_log")
  if [ ${#rest[@]} -eq 0 ] || install_packages "${rest[@]}"; then
    mkdir -p "$(dirname "$TARNEL_WINE32_UNAVAILABLE")"
    echo "$i386_error" >"$TARNEL_WINE32_UNAVAILABLE"
    echo "setup: 32-bit Wine could not be installed, so only the 64-bit Windows programs run here: $i386_error"
    exit 0
  fi
fi

not_installed=()
for pkg in "${missing[@]}"; do
  is_installed "$pkg" || not_installed+=("$pkg")
done
if [ $update_failed = yes ]; then
  echo "setup: 'apt-get update' failed:" >&2
  cat "$update_log" >&2
fi
if [ -s "$first_install_log" ]; then
  echo "setup: 'apt-get install' failed:" >&2
  cat "$first_install_log" >&2
  echo "setup: 'apt-get install' with the release's own suite failed too:" >&2
else
  echo "setup: 'apt-get install' failed:" >&2
fi
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
