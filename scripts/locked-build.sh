#!/usr/bin/env bash
# Developer helper: builds (and optionally tests) under a machine-wide lock so that several people
# working in one checkout on a 2-core machine never run two compilations at once.
#   scripts/locked-build.sh [target...]            build the targets (all when none)
#   scripts/locked-build.sh --test REGEX [target]  build, then run the ctest tests matching REGEX
set -euo pipefail
cd "$(dirname "$0")/.."
exec 9>/tmp/tallyra-build.lock
flock 9
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
if [ "${1:-}" = "--test" ]; then
    regex=$2; shift 2
    cmake --build build -j2 ${1:+--target "$@"}
    cd build && ctest --output-on-failure -R "$regex"
else
    cmake --build build -j2 ${1:+--target "$@"}
fi
