#!/usr/bin/env python3
"""Histogram equalisation with OpenCV as one whole process: read a BMP,
equalise each of its three channels with cv2.equalizeHist, write a BMP.
The yardstick for `kadrimex-batch equalize 0` in whole-process timings.

Usage (Debian python3 with python3-opencv): equalize_opencv.py IN.bmp OUT.bmp
"""
import sys

import cv2

image = cv2.imread(sys.argv[1], cv2.IMREAD_COLOR)
if image is None:
    sys.exit(f"cannot read {sys.argv[1]}")
channels = [cv2.equalizeHist(c) for c in cv2.split(image)]
if not cv2.imwrite(sys.argv[2], cv2.merge(channels)):
    sys.exit(f"cannot write {sys.argv[2]}")
