#!/usr/bin/env python3
"""User filter against its peers as whole processes, BMP in and out.

Real matrices of 3x3, 5x5 and 7x7 (the bell of BenchUserFilter.cpp, and
0.04 in every cell of a 5x5) against OpenCV's filter2D with the same matrix
over the divider; the 3x3 sharpen (0 -1 0 / -1 5 -1 / 0 -1 0) against
ImageMagick, vips and OpenCV. The two commands of a pair run in turn and the
ratio is taken pair by pair, so a machine whose speed drifts still gives a
fair ratio; the median of the ratios is printed.

Usage (Debian python3 with python3-opencv, imagemagick, libvips-tools):
  vs_peers.py --batch BUILD/tools/kadrimex-batch --picture PHOTO [--runs 5]
"""
import argparse
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

OPENCV = """import sys, cv2, numpy as np
n, d = int(sys.argv[3]), float(sys.argv[4])
m = np.array([float(v) for v in sys.argv[5:]]).reshape(n, n) / d
img = cv2.imread(sys.argv[1], cv2.IMREAD_COLOR)
cv2.imwrite(sys.argv[2], cv2.filter2D(img, -1, m.astype(np.float32), borderType=cv2.BORDER_REPLICATE))
"""


def bell(n):
    sigma, c = n / 4.0, (n - 1) / 2.0
    m = [math.exp(-((i - c) ** 2 + (j - c) ** 2) / (2 * sigma * sigma)) for i in range(n) for j in range(n)]
    return m, sum(m)


def seconds(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def paired(ours, theirs, runs):
    seconds(ours), seconds(theirs)  # warm the file cache
    a, b = [], []
    for _ in range(runs):
        a.append(seconds(ours))
        b.append(seconds(theirs))
    return statistics.median(a), statistics.median(b), statistics.median(x / y for x, y in zip(a, b))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--batch", required=True)
    ap.add_argument("--picture", required=True)
    ap.add_argument("--runs", type=int, default=5)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        src, ours_out, peer_out = (os.path.join(tmp, f) for f in ("in.bmp", "ours.bmp", "peer.bmp"))
        subprocess.run([a.batch, "convert", "-i", a.picture, "-o", src, "--quiet"], check=True)
        cv = os.path.join(tmp, "cv.py")
        with open(cv, "w") as f:
            f.write(OPENCV)

        def ours(n, d, m):
            return [a.batch, "user", str(n), repr(d), "0", "0"] + [repr(v) for v in m] + \
                   ["-i", src, "-o", ours_out, "--quiet"]

        def opencv(n, d, m):
            return ["/usr/bin/python3", cv, src, peer_out, str(n), repr(d)] + [repr(v) for v in m]

        cases = [(f"{n}x{n} bell", n) + bell(n) for n in (3, 5, 7)] + [("5x5 0.04", 5, [0.04] * 25, 1.0)]
        sharpen = [0, -1, 0, -1, 5, -1, 0, -1, 0]
        mat = os.path.join(tmp, "sharpen.mat")
        with open(mat, "w") as f:
            f.write("3 3 1 0\n0 -1 0\n-1 5 -1\n0 -1 0\n")
        peers = [("sharpen", "ImageMagick", ["convert", src, "-morphology", "Convolve",
                                             "3x3:0,-1,0,-1,5,-1,0,-1,0", peer_out]),
                 ("sharpen", "vips", ["vips", "conv", src, peer_out, mat, "--precision", "integer"]),
                 ("sharpen", "OpenCV", opencv(3, 1.0, sharpen))]
        print(f"{'matrix':12} {'peer':12} {'ours s':>8} {'peer s':>8} {'ratio':>6}")
        rows = [(name, "OpenCV", ours(n, d, m), opencv(n, d, m)) for name, n, m, d in cases]
        rows += [(name, peer, ours(3, 1.0, sharpen), command) for name, peer, command in peers]
        for name, peer, mine, theirs in rows:
            t_ours, t_peer, ratio = paired(mine, theirs, a.runs)
            print(f"{name:12} {peer:12} {t_ours:8.3f} {t_peer:8.3f} {ratio:6.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
