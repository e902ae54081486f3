#!/usr/bin/env bash
# Installs every package the build, the tests and the application need, with
# apt-get. Idempotent: packages already installed are skipped, and nothing is
# asked of the network when everything is there.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build ccache pkg-config python3
  # libraries
  qt6-base-dev libusb-1.0-0-dev libmtp-dev libudev-dev libsystemd-dev zlib1g-dev libssl-dev
  nlohmann-json3-dev libplist-dev
  # the application: multimedia preview, face detection for thumbnails,
  # sounds, Open With through GIO
  qt6-multimedia-dev libopencv-objdetect-dev libopencv-imgproc-dev opencv-data
  libcanberra-dev sound-theme-freedesktop libglib2.0-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libasio-dev libtbb-dev umockdev libumockdev-dev
  openssl xvfb xauth dbus-daemon desktop-file-utils
  # the phone tool the application drives, and the udev rules that let a
  # normal user open a phone
  adb android-sdk-platform-tools-common
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
