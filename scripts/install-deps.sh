#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Mendora needs.
# Idempotent: packages already present are left alone, and apt is only
# touched when something is missing. Runs apt-get as root, through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 libcli11-dev nlohmann-json3-dev libssl-dev zlib1g-dev libxml2-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgl-dev
  fonts-dejavu-core fonts-noto-mono
  xvfb xauth
  clang libclang-rt-14-dev
  dpkg-dev desktop-file-utils appstream man-db bash-completion shared-mime-info xdotool
  postgresql postgresql-client mariadb-server mariadb-client
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "error: need root (or sudo) to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
