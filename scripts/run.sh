#!/usr/bin/env bash
# Sets up, builds and starts the viewer on the sample plan (written into
# the user's data folder when it is not there or is out of date).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKZ_TESTS=OFF -DKZ_BENCH=OFF >/dev/null
cmake --build build/release --parallel "$(nproc)" --target kovizelto sampleplan
data="${KZ_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/kovizelto}/trel"
# The generator's tag: a sample written by an older generator is rewritten.
tag="$(sed -n 's/.*kSamplePlanTag = "\(.*\)";.*/\1/p' tools/SamplePlan.h)"
if [ "$(head -n1 "$data/source.tag" 2>/dev/null | tr -d '\r')" != "$tag" ]; then
  QT_QPA_PLATFORM=offscreen build/release/tools/sampleplan "$data" >/dev/null
fi
# The plan's database alias, registered in the settings file when absent.
QT_QPA_PLATFORM=offscreen build/release/tools/sampleplan --register-alias "$data"
if [ "$#" -eq 0 ]; then set -- "$data/Marvela/trel.map"; fi
exec build/release/kovizelto "$@"
