#!/bin/sh
# Installs the build into a fresh folder and runs the installed program from there: the window
# library and the mail library module must be installed beside the executable, no function or
# object of the program is in two of its binaries, and --send or --check loads no Qt.
set -eu
build=$1
cmake=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
"$prefix/tsubame" --version
test -f "$prefix/libtsubame_nmail.so"
test -f "$prefix/libtsubame_windows.so"
test ! -e "$prefix/libtsubame_check.so"
# Strong definitions of the program's own names (inline functions and templates are weak).
for binary in tsubame libtsubame_windows.so libtsubame_nmail.so; do
  nm -D --defined-only "$prefix/$binary" | awk '$2 ~ /^[TDBR]$/ && $3 ~ /tsubame/ {print $3}' | sort -u
done | sort | uniq -d >"$prefix/twice"
if [ -s "$prefix/twice" ]; then
  echo "defined in two binaries:" >&2
  head "$prefix/twice" >&2
  exit 1
fi
cd "$prefix"
printf 'body\n' >body.txt
for command in "--check" "--send --to to@example.com --subject s --body-file body.txt"; do
  # No server is set: the command fails, after loading what it needs.
  if LD_DEBUG=files "$prefix/tsubame" $command 2>&1 | grep 'file=libQt6'; then
    echo "tsubame $command loaded Qt" >&2
    exit 1
  fi
done
