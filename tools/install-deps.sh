#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, and
# only those that are missing. Usage: install-deps.sh [extra packages...]
set -euo pipefail

packages=(cmake g++ make ninja-build pkg-config qt6-base-dev qt6-qpa-plugins
          libgl-dev libxcb1-dev libgtest-dev libgmock-dev libxxhash-dev libsqlite3-dev nlohmann-json3-dev
          libcli11-dev libfuse3-dev libudev-dev python3-jsonschema
          qt6-tools-dev qt6-l10n-tools "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
