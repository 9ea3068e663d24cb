#!/bin/sh
# Builds the libFuzzer targets with clang and runs each of them for a bounded time.
# Usage: fuzz/run.sh SECONDS [BUILD_DIR]   (default build dir: build/fuzz)
# New inputs go to BUILD_DIR/corpus/<target>; seed folders are only read. A crash leaves
# its input in BUILD_DIR/findings/<target>.
set -eu
seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR]}
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$repo/build/fuzz}
mail_corpus=$repo/../shared/testdata/mail-corpus

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTSUBAME_BUILD_FUZZ=ON -DTSUBAME_BUILD_TESTS=OFF -DTSUBAME_BUILD_BENCH=OFF
fi

status=0
for source in "$repo"/fuzz/*_fuzz.cpp; do
  target=$(basename "$source" .cpp)
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
