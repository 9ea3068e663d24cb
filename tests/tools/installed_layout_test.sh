#!/bin/sh
# Installs the build into a fresh folder and runs the installed program from there: the window
# library (which parses every command line but a plain --send) and the mail library module
# must be installed beside the executable.
set -eu
build=$1
cmake=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
"$prefix/tsubame" --version
test -f "$prefix/libtsubame_nmail.so"
