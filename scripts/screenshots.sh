#!/bin/sh
# Makes the window pictures in docs/ (main window, viewer, compose, reply, address book) on a
# virtual X display, with Japanese text. Usage: scripts/screenshots.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/screenshots"}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$build" --target tsubame_ui_tests
mkdir -p "$root/docs"
TSUBAME_SCREENSHOT_DIR="$root/docs" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/tsubame_ui_tests" --gtest_also_run_disabled_tests \
    --gtest_filter='Screenshots.*'
ls -l "$root/docs/main-window.png" "$root/docs/viewer.png" "$root/docs/compose.png" "$root/docs/reply.png" \
    "$root/docs/addressbook.png" "$root/docs/main-window-checking.png"
