#!/bin/sh
# Builds the libFuzzer targets with clang and runs each of them for a bounded time.
# Usage: fuzz/run.sh SECONDS [BUILD_DIR [TARGET...]]   (default build dir: build/fuzz; default
# targets: every fuzz/*_fuzz.cpp). Two runs with different targets may share a build dir once
# the targets are built.
# New inputs go to BUILD_DIR/corpus/<target>; seed folders are only read. A crash leaves
# its input in BUILD_DIR/findings/<target>.
set -eu
seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR [TARGET...]]}
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$repo/build/fuzz}
[ $# -ge 2 ] && shift 2 || shift $#
targets=$*
if [ -z "$targets" ]; then
  for source in "$repo"/fuzz/*_fuzz.cpp; do targets="$targets $(basename "$source" .cpp)"; done
fi

# clang and its libFuzzer runtime, installed when missing (as scripts/setup.sh does).
missing=""
for package in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
if [ -n "$missing" ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
  echo "Installing:$missing"
  $sudo_cmd apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $missing
fi
mail_corpus=$repo/../shared/testdata/mail-corpus

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTSUBAME_BUILD_FUZZ=ON -DTSUBAME_BUILD_TESTS=OFF -DTSUBAME_BUILD_BENCH=OFF
fi

status=0
for target in $targets; do
  cmake --build "$build" --target "$target" -j2
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  mkdir -p "$corpus" "$findings"
  seeds=""
  [ -d "$repo/fuzz/seeds/$target" ] && seeds="$repo/fuzz/seeds/$target"
  case $target in
    mime_decode_fuzz) [ -d "$mail_corpus" ] && seeds="$seeds $mail_corpus" ;;
  esac
  dict=""
  [ -f "$repo/fuzz/$target.dict" ] && dict="-dict=$repo/fuzz/$target.dict"
  # A record is 32 KB: without this, inputs grow too slowly to reach the later fields.
  [ "$target" = record_fuzz ] && dict="$dict -len_control=0"
  echo "== $target for ${seconds}s"
  # shellcheck disable=SC2086
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" $dict \
      "$corpus" $seeds; then
    echo "!! $target found a problem; see $findings" >&2
    status=1
  fi
done
exit $status
