#!/usr/bin/env bash
# Installs the Debian packages the build needs, when missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config ccache qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
