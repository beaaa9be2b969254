#!/usr/bin/env bash
# Installs the Debian 12 packages Frisson builds and tests with. Quick and
# silent when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libhwy-dev
  librtaudio-dev librtmidi-dev libasound2-dev libasound2-plugins
  jackd2 libjack-jackd2-dev
  pulseaudio pulseaudio-utils
  sox libsox-fmt-all
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  xvfb xauth xdotool desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
