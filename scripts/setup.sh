#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Safe to run again: apt and npm skip what is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev
  zlib1g-dev liblzma-dev libjpeg-dev
  libavcodec-dev libswresample-dev libswscale-dev libavcodec59 libswresample4 libswscale6
  qt6-multimedia-dev libqt6multimedia6
  clang libclang-rt-14-dev
  xvfb xdotool x11-utils imagemagick openbox
  mdbtools nodejs python3
  dpkg-dev lintian
  fonts-noto-cjk fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Debian's nodejs lacks npm; a nodejs that already brings npm conflicts with it.
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Test oracle for the store format, pinned by the lock file.
if [ -f "$here/tests/oracle/package.json" ] && [ ! -d "$here/tests/oracle/node_modules/mdb-reader" ]; then
  (cd "$here/tests/oracle" && npm ci --no-audit --no-fund)
fi
