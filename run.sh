#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo data set and opens the viewer
# on it. Without a display it draws the view once under Xvfb into a PNG file and
# prints where that is. The log and presets files live in build/.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

demo=build/demo/vortex
if [ ! -f "$demo.gri" ]; then
  mkdir -p build/demo
  build/flowgen "$demo" --size 48x32x8 --layers 2 --frames 24 --timestep 0.1
fi
grid="$(pwd)/$demo.gri"
echo "Demo data set: $grid"

cd build
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./quorvane "$grid"
fi

# Qt wants a private runtime folder.
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

snapshot="$(pwd)/demo/vortex.png"
# The whole data set in view, its first layer and the glyphs over it.
xvfb-run -a -s '-screen 0 1280x1024x24' ./quorvane "$grid" --fit --rotate 25,-30 --layer 0 \
  --show axes,layer,glyphs --size 800x600 --snapshot "$snapshot" >/dev/null
echo "Snapshot: $snapshot"
