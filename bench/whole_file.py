#!/usr/bin/env python3
"""Whole-file benchmark: generates small, medium and large PDFs and times, on the same files and in
one run, kestrin flatten (default and compact output) and count, qpdf --flatten-annotations=all
--generate-appearances (as it stands, which keeps the input's object streams, then with
--object-streams=generate and with --object-streams=disable), mutool clean (a parse-and-write
reference), cp (the floor) and a bare read-and-write: the input read once and as many bytes as the
flattened output written, the least any tool that reads the file and writes that output must do.
Reports median wall time, peak memory, output sizes and ratios."""
import argparse
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
GEN = ROOT.parent / "shared" / "tools" / "gen_bench_pdf.py"

FILES = {
    "small": ["-n", "10", "-k", "10"],
    "objstm-200": ["-n", "200", "-k", "20", "--objstm"],
    "medium": ["-n", "500", "-k", "20"],
    "large": ["-n", "5000", "-k", "20", "--objstm"],
    "large-incremental": ["-n", "5000", "-k", "20", "--objstm", "--incremental"],
    # Every text and choice widget's appearance must be generated from its value.
    "large-need-appearances": ["-n", "5000", "-k", "20", "--objstm", "--need-appearances"],
}
SCALING = {"scale-500": ["-n", "500", "-k", "20"], "scale-5000": ["-n", "5000", "-k", "20"],
           "scale-50000": ["-n", "50000", "-k", "20"]}


def cpu_seconds(report):
    """User plus system seconds from a GNU time -v report."""
    user = float(re.search(r"User time \(seconds\): ([0-9.]+)", report).group(1))
    system = float(re.search(r"System time \(seconds\): ([0-9.]+)", report).group(1))
    return user + system


def timed(cmd, runs):
    """Median wall seconds (measured here, to the microsecond), peak RSS in KiB and median CPU
    seconds (GNU time -v) of cmd over runs, after one unmeasured run that warms the page cache."""
    walls, peaks, cpus = [], [], []
    subprocess.run(cmd, capture_output=True)
    for _ in range(runs):
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-v"] + cmd, capture_output=True, text=True)
        walls.append(time.perf_counter() - start)
        if proc.returncode not in (0, 3):  # qpdf exits 3 on warnings
            return None, None, None
        peaks.append(int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", proc.stderr).group(1)))
        cpus.append(cpu_seconds(proc.stderr))
    return statistics.median(walls), max(peaks), statistics.median(cpus)


def read_and_write(src, out, out_size):
    """Reads src through a small buffer and writes out_size bytes to out, with no other work."""
    script = ('dd if="$1" of=/dev/null bs=4M status=none && '
              'dd if=/dev/zero of="$2" bs=4M count="$3" iflag=count_bytes status=none')
    return ["sh", "-c", script, "sh", src, out, str(out_size)]


DEFAULT = "kestrin flatten --all"
COMPACT = "kestrin flatten --all --compact"
QPDF = "qpdf --flatten-annotations=all --generate-appearances"
QPDF_OBJSTM = QPDF + " --object-streams=generate"
QPDF_NO_OBJSTM = QPDF + " --object-streams=disable"
# Timed once: they take minutes on the large files. Plain qpdf keeps the input's object streams.
SLOW = (QPDF, QPDF_OBJSTM, QPDF_NO_OBJSTM)


def tools(kestrin, src, tmp, out_size):
    """(label, output file or None, command) of every tool timed, each writing its own output."""
    def out(name):
        return os.path.join(tmp, name + ".out.pdf")
    yield DEFAULT, out("default"), [kestrin, "flatten", "--all", src, out("default")]
    yield COMPACT, out("compact"), [kestrin, "flatten", "--all", "--compact", src, out("compact")]
    yield "kestrin flatten, no generation", None, [kestrin, "flatten", "--all", "--no-generate-appearances", src,
                                                   out("no-generation")]
    yield "kestrin count", None, [kestrin, "annotations", src]
    if shutil.which("qpdf"):
        yield QPDF, out("qpdf"), ["qpdf", "--flatten-annotations=all", "--generate-appearances", src, out("qpdf")]
        for label, streams in ((QPDF_OBJSTM, "generate"), (QPDF_NO_OBJSTM, "disable")):
            yield label, out("qpdf-" + streams), ["qpdf", "--flatten-annotations=all", "--generate-appearances",
                                                  "--object-streams=" + streams, src, out("qpdf-" + streams)]
    if shutil.which("mutool"):
        yield "mutool clean", out("mutool"), ["mutool", "clean", src, out("mutool")]
    yield "cp", None, ["cp", src, out("cp")]
    yield "read and write (dd)", None, read_and_write(src, out("dd"), out_size)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--kestrin", default=str(ROOT / "build" / "kestrin"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--sizes", default="small,medium,large,large-incremental,large-need-appearances")
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
            results, sizes = {}, {}
            out = os.path.join(tmp, "out.pdf")
            subprocess.run([args.kestrin, "flatten", "--all", src, out], capture_output=True)
            out_size = os.path.getsize(out)
            for label, output, cmd in tools(args.kestrin, src, tmp, out_size):
                results[label] = timed(cmd, 1 if label in SLOW else args.runs)
                if output and os.path.exists(output):
                    sizes[label] = os.path.getsize(output)
            base, base_peak, _ = results[DEFAULT]
            for label, (wall, peak, cpu) in results.items():
                if wall is None:
                    print(f"  {label:56s} failed")
                    continue
                written = (f"  out {sizes[label] / 1e6:8.2f} MB = x{sizes[label] / size:5.2f} the input"
                           if label in sizes else "")
                print(f"  {label:56s} {wall:8.4f} s  cpu {cpu:7.2f} s  {peak / 1024:8.1f} MiB  "
                      f"x{wall / base:8.2f} the time of kestrin flatten{written}")
            if results[COMPACT][0] is not None:
                print(f"  compact against default: x{results[COMPACT][0] / base:.2f} the time, "
                      f"x{sizes[COMPACT] / sizes[DEFAULT]:.2f} the size "
                      f"({sizes[COMPACT] / size:.2f} x the input against {sizes[DEFAULT] / size:.2f})")
            bound = 3 * size + out_size
            print(f"  kestrin flatten: {base / results['cp'][0]:.1f} x the time of cp, "
                  f"{base / results['read and write (dd)'][0]:.1f} x the time of the bare read-and-write "
                  f"of its {out_size / 1e6:.1f} MB output")
            print(f"  kestrin flatten peak memory: {base_peak * 1024 / bound:.2f} of 3 x input + output "
                  f"({bound / 2**20:.0f} MiB); time per page: {base / int(gen_args[1]) * 1e6:.1f} us")

if __name__ == "__main__":
    main()
