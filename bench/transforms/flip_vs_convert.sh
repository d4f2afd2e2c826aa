#!/usr/bin/env bash
# Whole-process time of `kadrimex-batch flip h` next to `convert` of the same
# 4000 x 3000 BMP, alternating runs, medians of each (GNU time).
# Usage: flip_vs_convert.sh KADRIMEX_BATCH PHOTO.jpg [RUNS]
set -euo pipefail
batch=$1 photo=$2 runs=${3:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$batch" convert -i "$photo" -o "$work/in.bmp" --quiet
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
for ((i = 0; i < runs; i++)); do
  /usr/bin/time -f %e -a -o "$work/flip" "$batch" flip h -i "$work/in.bmp" -o "$work/f.bmp" --quiet
  /usr/bin/time -f %e -a -o "$work/convert" "$batch" convert -i "$work/in.bmp" -o "$work/c.bmp" --quiet
done
flip=$(median <"$work/flip") convert=$(median <"$work/convert")
echo "flip h: $flip s, convert: $convert s, ratio $(awk "BEGIN {printf \"%.3f\", $flip / $convert}")"
