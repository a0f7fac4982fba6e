#!/usr/bin/env bash
# Installs the Debian packages Vellora needs to build and test, if any are missing.
#   scripts/install-deps.sh [PACKAGE...]   also the extra packages named (CI's fuzz job
#                                          names the sanitizer runtimes)
set -euo pipefail

packages=(
  # Build
  build-essential cmake ninja-build pkg-config clang
  libopenimageio-dev openimageio-tools libcairo2-dev
  libcli11-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev
  # The frei0r filter and the interactive window
  frei0r-plugins-dev libsdl2-dev libx11-dev libimgui-dev libgl-dev libgl1-mesa-dri
  # Hosts and tools the tests and benchmarks run for real
  ffmpeg melt frei0r-plugins gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad xvfb xauth xdotool
  # The MLT filter, and Kdenlive that runs it under Xvfb in the tests
  libmlt-dev libmlt++-dev kdenlive dbus
  # The Debian package: CPack's dependency scan, its checks and the man page test
  dpkg-dev file lintian man-db
  # Shotcut, run under Xvfb by its test and the editors' screenshots (ImageMagick's import takes them)
  shotcut imagemagick
  # The OBS Studio filter: libobs to build it, OBS to run it under Xvfb, obs-websocket's Python client
  libobs-dev obs-studio python3-websockets
  # The one-node Slurm that scripts/slurm/test-doc.sh runs docs/slurm.md on
  slurm-wlm munge
  # Hostile image headers made (bench/hostile_files.py, also run by the tests) and measured
  python3 time bc
  # The Python module vellora: built with pybind11 against Debian's Python, tested with pytest
  python3-dev pybind11-dev python3-numpy python3-pytest python3-openimageio
  "$@"
)

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all build packages are present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: need root to install ${missing[*]} (run as root or install sudo)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
