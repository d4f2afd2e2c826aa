#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKADRIMEX_TESTS=OFF
cmake --build build --target kadrimex kadrimex-batch
exec build/app/kadrimex "$@"
