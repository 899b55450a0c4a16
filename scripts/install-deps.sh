#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, asking
# apt only when something is missing, so a second run is quick.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev libfmt-dev libgtest-dev libssl-dev libzip-dev libsodium-dev
  libqt6sql6-sqlite libqt6sql6-psql postgresql
  stm32flash dfu-util
  xvfb xdotool x11-utils imagemagick openssl bc
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
