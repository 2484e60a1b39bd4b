#!/usr/bin/env bash
# Sets up, builds and starts the viewer.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKZ_TESTS=OFF -DKZ_BENCH=OFF >/dev/null
cmake --build build/release --parallel "$(nproc)" --target kovizelto
exec build/release/app/kovizelto "$@"
