#!/usr/bin/env bash
# Builds Tsubame and the benchmark drivers (Release, in build/bench) and prints each benchmark
# beside its peer program: times, ratio, and the machine they came from.
# Arguments go to bench/compare.py (--help lists them; --only viewer,compact,check,memory,send,startup,
# --runs N, --records N, --mails N). Needs dovecot-pop3d, mpop, msmtp and python3-aiosmtpd.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${TSUBAME_BENCH_BUILD:-build/bench}"
for tool in dovecot mpop msmtp; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTSUBAME_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target tsubame bench_make_store bench_open_viewer bench_remove_one \
      minimal_qt_window
exec /usr/bin/python3 bench/compare.py --build "$build" "$@"
