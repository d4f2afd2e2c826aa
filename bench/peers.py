#!/usr/bin/env python3
"""The Python peers of bench/compare.py as whole processes: read a BMP, do one
operation with OpenCV, NumPy or SciPy, write a BMP.

    peers.py LIBRARY OPERATION IN.bmp OUT.bmp [ARGUMENTS]

LIBRARY is cv2, numpy or scipy. Operations (not every library has each):
  kernel N FILE     convolve with the N x N matrix of FILE (whitespace reals)
  blur SIGMA        the library's own Gaussian blur
  convert           read and write
  fft               log-magnitude spectrum, centred, scaled to 0..255
  revfft            inverse transform of the picture taken as a spectrum
  fftgauss SIGMA    Gaussian blur through the transform
  resize W H        INTER_AREA when shrinking, INTER_CUBIC when enlarging
  equalize          per-channel histogram equalisation
  flip              left to right
  rotate RADIANS    about the centre, same size
"""
import math
import sys

import cv2
import numpy as np


def spectrum_to_bytes(planes):
    out = []
    for f in planes:
        m = np.log1p(np.abs(np.fft.fftshift(f)))
        out.append(np.clip(m * (255.0 / max(m.max(), 1e-12)), 0, 255).astype(np.uint8))
    return np.dstack(out)


def gaussian_spectrum(shape, sigma):
    fy = np.fft.fftfreq(shape[0])[:, None]
    fx = np.fft.fftfreq(shape[1])[None, :]
    return np.exp(-2 * (math.pi * sigma) ** 2 * (fx * fx + fy * fy))


def run(library, op, image, args):
    if op == "convert":
        return image
    if library == "cv2":
        if op == "kernel":
            n = int(args[0])
            k = np.loadtxt(args[1], dtype=np.float32).reshape(n, n)
            return cv2.filter2D(image, -1, k, borderType=cv2.BORDER_REPLICATE)
        if op == "blur":
            return cv2.GaussianBlur(image, (0, 0), float(args[0]), borderType=cv2.BORDER_REPLICATE)
        if op == "resize":
            w, h = int(args[0]), int(args[1])
            mode = cv2.INTER_AREA if w < image.shape[1] else cv2.INTER_CUBIC
            return cv2.resize(image, (w, h), interpolation=mode)
        if op == "equalize":
            return cv2.merge([cv2.equalizeHist(c) for c in cv2.split(image)])
        if op == "flip":
            return cv2.flip(image, 1)
        if op == "rotate":
            h, w = image.shape[:2]
            m = cv2.getRotationMatrix2D((w / 2, h / 2), math.degrees(float(args[0])), 1.0)
            return cv2.warpAffine(image, m, (w, h), flags=cv2.INTER_LINEAR)
    fft = np.fft if library == "numpy" else __import__("scipy.fft", fromlist=["fft"])
    planes = [image[:, :, c].astype(np.float64) for c in range(3)]
    if op == "fft":
        return spectrum_to_bytes([fft.fft2(p) for p in planes])
    if op == "revfft":
        return np.dstack([np.clip(np.abs(fft.ifft2(p)) * p.size / 255.0, 0, 255).astype(np.uint8)
                          for p in planes])
    if op == "fftgauss":
        g = gaussian_spectrum(planes[0].shape, float(args[0]))
        return np.dstack([np.clip(np.real(fft.ifft2(fft.fft2(p) * g)), 0, 255).astype(np.uint8)
                          for p in planes])
    if library == "scipy" and op == "kernel":
        import scipy.signal
        n = int(args[0])
        k = np.loadtxt(args[1]).reshape(n, n)
        return np.dstack([np.clip(scipy.signal.oaconvolve(np.pad(p, n // 2, mode="edge"), k, mode="valid"),
                                  0, 255).astype(np.uint8) for p in planes])
    sys.exit(f"{library} has no operation {op}")


def main():
    library, op, source, target = sys.argv[1:5]
    image = cv2.imread(source, cv2.IMREAD_COLOR)
    if image is None:
        sys.exit(f"cannot read {source}")
    # WebP at quality 80 as the others write it (OpenCV's default is lossless).
    params = [cv2.IMWRITE_WEBP_QUALITY, 80] if target.endswith(".webp") else []
    if not cv2.imwrite(target, run(library, op, image, sys.argv[5:]), params):
        sys.exit(f"cannot write {target}")


if __name__ == "__main__":
    main()
