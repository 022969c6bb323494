#!/usr/bin/env bash
# Installs what is missing, builds the reader and the demo book, and starts the reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/env.sh
cmake -S . -B build -G Ninja
cmake --build build
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the reader under Xvfb (nothing will be seen)." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/demo/talvorin
fi
exec build/demo/talvorin
