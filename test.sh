#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test: the whole
# suite under Xvfb, then the tests without Qt and GL again under ASan+UBSan
# and under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps
jobs=$(nproc)

# The tree stays formatted by .clang-format; any difference fails the run.
git ls-files '*.cpp' '*.h' | xargs clang-format-15 --dry-run --Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

# Qt wants a private runtime folder.
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

# -noreset: the server must not restart when the last test disconnects, or a
# test starting in that moment finds no display.
xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' \
  ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON -DQUORVANE_CORE_ONLY=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -L core --output-on-failure -j"$jobs"

# The core's threads again under ThreadSanitizer (the frame queue, the store's
# decode and prefetch, the parallel passes), built without the AVX2 clones,
# whose resolvers ThreadSanitizer cannot run. Its allocator keeps freed
# memory, so the test that memory goes back to the system is left out.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON -DQUORVANE_CORE_ONLY=ON >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build-tsan -L core -E 'Unload.GivesFreedMemoryBackToTheSystem' --output-on-failure -j"$jobs"
