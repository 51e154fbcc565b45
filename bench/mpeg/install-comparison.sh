#!/usr/bin/env bash
# Installs the decoders mpeg_bench compares ours with, when missing: Debian's mpeg2dec (libmpeg2's
# command-line decoder) and ffmpeg. Optional: mpeg_bench runs without them and says so.
set -euo pipefail

packages=(mpeg2dec ffmpeg)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-comparison: all present"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-comparison: run as root: apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "${missing[@]}" ||
  { apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"; }
