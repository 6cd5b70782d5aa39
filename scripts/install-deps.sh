#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run the demo. Safe to run twice.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  libtorrent-rasterbar-dev libcurl4-openssl-dev zlib1g-dev libcpp-httplib-dev
  qt6-base-dev qt6-webengine-dev
  opentracker xdelta3 zip unzip python3 curl
  xvfb xauth xdotool imagemagick openbox fonts-liberation2 dbus iproute2 util-linux
  tesseract-ocr tesseract-ocr-eng
)
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
if [ -n "$sudo" ] && ! command -v sudo > /dev/null; then
  echo "install-deps: missing ${missing[*]}; there is no sudo here, so have them installed as root" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=600 update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
