#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: an optimised build
# and an AddressSanitizer + UndefinedBehaviorSanitizer build; then builds
# the fuzz targets of the readers and runs each for 60 seconds
# (scripts/fuzz.sh). Any failing test, sanitizer report or fuzz fault
# fails the run.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/setup.sh
jobs="$(nproc)"

run_suite() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" --parallel "$jobs"
  ( cd "$dir" && ctest --output-on-failure --parallel "$jobs" )
}

status=0
echo "== optimised build"
run_suite build/release -DCMAKE_BUILD_TYPE=Release -DKZ_TESTS=ON -DKZ_BENCH=ON || status=1
echo "== sanitizer build"
run_suite build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_SANITIZE=ON -DKZ_TESTS=ON -DKZ_BENCH=OFF || status=1
echo "== fuzz targets"
bash scripts/fuzz.sh 60 || status=1
exit $status
