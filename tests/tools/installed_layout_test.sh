#!/bin/sh
# Installs the build into a fresh folder and runs the installed program from there: the window
# library and the mail library module must be installed beside the executable, no function or
# object of the program is in two of its binaries, --send or --check loads no Qt, and a window
# library that is foreign, writable by others or owned by another user is refused unrun.
set -eu
build=$1
cmake=$2
foreign=$3
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

# Each planted window library is refused with its name, before anything of it runs.
windows="$prefix/libtsubame_windows.so"
cp "$windows" "$prefix/built.so"
refused() {
  rm -f "$prefix/mark"
  if TSUBAME_FOREIGN_MARK="$prefix/mark" QT_QPA_PLATFORM=offscreen TSUBAME_EXIT_AFTER_SHOW=1 \
    timeout 20 "$prefix/tsubame" --app-folder "$prefix" 2>"$prefix/err"; then
    echo "a $1 window library was run" >&2
    exit 1
  fi
  grep -q "libtsubame_windows.so" "$prefix/err" || { cat "$prefix/err" >&2; exit 1; }
  test ! -e "$prefix/mark" || { echo "the $1 library's constructor ran" >&2; exit 1; }
}
cp "$foreign" "$windows" && chmod 755 "$windows" && refused foreign
cp "$prefix/built.so" "$windows"
chmod 775 "$windows" && refused group-writable
chmod 757 "$windows" && refused world-writable
chmod 755 "$windows"
if [ "$(id -u)" -eq 0 ] && chown nobody "$windows" 2>/dev/null; then refused "another user's"; fi
