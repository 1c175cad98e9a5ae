#!/usr/bin/env bash
# Installs what is missing, builds, makes the demo data set and shows where it is.
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
echo "Demo data set: $(pwd)/$demo.gri"
