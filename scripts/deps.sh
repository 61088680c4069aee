#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing, so it costs nothing on a ready machine.
set -euo pipefail
pkgs=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
      libssl-dev binutils ffmpeg mediainfo libopenjp2-tools clang clang-format
      libopenjp2-7-dev libgrokj2k1-dev qemu-user)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
