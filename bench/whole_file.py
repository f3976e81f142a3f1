#!/usr/bin/env python3
"""Whole-file benchmark: generates small, medium and large PDFs and times, on the same files and in
one run, kestrin flatten and count, qpdf --flatten-annotations=all, mutool clean (a parse-and-write
reference) and cp (the floor). Reports median wall time, peak memory and ratios."""
import argparse
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
GEN = ROOT.parent / "shared" / "tools" / "gen_bench_pdf.py"

FILES = {
    "small": ["-n", "10", "-k", "10"],
    "medium": ["-n", "500", "-k", "20"],
    "large": ["-n", "5000", "-k", "20", "--objstm"],
    "large-incremental": ["-n", "5000", "-k", "20", "--objstm", "--incremental"],
}
SCALING = {"scale-500": ["-n", "500", "-k", "20"], "scale-5000": ["-n", "5000", "-k", "20"],
           "scale-50000": ["-n", "50000", "-k", "20"]}


def timed(cmd, runs):
    """Median wall seconds and peak RSS in KiB of cmd over runs (GNU time -v)."""
    walls, peaks = [], []
    for _ in range(runs):
        proc = subprocess.run(["/usr/bin/time", "-v"] + cmd, capture_output=True, text=True)
        if proc.returncode not in (0, 3):  # qpdf exits 3 on warnings
            return None, None
        wall = re.search(r"Elapsed \(wall clock\) time.*: (?:(\d+):)?(\d+):([\d.]+)", proc.stderr)
        h = int(wall.group(1) or 0)
        walls.append(h * 3600 + int(wall.group(2)) * 60 + float(wall.group(3)))
        peaks.append(int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", proc.stderr).group(1)))
    return statistics.median(walls), max(peaks)


def tools(kestrin, src, out):
    yield "kestrin flatten --all", [kestrin, "flatten", "--all", src, out]
    yield "kestrin count", [kestrin, "annotations", src]
    if shutil.which("qpdf"):
        yield "qpdf --flatten-annotations=all", ["qpdf", "--flatten-annotations=all", src, out]
    if shutil.which("mutool"):
        yield "mutool clean", ["mutool", "clean", src, out]
    yield "cp", ["cp", src, out]


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--kestrin", default=str(ROOT / "build" / "kestrin"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--sizes", default="small,medium,large,large-incremental")
    ap.add_argument("--scaling", action="store_true", help="also time 500/5000/50000 pages")
    args = ap.parse_args()
    sets = {k: FILES[k] for k in args.sizes.split(",")}
    if args.scaling:
        sets.update(SCALING)
    with tempfile.TemporaryDirectory() as tmp:
        for name, gen_args in sets.items():
            src = os.path.join(tmp, name + ".pdf")
            subprocess.run([sys.executable, str(GEN), *gen_args, src], check=True, capture_output=True)
            size = os.path.getsize(src)
            print(f"\n{name}: {size / 1e6:.1f} MB ({' '.join(gen_args)})")
            results = {}
            for label, cmd in tools(args.kestrin, src, os.path.join(tmp, "out.pdf")):
                results[label] = timed(cmd, args.runs if label != "qpdf --flatten-annotations=all" else 1)
            base = results["kestrin flatten --all"][0]
            for label, (wall, peak) in results.items():
                if wall is None:
                    print(f"  {label:32s} failed")
                    continue
                ratio = wall / base if base else float("nan")
                print(f"  {label:32s} {wall:8.3f} s  {peak / 1024:8.1f} MiB  x{ratio:7.2f} of kestrin")


if __name__ == "__main__":
    main()
