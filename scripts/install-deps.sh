#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need. Idempotent: does
# nothing when all are present. Needs root (or prints the command to run) when some are not.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libsdl2-dev libsdl2-mixer-dev
  libjpeg62-turbo-dev libpng-dev
  libegl-dev libgl-dev libegl1-mesa-dev libgl1-mesa-dri libglx-mesa0
  libfreetype-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg lame
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
