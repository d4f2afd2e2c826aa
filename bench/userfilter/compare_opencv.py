#!/usr/bin/env python3
"""User filter against OpenCV's filter2D on the same matrices, in one run.

For each photograph and each matrix (3x3, 5x5, 7x7; a box of ones and a bell
of reals, exactly the matrices of BenchUserFilter.cpp) it reports:
  * Kadrimex time: the user filter alone, from bench_userfilter (Google
    Benchmark, all cores);
  * OpenCV time: cv2.filter2D with a float32 kernel (coefficients / divider),
    replicated borders, 8-bit output, all cores, median of several runs;
  * agreement: kadrimex-batch's output against a float64 OpenCV evaluation of
    the same formula (Floor(1.00001 / divider * sum), clamped), on the same
    decoded pixels.

Usage (Debian python3 with python3-opencv): compare_opencv.py --bench BUILD/bench/userfilter/bench_userfilter
                         --batch BUILD/tools/kadrimex-batch [--data DIR]
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time

import cv2
import numpy as np

PHOTOS = ["coffee-1920x1080.jpg", "rocket-4000x3000.jpg"]


def bell(n):
    sigma, c = n / 4.0, (n - 1) / 2.0
    m = np.array([[math.exp(-((i - c) ** 2 + (j - c) ** 2) / (2 * sigma * sigma)) for j in range(n)]
                  for i in range(n)])
    return m, float(m.sum())


def matrix(n, kind):
    if kind == "int":
        return np.ones((n, n)), float(n * n)
    return bell(n)


def kadrimex_ms(bench, photo, n, kind):
    name = f"UserFilter/{photo}/{n}x{n}/{kind}"
    out = subprocess.run([bench, f"--benchmark_filter=^{name}/", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    runs = [b for b in json.loads(out)["benchmarks"] if b["name"].startswith(name + "/")]
    if not runs or runs[0].get("error_occurred"):
        return None
    return runs[0]["real_time"]


def opencv_ms(img, kernel, repeats):
    cv2.filter2D(img, -1, kernel, borderType=cv2.BORDER_REPLICATE)
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        cv2.filter2D(img, -1, kernel, borderType=cv2.BORDER_REPLICATE)
        times.append((time.perf_counter() - t) * 1000)
    return sorted(times)[len(times) // 2]


def agreement(batch, bmp, img, m, divider, tmp):
    out = os.path.join(tmp, "out.bmp")
    args = [batch, "user", str(len(m)), repr(divider), "0", "0"] + [repr(float(v)) for v in m.flatten()]
    subprocess.run(args + ["-i", bmp, "-o", out, "--quiet"], check=True)
    ours = cv2.imread(out, cv2.IMREAD_UNCHANGED)
    s = cv2.filter2D(img.astype(np.float64), cv2.CV_64F, m, borderType=cv2.BORDER_REPLICATE)
    ref = np.floor(np.clip(s * (1.00001 / divider), 0, 255)).astype(np.uint8)
    diff = np.abs(ours.astype(int) - ref.astype(int))
    return 100.0 * float((diff == 0).mean()), int(diff.max())


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bench", required=True)
    ap.add_argument("--batch", required=True)
    ap.add_argument("--data", default=os.path.join(here, "..", "..", "..", "shared", "testdata"))
    ap.add_argument("--repeats", type=int, default=7)
    a = ap.parse_args()

    print(f"OpenCV {cv2.__version__}, {cv2.getNumThreads()} threads; {os.cpu_count()} cores")
    print(f"{'photo':24} {'matrix':10} {'Kadrimex ms':>12} {'OpenCV ms':>10} {'ratio':>7} {'equal %':>8} {'max diff':>8}")
    with tempfile.TemporaryDirectory() as tmp:
        for photo in PHOTOS:
            path = os.path.join(a.data, photo)
            if not os.path.exists(path):
                print(f"{photo}: not found in {a.data}, skipped")
                continue
            # Both sides read the same pixels: the editor's own decoding, saved as BMP.
            bmp = os.path.join(tmp, "in.bmp")
            subprocess.run([a.batch, "convert", "-i", path, "-o", bmp, "--quiet"], check=True)
            img = cv2.imread(bmp, cv2.IMREAD_COLOR)
            for n in (3, 5, 7):
                for kind in ("int", "real"):
                    m, divider = matrix(n, kind)
                    ours = kadrimex_ms(a.bench, photo, n, kind)
                    theirs = opencv_ms(img, (m / divider).astype(np.float32), a.repeats)
                    equal, worst = agreement(a.batch, bmp, img, m, divider, tmp)
                    ratio = f"{ours / theirs:7.1f}" if ours else "    n/a"
                    print(f"{photo:24} {f'{n}x{n} {kind}':10} {ours or float('nan'):12.1f} {theirs:10.1f} {ratio} "
                          f"{equal:8.3f} {worst:8d}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
