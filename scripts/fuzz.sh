#!/usr/bin/env bash
# Builds the fuzz targets of the readers (clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for a bounded time on its
# seeds (made from the sample plan by fuzz-seeds) plus the corpus kept in
# tests/fuzz/corpus/<target>, several at a time.
#
#   bash scripts/fuzz.sh [seconds per target] [targets at once] [target...]
#
# Defaults: 60 seconds, one target per core, every target. A crash, a
# sanitizer report, an input that runs longer than 10 s, or an allocation
# beyond 2 GB fails the run; the target's log, the reproducer's path and
# the reproducer itself in base64 and hex are printed.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
seconds="${1:-60}"
parallel="${2:-$(nproc)}"
shift $(( $# > 2 ? 2 : $# )) || true
build=build/fuzz

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKZ_FUZZ=ON -DKZ_TESTS=OFF -DKZ_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target kz-fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd "$build/tests/fuzz" && ls fuzz-* | grep -v '^fuzz-seeds$' | sed 's/^fuzz-//' | sort)
fi

run="$build/fuzz-run"
rm -rf "$run"
mkdir -p "$run/seeds" "$run/logs" "$run/artifacts" "$run/work"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp"
"$build/tests/fuzz/fuzz-seeds" "$run/seeds"

run_one() {
  local t="$1"
  local dirs=("$run/work/$t" "$run/seeds/$t")
  mkdir -p "$run/work/$t" "$run/seeds/$t"
  if [ -d "$top/tests/fuzz/corpus/$t" ]; then dirs+=("$top/tests/fuzz/corpus/$t"); fi
  if "$build/tests/fuzz/fuzz-$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$run/artifacts/$t-" "${dirs[@]}" >"$run/logs/$t.log" 2>&1; then
    echo "fuzz-$t: $(grep -E '^stat::number_of_executed_units' "$run/logs/$t.log" | awk '{print $2}') runs," \
      "$(grep -oE 'cov: [0-9]+' "$run/logs/$t.log" | tail -1), no fault"
  else
    echo "fuzz-$t: FAULT"
    return 1
  fi
}
export -f run_one
export run build top seconds

status=0
printf '%s\n' "${targets[@]}" | xargs -P "$parallel" -I{} bash -c 'run_one "$@"' _ {} || status=1

if [ $status -ne 0 ]; then
  for log in "$run"/logs/*.log; do
    t="$(basename "$log" .log)"
    if grep -qE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error:|SUMMARY:|ALARM: working on the last Unit|==ERROR' "$log"; then
      echo "======== fuzz-$t: log"
      tail -n 120 "$log"
    fi
  done
  for a in "$run"/artifacts/*; do
    [ -f "$a" ] || continue
    echo "======== reproducer $a ($(stat -c %s "$a") bytes)"
    echo "---- base64"
    base64 -w 76 "$a" | head -c 2000000
    echo "---- hex"
    od -Ax -tx1 "$a" | head -n 4000
  done
  echo "fuzz: a target found a fault (reproducers above, and in $run/artifacts)"
fi
exit $status
