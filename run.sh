#!/usr/bin/env bash
# Installs what is missing, builds, installs Tsubame into its application folder, adds it to the
# desktop's application menu and starts it.
# Arguments go to the program. The folder is $TSUBAME_APP_FOLDER or ~/Tsubame.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
app_folder="${TSUBAME_APP_FOLDER:-$HOME/Tsubame}"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTSUBAME_BUILD_TESTS=OFF \
      -DTSUBAME_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX="$app_folder" >/dev/null
cmake --build build/release --target tsubame
cmake --install build/release >/dev/null
scripts/install_desktop_entry.sh "$app_folder" >/dev/null  # the desktop's application menu
exec "$app_folder/tsubame" --app-folder "$app_folder" "$@"
