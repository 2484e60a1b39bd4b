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
# As an installer would, in the settings file, each only when absent: the
# plan's database alias, the data folder ("Source") and the default map
# ("DefaultMap", "DefaultMapTitle"), which the viewer opens at start.
QT_QPA_PLATFORM=offscreen build/release/tools/sampleplan --register-alias --register-defaults "$data"
exec build/release/kovizelto "$@"
