#!/usr/bin/env bash
# Installs the Debian 12 packages Velorin builds, runs and tests with.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
PKGS=(cmake g++ make pkg-config ccache
      qt6-base-dev qt6-base-dev-tools libgl-dev
      libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
      libopencore-amrnb-dev ffmpeg
      libgtest-dev libgmock-dev
      xvfb xauth)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
