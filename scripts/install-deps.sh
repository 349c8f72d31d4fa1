#!/usr/bin/env bash
# Installs every Debian package the program, its tools and its tests need (Debian 12).
# Runs apt only when something is missing, so repeated runs cost nothing.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config git ccache lld clang-format
  # program
  qt6-base-dev qt6-multimedia-dev libgl-dev libxkbcommon-dev
  libcdio-dev libdiscid-dev libudev-dev libogg-dev libvorbis-dev libmpg123-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  lame pavucontrol
  # a font with the full-width marks some texts carry ("Bitrate：", "Could not be found！")
  fonts-wqy-microhei
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps imagemagick pulseaudio pulseaudio-utils
  ffmpeg sox vorbis-tools
  # end-to-end tests: the program driven through its accessibility tree
  python3-pyatspi at-spi2-core dbus-x11
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
