#!/usr/bin/env bash
# Kadrimex against ImageMagick, vips, OpenCV, NumPy and SciPy as whole
# processes on the same pictures; prints ours / fastest peer per task and
# writes bench/RESULTS.md. Installs the peers (as root, Debian 12) when they
# are missing and builds kadrimex-batch in build-compare/ when no BUILD_DIR is
# given.
#   bench/compare.sh [BUILD_DIR] [compare.py options: --runs N --only TEXT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${KADRIMEX_SHARED:-$root/../shared}
[ -d "$shared/testdata" ] || { echo "compare.sh: no testdata folder in $shared (set KADRIMEX_SHARED)" >&2; exit 2; }

need=()
convert -version 2>/dev/null | grep -q '^Version: ImageMagick' || need+=(imagemagick)
command -v vips >/dev/null || need+=(libvips-tools)
/usr/bin/python3 -c 'import cv2' 2>/dev/null || need+=(python3-opencv)
/usr/bin/python3 -c 'import numpy' 2>/dev/null || need+=(python3-numpy)
/usr/bin/python3 -c 'import scipy' 2>/dev/null || need+=(python3-scipy)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}"
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"
fi

if [ $# -gt 0 ] && [ -d "$1" ]; then
  build=$1; shift
else
  build=$root/build-compare
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKADRIMEX_TESTS=OFF -DKADRIMEX_UI=OFF >/dev/null
  cmake --build "$build" --target kadrimex-batch
fi
exec /usr/bin/python3 "$root/bench/compare.py" "$build/tools/kadrimex-batch" "$shared" "$@"
