#!/usr/bin/env bash
# Installs the Debian packages Quillmere needs to build, run and test, and only
# those that are missing, so a prepared machine skips apt entirely.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ccache
  qt6-base-dev libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev libgif-dev libglib2.0-dev libxxhash-dev libexif-dev libsqlite3-dev
  libheif-dev libavif-dev
  libgtest-dev
  gvfs libglib2.0-bin dbus-daemon
  fonts-dejavu-core
  xvfb xauth xdotool imagemagick x11-utils xclip
  desktop-file-utils appstream man-db groff-base
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg -s "$package" >/dev/null 2>&1; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Run as root (or install these packages yourself): ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
