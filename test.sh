#!/usr/bin/env bash
# Installs what is missing, builds and runs every test through CTest.
# TSUBAME_SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer.
# TSUBAME_SANITIZE=thread builds with ThreadSanitizer only the test executables of folders whose
# code starts threads (label "threads") and runs them whole; any report fails the run.
# Dovecot and aiosmtpd are installed by the set-up, so a test server that does not start fails
# its tests here (with the server's log) instead of skipping them.
set -euo pipefail
cd "$(dirname "$0")"
export TSUBAME_REQUIRE_SERVERS=1
scripts/setup.sh
build=build/test
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
ctest_args=()
case "${TSUBAME_SANITIZE:-0}" in
  1)
    build=build/asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DTSUBAME_SANITIZE=ON -DTSUBAME_BUILD_BENCH=OFF)
    ;;
  thread)
    build=build/tsan
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSUBAME_TSAN=ON -DTSUBAME_BUILD_BENCH=OFF)
    ctest_args=(-L threads)
    # QProcess starts its children with a fork that shares memory (die_after_fork=0); Qt is
    # built without the sanitizer (tests/tsan.supp says why each of its frames is there).
    export TSAN_OPTIONS="die_after_fork=0 suppressions=$PWD/tests/tsan.supp ${TSAN_OPTIONS:-}"
    # GLib's slice allocator (GMime's objects) hands freed blocks to other threads inside the
    # uninstrumented library; plain malloc lets the sanitizer see those hand-overs.
    export G_SLICE=always-malloc
    ;;
esac
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j2 "${ctest_args[@]}" "$@"
