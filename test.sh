#!/usr/bin/env bash
# Installs what is missing, builds and runs every test through CTest.
# TSUBAME_SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
build=build/test
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${TSUBAME_SANITIZE:-0}" = 1 ]; then
  build=build/asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DTSUBAME_SANITIZE=ON -DTSUBAME_BUILD_BENCH=OFF)
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j2 "$@"
