#!/usr/bin/env python3
"""Times kadrimex-batch fft, revfft and fftgauss 20 next to numpy's fft2 on
the same photographs, in one run.

    compare_numpy.py BATCH SHARED_DIR [--work DIR] [--sizes 1024,2048,0]

BATCH is the kadrimex-batch executable, SHARED_DIR the folder holding
testdata/. Size 0 is the 4000 x 3000 rocket photograph itself; the square
sizes are its centre 3000 x 3000 averaged down. Every batch command is timed
as a whole (file reading and writing included), with its wall time, CPU time
and peak resident memory (GNU time, /usr/bin/time); numpy transforms the three channels of the same
picture in complex128, once at the picture's own size and once at the
padded power-of-two size the batch commands work on.

OpenBLAS variables can slow numpy on some processors; unset them for this
command only:  env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE python3 ...
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np


def padded(n):
    size = 1
    while True:
        size *= 2
        if size >= n:
            return size


def read_bmp24(path):
    data = open(path, "rb").read()
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    bits = int.from_bytes(data[28:30], "little")
    if bits != 24:
        sys.exit(f"{path}: expected a 24-bit BMP")
    stride = (width * 3 + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    pixels = rows[:, : width * 3].reshape(abs(height), width, 3)
    return pixels[::-1].copy() if height > 0 else pixels.copy()


def write_bmp24(path, pixels):
    height, width, _ = pixels.shape
    stride = (width * 3 + 3) // 4 * 4
    body = np.zeros((height, stride), np.uint8)
    body[:, : width * 3] = pixels[::-1].reshape(height, width * 3)
    header = b"BM" + (54 + body.size).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little")
    info = (40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little")
    info += (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24)
    with open(path, "wb") as f:
        f.write(header + info + body.tobytes())


def area_average(photo, side):
    crop = photo.shape[0]
    left = (photo.shape[1] - crop) // 2
    square = photo[:, left : left + crop].astype(np.float64)
    edges = np.array([i * crop // side for i in range(side)])
    counts = np.diff(np.append(edges, crop))
    rows = np.add.reduceat(square, edges, axis=0) / counts[:, None, None]
    both = np.add.reduceat(rows, edges, axis=1) / counts[None, :, None]
    return both.astype(np.uint8)


def run_batch(batch, args):
    """Wall time, CPU time and peak resident memory (MB) of one command,
    measured by GNU time so that the peak is the tool's own, not that of
    this Python process it was forked from."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-o", report.name, "-f", "%U %S %M", batch] + args + ["--quiet"])
        wall = time.perf_counter() - start
        if status != 0:
            sys.exit(f"kadrimex-batch {' '.join(args)} failed with status {status}")
        user, system, peak = report.read().split()[-3:]
    return wall, float(user) + float(system), int(peak) / 1024.0


def time_numpy(pixels, shape=None, repeats=3):
    planes = pixels.astype(np.float64)
    best_wall, best_cpu = float("inf"), float("inf")
    for _ in range(repeats):
        cpu0, wall0 = time.process_time(), time.perf_counter()
        for c in range(3):
            np.fft.fft2(planes[:, :, c], s=shape)
        best_wall = min(best_wall, time.perf_counter() - wall0)
        best_cpu = min(best_cpu, time.process_time() - cpu0)
    return best_wall, best_cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("batch")
    parser.add_argument("shared")
    parser.add_argument("--work", default=None)
    parser.add_argument("--sizes", default="1024,2048,0")
    options = parser.parse_args()
    work = options.work or tempfile.mkdtemp(prefix="kadrimex-fft-bench-")
    os.makedirs(work, exist_ok=True)

    rocket = os.path.join(work, "rocket-4000x3000.bmp")
    if not os.path.exists(rocket):
        jpeg = os.path.join(options.shared, "testdata", "rocket-4000x3000.jpg")
        run_batch(options.batch, ["convert", "-i", jpeg, "-o", rocket])
    photo = read_bmp24(rocket)

    print(f"numpy {np.__version__}; work folder {work}")
    print(f"{'picture':>10} {'command':>12} {'wall s':>8} {'cpu s':>8} {'peak MB':>8}")
    for side in (int(s) for s in options.sizes.split(",")):
        if side == 0:
            path, pixels = rocket, photo
        else:
            path = os.path.join(work, f"rocket-{side}x{side}.bmp")
            pixels = area_average(photo, side)
            write_bmp24(path, pixels)
        h, w = pixels.shape[:2]
        name = f"{w}x{h}"
        spectrum = os.path.join(work, f"spectrum-{name}.bmp")
        for label, args in (("fft", ["fft", "-i", path, "-o", spectrum]),
                            ("revfft", ["revfft", "-i", spectrum, "-o", os.path.join(work, "back.bmp")]),
                            ("fftgauss 20", ["fftgauss", "20", "-i", path, "-o", os.path.join(work, "gauss.bmp")])):
            wall, cpu, peak = run_batch(options.batch, args)
            print(f"{name:>10} {label:>12} {wall:8.2f} {cpu:8.2f} {peak:8.0f}", flush=True)
        wall, cpu = time_numpy(pixels)
        print(f"{name:>10} {'numpy fft2':>12} {wall:8.3f} {cpu:8.3f} {'':>8}")
        wall, cpu = time_numpy(pixels, (padded(h), padded(w)))
        print(f"{name:>10} {'numpy padded':>12} {wall:8.3f} {cpu:8.3f} {'':>8}", flush=True)


if __name__ == "__main__":
    main()
