#!/bin/bash
# Peak memory of the editor's view at 100 % and at 50 000 % on a 4000 x 3000
# picture. The two peaks must lie within 100 MB of each other: the view
# paints the exposed part straight from the picture and never makes a
# scaled copy.
#
#   bench/view/view_memory.sh BUILD_DIR [PICTURE]
#
# PICTURE defaults to the shared 4000 x 3000 test JPEG. Runs offscreen (no
# display needed); each run repaints for 5 seconds.
set -euo pipefail
build=${1:?usage: view_memory.sh BUILD_DIR [PICTURE]}
here=$(cd "$(dirname "$0")" && pwd)
picture=${2:-$here/../../../shared/testdata/rocket-4000x3000.jpg}
probe=$build/bench/view/view_probe
[ -x "$probe" ] || { echo "build the view_probe target first (-DKADRIMEX_BENCH=ON)"; exit 2; }
[ -f "$picture" ] || { echo "no picture at $picture"; exit 2; }

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
kb() { sed -n 's/.* VmHWM \([0-9]*\) kB.*/\1/p'; }
line100=$("$probe" "$picture" 100 5)
line50000=$("$probe" "$picture" 50000 5)
echo "$line100"
echo "$line50000"
peak100=$(echo "$line100" | kb)
peak50000=$(echo "$line50000" | kb)
if [ -z "$peak100" ] || [ -z "$peak50000" ]; then
  echo "FAIL: no peak memory reported"
  exit 1
fi
diff=$(( (peak50000 - peak100) / 1024 ))
echo "peak at 100 %: $((peak100 / 1024)) MB, at 50000 %: $((peak50000 / 1024)) MB, difference $diff MB"
if [ "$diff" -gt 100 ]; then
  echo "FAIL: 50000 % takes more than 100 MB beyond 100 %"
  exit 1
fi
echo "OK"
