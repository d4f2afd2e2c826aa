#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test twice:
# once in a Release build, once under AddressSanitizer + UndefinedBehaviorSanitizer;
# then gives each file decoder's fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKADRIMEX_TESTS=ON
cmake --build build -j "$jobs"
bash scripts/check-deps.sh build
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== ASan + UBSan build and tests"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADRIMEX_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DKADRIMEX_TESTS=ON
cmake --build build-sanitize -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export KADRIMEX_SANITIZED=1
(cd build-sanitize && ctest --output-on-failure -j "$jobs" --timeout 900)

if [ -f fuzz/smoke.sh ]; then
  echo "== Fuzz smoke run"
  bash fuzz/smoke.sh build-fuzz
fi
