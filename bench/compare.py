#!/usr/bin/env python3
"""kadrimex-batch against ImageMagick, vips, OpenCV, NumPy and SciPy as whole
processes on the same BMP pictures and one folder of JPEG photos, in one run
(bench/compare.sh installs the peers and calls this).

    compare.py BATCH SHARED_DIR [--runs N] [--only SUBSTRING] [--results FILE]

Every task is run in rounds: each round runs ours and then every peer once,
so a change in the machine's load falls on all of them alike. A figure is
the median wall time of the rounds; memory is the largest peak resident set
of any round (the child's own rusage). A peer that fails or exceeds the time
limit on its first run is left out of the task. The ratio is ours over the
fastest peer: below 1 we are faster.
"""
import argparse
import datetime
import glob
import math
import os
import platform
import shlex
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = [sys.executable, os.path.join(HERE, "peers.py")]
LIMIT = 120.0  # seconds for one run of one command


def timed(command):
    """Wall seconds and peak resident MB of one whole process, or None."""
    start = time.perf_counter()
    try:
        child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        return None
    deadline = start + LIMIT
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        if time.perf_counter() > deadline:
            child.kill()
            os.wait4(child.pid, 0)
            return None
        time.sleep(0.002)
    wall = time.perf_counter() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        return None
    return wall, usage.ru_maxrss / 1024.0


def gauss_kernel(path, size):
    """The Gauss blur's own mask shape for a mask of `size` cells: exp(-ln 500 d^2 / size^2)."""
    c = (size - 1) / 2.0
    rows = [[math.exp(-math.log(500.0) * ((x - c) ** 2 + (y - c) ** 2) / (size * size))
             for x in range(size)] for y in range(size)]
    total = sum(map(sum, rows))
    write_kernel(path, [[v / total for v in row] for row in rows])


def write_kernel(path, rows):
    with open(path, "w") as f:
        f.write("\n".join(" ".join(repr(v) for v in row) for row in rows) + "\n")


def write_vips_matrix(path, rows):
    with open(path, "w") as f:
        f.write(f"{len(rows[0])} {len(rows)} 1 0\n")
        f.write("\n".join(" ".join(repr(v) for v in row) for row in rows) + "\n")


def read_kernel(path):
    with open(path) as f:
        return [[float(v) for v in line.split()] for line in f if line.strip()]


def im_kernel(rows):
    n = len(rows)
    return f"{n}x{n}:" + " ".join(",".join(repr(v) for v in row) for row in rows)


def sigma_of(level):
    """The sigma of the Gauss blur of LEVEL: its mask is exp(-ln 500 d^2 / (level + 1)^2)."""
    return (level + 1) / math.sqrt(2 * math.log(500.0))


def tasks(batch, work, pictures):
    """(name, picture, ours, {peer: command}) for every comparison."""
    out = []
    kernels = {}
    for size in (21, 101):
        path = os.path.join(work, f"gauss{size}.txt")
        gauss_kernel(path, size)
        kernels[size] = path
    sharpen = [[0, -1, 0], [-1, 5, -1], [0, -1, 0]]
    write_kernel(os.path.join(work, "sharpen.txt"), sharpen)
    write_vips_matrix(os.path.join(work, "sharpen.mat"), sharpen)
    for n in (3, 5, 7):
        write_kernel(os.path.join(work, f"box{n}.txt"), [[round(1.0 / (n * n), 6)] * n for _ in range(n)])
        write_vips_matrix(os.path.join(work, f"box{n}.mat"), read_kernel(os.path.join(work, f"box{n}.txt")))
    for size in (21,):
        write_vips_matrix(os.path.join(work, f"gauss{size}.mat"), read_kernel(kernels[size]))

    def ours(picture, *args):
        return [batch, *map(str, args), "-i", picture, "-o", os.path.join(work, "ours.bmp"), "--quiet"]

    def peer(library, op, picture, *args):
        return PEERS + [library, op, picture, os.path.join(work, f"{library}.bmp"), *map(str, args)]

    def im(picture, *args):
        return ["convert", picture, *args, os.path.join(work, "im.bmp")]

    def vips(op, picture, *args):
        return ["vips", op, picture, os.path.join(work, "vips.bmp"), *map(str, args)]

    for label, picture in pictures.items():
        if label == "2048x2048":
            continue
        for level in (20, 100):
            size = level + 1
            same = {"cv2": peer("cv2", "kernel", picture, size, kernels[size])}
            if size == 21:
                same["vips"] = vips("conv", picture, os.path.join(work, "gauss21.mat"), "--precision", "float")
            out.append((f"gauss {level} vs the same {size}x{size} kernel", label, ours(picture, "gauss", level), same))
            s = sigma_of(level)
            out.append((f"gauss {level} vs the peers' own Gaussian blur", label, ours(picture, "gauss", level),
                        {"cv2": peer("cv2", "blur", picture, s), "vips": vips("gaussblur", picture, s),
                         "ImageMagick": im(picture, "-blur", f"0x{s:.4f}")}))
        out.append(("3x3 sharpen", label, ours(picture, "user", 3, 1, 0, 0, *[v for r in sharpen for v in r]),
                    {"cv2": peer("cv2", "kernel", picture, 3, os.path.join(work, "sharpen.txt")),
                     "vips": vips("conv", picture, os.path.join(work, "sharpen.mat"), "--precision", "integer"),
                     "ImageMagick": im(picture, "-morphology", "Convolve", im_kernel(sharpen))}))
        for n in (3, 5, 7):
            cells = read_kernel(os.path.join(work, f"box{n}.txt"))
            out.append((f"{n}x{n} real kernel, {cells[0][0]} in every cell", label,
                        ours(picture, "user", n, 1, 0, 0, *[v for r in cells for v in r]),
                        {"cv2": peer("cv2", "kernel", picture, n, os.path.join(work, f"box{n}.txt")),
                         "vips": vips("conv", picture, os.path.join(work, f"box{n}.mat"), "--precision", "float"),
                         "ImageMagick": im(picture, "-morphology", "Convolve", im_kernel(cells))}))
        out.append(("convert BMP to BMP", label, ours(picture, "convert"),
                    {"cv2": peer("cv2", "convert", picture), "vips": ["vips", "copy", picture,
                                                                    os.path.join(work, "vips.bmp")],
                     "ImageMagick": im(picture)}))
        w, h = map(int, label.split("x"))
        for percent in (50, 200):
            nw, nh = w * percent // 100, h * percent // 100
            out.append((f"resize {percent} %", label, ours(picture, "resize", nw, nh, 2),
                        {"cv2": peer("cv2", "resize", picture, nw, nh),
                         "vips": vips("resize", picture, percent / 100),
                         "ImageMagick": im(picture, "-resize", f"{percent}%")}))
        out.append(("equalize", label, ours(picture, "equalize", 0),
                    {"cv2": peer("cv2", "equalize", picture), "vips": vips("hist_equal", picture),
                     "ImageMagick": im(picture, "-equalize")}))
        out.append(("flip", label, ours(picture, "flip", "h"),
                    {"cv2": peer("cv2", "flip", picture), "vips": vips("flip", picture, "horizontal"),
                     "ImageMagick": im(picture, "-flop")}))
        out.append(("rotate 0.3 rad", label, ours(picture, "rotate", 0.3),
                    {"cv2": peer("cv2", "rotate", picture, 0.3),
                     "vips": vips("rotate", picture, math.degrees(0.3)),
                     "ImageMagick": im(picture, "-rotate", f"{math.degrees(0.3):.4f}")}))
    for label in ("2048x2048", "4000x3000"):
        picture = pictures[label]
        spectrum = os.path.join(work, f"spectrum-{label}.bmp")
        out.append(("fft", label, ours(picture, "fft"),
                    {"numpy": peer("numpy", "fft", picture), "scipy": peer("scipy", "fft", picture),
                     "ImageMagick": ["convert", picture, "-fft", "+adjoin", os.path.join(work, "im-%d.bmp")]}))
        out.append(("revfft", label, ours(spectrum, "revfft"),
                    {"numpy": peer("numpy", "revfft", spectrum), "scipy": peer("scipy", "revfft", spectrum),
                     "ImageMagick": ["convert", os.path.join(work, f"mag-{label}.bmp"),
                                     os.path.join(work, f"phase-{label}.bmp"), "-ift", os.path.join(work, "im.bmp")]}))
        out.append(("fftgauss 20", label, ours(picture, "fftgauss", 20),
                    {"numpy": peer("numpy", "fftgauss", picture, sigma_of(20)),
                     "scipy": peer("scipy", "fftgauss", picture, sigma_of(20))}))
    # Reading and writing the newer formats, whole processes on the large
    # photo: each file to BMP, and the BMP to each file (LZW TIFF with the
    # horizontal predictor, WebP lossy at quality 80).
    big = pictures["4000x3000"]
    saves = {"png": ("PNG", [], ""),
             "tif": ("TIFF (LZW)", ["-compress", "lzw"], "[compression=lzw,predictor=horizontal]"),
             "webp": ("WebP", ["-quality", "80"], "[Q=80]")}
    for ending, (name, im_options, vips_options) in saves.items():
        source = os.path.join(work, f"rocket.{ending}")
        out.append((f"{name} to BMP", "4000x3000", ours(source, "convert"),
                    {"cv2": peer("cv2", "convert", source), "vips": ["vips", "copy", source, os.path.join(work, "vips.bmp")],
                     "ImageMagick": im(source)}))
        target = lambda who: os.path.join(work, f"{who}.{ending}")
        out.append((f"BMP to {name}", "4000x3000",
                    [batch, "convert", "-i", big, "-o", target("ours"), "--quiet"],
                    {"cv2": PEERS + ["cv2", "convert", big, target("cv2")],
                     "vips": ["vips", "copy", big, target("vips") + vips_options],
                     "ImageMagick": ["convert", big, *im_options, target("im")]}))
    # Many files: the same two steps on every photo, written as JPEG at
    # quality 80. mogrify takes the files one after another; vips has no
    # chain in one call, so each photo goes through its own .v file, two
    # photos at a time.
    photos = sorted(glob.glob(os.path.join(work, "photos", "*.jpg")))
    for who in ("ours", "im", "vips"):
        os.makedirs(os.path.join(work, f"out-{who}"), exist_ok=True)
    vips_pair = ('n=$(basename "$1" .jpg); vips resize "$1" "$2/$n.v" 0.5 && '
                 'vips flip "$2/$n.v" "$2/$n.jpg[Q=80]" horizontal && rm "$2/$n.v"')
    out.append(("24 JPEG photos: resize 50 %, flip, JPEG out", "1600x1200",
                [batch, "resize", "50%", "+", "flip", "h", "-d", os.path.join(work, "out-ours"), "-f", "jpg",
                 "--quiet", *photos],
                {"ImageMagick": ["mogrify", "-path", os.path.join(work, "out-im"), "-resize", "50%", "-flop",
                                 "-quality", "80", *photos],
                 "vips": ["sh", "-c", 'printf "%s\\n" "$@" | xargs -P 2 -I{} sh -c \'' + vips_pair + '\' sh {} "$0"',
                          os.path.join(work, "out-vips"), *photos]}))
    return out


def prepare(batch, shared, work):
    """The three BMP pictures and the spectra the reverse transforms start from."""
    data = os.path.join(shared, "testdata")
    pictures = {"1920x1080": os.path.join(work, "coffee.bmp"), "4000x3000": os.path.join(work, "rocket.bmp"),
                "2048x2048": os.path.join(work, "crop.bmp")}
    run = lambda *c: subprocess.run(c, check=True, stdout=subprocess.DEVNULL)
    run(batch, "convert", "-i", os.path.join(data, "coffee-1920x1080.jpg"), "-o", pictures["1920x1080"], "--quiet")
    run(batch, "convert", "-i", os.path.join(data, "rocket-4000x3000.jpg"), "-o", pictures["4000x3000"], "--quiet")
    run("convert", pictures["4000x3000"], "-gravity", "center", "-crop", "2048x2048+0+0", "+repage",
        "-type", "TrueColor", pictures["2048x2048"])
    # 24 photos of 1600 x 1200, each a different part of the large picture.
    os.makedirs(os.path.join(work, "photos"))
    for i in range(24):
        run("convert", os.path.join(data, "rocket-4000x3000.jpg"), "-crop",
            f"1600x1200+{i * 97 % 2400}+{i * 53 % 1800}", "+repage", "-quality", "90",
            os.path.join(work, "photos", f"photo{i:02}.jpg"))
    # The large photo in the newer formats, written by ImageMagick.
    run("convert", pictures["4000x3000"], os.path.join(work, "rocket.png"))
    run("convert", pictures["4000x3000"], "-compress", "lzw", os.path.join(work, "rocket.tif"))
    run("convert", pictures["4000x3000"], "-quality", "80", os.path.join(work, "rocket.webp"))
    for label in ("2048x2048", "4000x3000"):
        run(batch, "fft", "-i", pictures[label], "-o", os.path.join(work, f"spectrum-{label}.bmp"), "--quiet")
        run("convert", pictures[label], "-fft", "+adjoin", os.path.join(work, f"im-{label}-%d.bmp"))
        os.replace(os.path.join(work, f"im-{label}-0.bmp"), os.path.join(work, f"mag-{label}.bmp"))
        os.replace(os.path.join(work, f"im-{label}-1.bmp"), os.path.join(work, f"phase-{label}.bmp"))
    return pictures


def version(command):
    try:
        text = subprocess.run(command, capture_output=True, text=True, timeout=30).stdout
        return text.strip().splitlines()[0] if text.strip() else "?"
    except (OSError, subprocess.SubprocessError):
        return "not found"


def machine():
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2 ** 30
    return f"{platform.system()} {platform.release()}, {os.cpu_count()} cores ({cpu}), {memory:.1f} GiB"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("batch")
    parser.add_argument("shared")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", default="")
    parser.add_argument("--results", default=os.path.join(HERE, "RESULTS.md"))
    options = parser.parse_args()
    batch = os.path.abspath(options.batch)
    started = datetime.datetime.now(datetime.timezone.utc)
    load_before = os.getloadavg()
    with tempfile.TemporaryDirectory() as work:
        pictures = prepare(batch, options.shared, work)
        rows = []
        for name, label, ours, peers in tasks(batch, work, pictures):
            if options.only and options.only not in f"{name} {label}":
                continue
            times = {"ours": []}
            memory = {"ours": 0.0}
            commands = {"ours": ours, **peers}
            for who in peers:
                times[who], memory[who] = [], 0.0
            for _ in range(options.runs):
                for who in list(times):
                    result = timed(commands[who])
                    if result is None:
                        if not times[who]:
                            del times[who]
                            print(f"  {name} {label}: {who} failed or exceeded {LIMIT:.0f} s; left out",
                                  file=sys.stderr)
                        continue
                    times[who].append(result[0])
                    memory[who] = max(memory[who], result[1])
            if "ours" not in times:
                print(f"  {name} {label}: ours failed: {shlex.join(ours)}", file=sys.stderr)
                continue
            medians = {who: statistics.median(t) for who, t in times.items() if t}
            others = {who: m for who, m in medians.items() if who != "ours"}
            best = min(others, key=others.get) if others else None
            row = (name, label, medians["ours"], memory["ours"], best, others.get(best), memory.get(best),
                   medians["ours"] / others[best] if best else None, others)
            rows.append(row)
            ratio = f"{row[7]:.2f}" if best else "-"
            print(f"{name:52} {label:10} ours {row[2]:7.3f} s  best {best or '-':12} "
                  f"{(row[5] or 0):7.3f} s  ratio {ratio}", flush=True)
    load_after = os.getloadavg()
    write_results(options, rows, started, load_before, load_after)


def write_results(options, rows, started, load_before, load_after):
    cv = version([sys.executable, "-c", "import cv2, numpy, scipy; "
                  "print('OpenCV', cv2.__version__, '/ NumPy', numpy.__version__, '/ SciPy', scipy.__version__)"])
    lines = [
        "# Kadrimex against other tools",
        "",
        f"Written by `bench/compare.sh` on {started:%Y-%m-%d %H:%M} UTC. Whole processes, BMP in and out, "
        f"median of {options.runs} rounds; memory is the peak resident set. Ratio: ours / fastest peer "
        "(below 1: ours is faster).",
        "",
        f"- Machine: {machine()}; load average {load_before[0]:.2f} at the start, {load_after[0]:.2f} at the end",
        f"- {version([options.batch, '--version'])}",
        f"- {version(['convert', '-version'])}",
        f"- {version(['vips', '--version'])}",
        f"- {cv}",
        "",
        "| task | picture | ours (s) | ours (MB) | fastest peer | peer (s) | peer (MB) | ratio | all peers (s) |",
        "|---|---|---|---|---|---|---|---|---|",
    ]
    for name, label, t, m, best, bt, bm, ratio, others in rows:
        every = ", ".join(f"{who} {s:.3f}" for who, s in sorted(others.items(), key=lambda i: i[1]))
        if best:
            lines.append(f"| {name} | {label} | {t:.3f} | {m:.0f} | {best} | {bt:.3f} | {bm:.0f} | "
                         f"**{ratio:.2f}** | {every} |")
        else:
            lines.append(f"| {name} | {label} | {t:.3f} | {m:.0f} | - | - | - | - | |")
    with open(options.results, "w") as f:
        f.write("\n".join(lines) + "\n")
    print(f"written {options.results}")


if __name__ == "__main__":
    main()
