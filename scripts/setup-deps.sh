#!/usr/bin/env bash
# Installs the Debian packages that building and testing velmora needs.
# Quick when everything is present: it asks dpkg first and runs apt-get only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libboost-dev nlohmann-json3-dev libsqlite3-dev
  libgtest-dev libgmock-dev
  curl sqlite3
  # The real-window tests: a virtual display, the toolkit libraries the program loads at
  # run time, and tools to find, click, close and photograph the window.
  xvfb xauth libgtk-3-0 libwebkit2gtk-4.1-0 x11-utils xdotool imagemagick python3-xlib
  # The browser tests: Debian's Chromium, driven by playwright-core from npm.
  chromium fonts-font-awesome
)
# Node.js may come from another source already (its nodejs package then conflicts with
# Debian's npm): install Debian's only when the commands are missing.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [ "${VLM_BENCH_DEPS:-0}" = 1 ]; then
  packages+=(wrk nginx-light)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo -n)
else
  echo "setup: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
