#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Velqor need.
# Packages already present are left alone; apt-get runs only when something is missing.
# Usage: scripts/deps.sh [extra packages...]
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-charts-dev qt6-qpa-plugins libqt6opengl6-dev libgl-dev libxkbcommon-dev
  qt6-tools-dev qt6-l10n-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk xvfb xauth
  dpkg-dev file help2man librsvg2-bin lintian desktop-file-utils appstream
  python3-canmatrix
  python3-can python3-serial can-utils zlib1g-dev
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
