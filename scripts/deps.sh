#!/usr/bin/env bash
# Makes sure the Debian packages that building and testing need are present.
# Usage: scripts/deps.sh build|test
# As root the missing ones are installed with apt-get; otherwise the script names
# them and fails, so that nothing half-configured is built.
set -euo pipefail

build_pkgs=(g++ cmake make pkg-config)
test_pkgs=(googletest libgtest-dev libgmock-dev libvterm-dev libbenchmark-dev tmux binutils)

want=("${build_pkgs[@]}")
if [ "${1:-build}" = test ]; then want+=("${test_pkgs[@]}"); fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "forditva: missing Debian packages: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "forditva: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
