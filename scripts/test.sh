#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: an optimised build
# and an AddressSanitizer + UndefinedBehaviorSanitizer build; then the tests
# of the layers and the view (the redraw threads and all they read) under
# ThreadSanitizer; then builds the fuzz targets of the readers and runs each
# for 60 seconds (scripts/fuzz.sh). Any failing test, sanitizer report or
# fuzz fault fails the run.
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

# ThreadSanitizer: a debug build (so that the checks of the redraw's rules
# run as well) of the layers' and the view's test programs only, through
# ccache when there is one. Any report fails the test that meets it
# (TSAN_OPTIONS in cmake/KzTargets.cmake, tests/tsan.supp).
run_threads() {
  local dir=build/tsan labels='engine-(layers|view)'
  local cache=()
  if command -v ccache >/dev/null; then
    cache=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_C_FLAGS_DEBUG=-O1 -g" "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" \
    -DKZ_TSAN=ON -DKZ_TESTS=ON -DKZ_BENCH=OFF "${cache[@]}" >/dev/null
  local targets
  targets=$(cd "$dir" && ctest -N -L "$labels" | sed -n 's/^ *Test *#[0-9]*: *//p')
  [ -n "$targets" ]
  # shellcheck disable=SC2086
  cmake --build "$dir" --parallel "$jobs" --target $targets
  ( cd "$dir" && ctest --output-on-failure --parallel "$jobs" -L "$labels" )
}

status=0
echo "== optimised build"
run_suite build/release -DCMAKE_BUILD_TYPE=Release -DKZ_TESTS=ON -DKZ_BENCH=ON || status=1
echo "== sanitizer build"
run_suite build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKZ_SANITIZE=ON -DKZ_TESTS=ON -DKZ_BENCH=OFF || status=1
echo "== thread sanitizer build (layers and view)"
run_threads || status=1
echo "== fuzz targets"
bash scripts/fuzz.sh 60 || status=1
exit $status
