#!/usr/bin/env bash
# Puts Tsubame into the desktop's application menu: writes tsubame.desktop into the user's
# applications folder, starting the program with its application folder.
# Usage: scripts/install_desktop_entry.sh APP_FOLDER
set -euo pipefail
app_folder="$(cd "$1" && pwd)"
applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$applications"

# A desktop-entry string value: backslash, newline, tab and return escaped.
entry_value() {
  local v="${1//\\/\\\\}"
  v="${v//$'\n'/\\n}"; v="${v//$'\t'/\\t}"; v="${v//$'\r'/\\r}"
  printf '%s' "$v"
}
# One argument of Exec, quoted: inside the quotes ", `, $ and \ take a backslash, and % is
# written %%; then the whole is a string value.
exec_argument() {
  local a="$1"
  a="${a//\\/\\\\}"; a="${a//\"/\\\"}"; a="${a//\`/\\\`}"; a="${a//\$/\\\$}"; a="${a//%/%%}"
  entry_value "\"$a\""
}

entry="$applications/tsubame.desktop"
tmp="$(mktemp "$applications/.tsubame.desktop.XXXXXX")"
trap 'rm -f "$tmp"' EXIT
{
  echo "[Desktop Entry]"
  echo "Type=Application"
  echo "Version=1.0"
  echo "Name=Tsubame"
  echo "Name[ja]=燕 Tsubame"
  echo "GenericName=Mail Client"
  echo "GenericName[ja]=メールソフト"
  echo "Comment=Receive, read and write mail"
  echo "Comment[ja]=メールの受信・閲覧・作成"
  echo "Exec=$(exec_argument "$app_folder/tsubame") --app-folder $(exec_argument "$app_folder")"
  echo "Path=$(entry_value "$app_folder")"
  echo "Icon=$(entry_value "$app_folder/tsubame.svg")"
  echo "Terminal=false"
  echo "Categories=Network;Email;"
  echo "StartupWMClass=tsubame"
} >"$tmp"
chmod 644 "$tmp"
mv -f "$tmp" "$entry"
trap - EXIT
command -v update-desktop-database >/dev/null && update-desktop-database -q "$applications" || true
echo "$entry"
