#!/usr/bin/env bash
# Resize of a 4000x3000 picture to 50 % and 200 % (Gauss, mode 2) as whole
# processes, paired with ImageMagick, vips and OpenCV in one run, BMP in and
# out for all. Needs farm-bench, convert, vips and python3-opencv.
#   bench/filters/resize_vs_peers.sh BUILD_DIR PICTURE_4000x3000 [RUNS]
set -euo pipefail
batch=$1/tools/kadrimex-batch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$batch" convert -i "$2" -o "$work/in.bmp" --quiet
runs=${3:-5}
opencv=/usr/bin/python3
cat > "$work/cv.py" <<'PY'
import sys, cv2
image = cv2.imread(sys.argv[1])
w, h = int(sys.argv[3]), int(sys.argv[4])
mode = cv2.INTER_AREA if w < image.shape[1] else cv2.INTER_CUBIC
cv2.imwrite(sys.argv[2], cv2.resize(image, (w, h), interpolation=mode))
PY
for size in "2000 1500 50 0.5" "8000 6000 200 2"; do
  set -- $size
  ours="$batch resize $1 $2 2 -i $work/in.bmp -o $work/ours.bmp --quiet"
  echo "== $3 % =="
  echo "-- ImageMagick"; farm-bench -n "$runs" --timeout 600 --vs "convert $work/in.bmp -resize $3% $work/im.bmp" -- $ours | tail -4
  echo "-- vips"; farm-bench -n "$runs" --timeout 600 --vs "vips resize $work/in.bmp $work/vips.bmp $4" -- $ours | tail -4
  echo "-- OpenCV"; farm-bench -n "$runs" --timeout 600 --vs "$opencv $work/cv.py $work/in.bmp $work/cv.bmp $1 $2" -- $ours | tail -4
done
