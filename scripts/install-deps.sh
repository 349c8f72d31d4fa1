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
  # FLAC and Opus output, tags of every format, MusicBrainz disc ids, secure reading, and the
  # copy CRC (libdeflate's CRC-32 is four times zlib's, which an image rip would feel)
  libflac-dev libopusenc-dev libopus-dev libtag1-dev libdiscid-dev libcdio-paranoia-dev zlib1g-dev
  libdeflate-dev
  # a font with the full-width marks some texts carry ("Bitrate：", "Could not be found！")
  fonts-wqy-microhei
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps imagemagick pulseaudio pulseaudio-utils
  ffmpeg sox vorbis-tools
  # independent decoders, tag readers and checksum oracles the tests compare against
  flac opus-tools python3-mutagen whipper python3-libdiscid
  # installation checks: the desktop entry, AppStream, manual pages, the .deb's dependencies
  desktop-file-utils appstream groff-base file dpkg-dev
  # end-to-end tests: the program driven through its accessibility tree
  python3-pyatspi at-spi2-core dbus-x11
  # the desktop notification test runs its own session bus
  dbus-daemon
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
