#!/bin/sh
# Installs the build into a fresh folder and runs the installed program from there: the window
# library (which parses every command line but a plain --send or --check), the check library
# and the mail library module must be installed beside the executable, and a plain --send or
# --check loads no Qt.
set -eu
build=$1
cmake=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
"$prefix/tsubame" --version
test -f "$prefix/libtsubame_nmail.so"
test -f "$prefix/libtsubame_check.so"
cd "$prefix"
printf 'body\n' >body.txt
for command in "--check" "--send --to to@example.com --subject s --body-file body.txt"; do
  # No server is set: the command fails, after loading what it needs.
  if LD_DEBUG=files "$prefix/tsubame" $command 2>&1 | grep 'file=libQt6'; then
    echo "tsubame $command loaded Qt" >&2
    exit 1
  fi
done
