#!/usr/bin/env python3
"""Prints a digest line for every output the library writes on the corpus and the benchmark files.

Run it before and after a change that must not alter any output, and compare the two listings:
    scripts/output_digest.py build/libkestrin.so > before.txt   (on the old build)
    scripts/output_digest.py build/libkestrin.so > after.txt    (on the new build)
    diff before.txt after.txt
Each line holds the file, the call, its result and the SHA-256 of the output (or the error text).
With --compact, a line for the compact output of kestrin_flatten follows each file's lines.
"""
import ctypes
import hashlib
import os
import pathlib
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE.parent.parent / "shared" / "corpus" / "files"
GENERATOR = HERE.parent.parent / "shared" / "tools" / "gen_bench_pdf.py"
BENCH_FILES = {
    "bench-200-objstm.pdf": ["-n", "200", "-k", "20", "--objstm"],
    "bench-500.pdf": ["-n", "500", "-k", "10"],
    "bench-5000-objstm.pdf": ["-n", "5000", "-k", "20", "--objstm"],
    "bench-1000-incremental.pdf": ["-n", "1000", "-k", "10", "--objstm", "--incremental"],
}
MODES = ("all", "forms", "annotations")


class Options(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32) for name in
                ("size", "flatten", "keep_links", "print_only", "non_printing", "no_generate_appearances",
                 "compact")]


def load(path):
    lib = ctypes.CDLL(str(path))
    for name in MODES:
        getattr(lib, "kestrin_" + name).argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        getattr(lib, "kestrin_" + name).restype = ctypes.c_int32
    for name in ("field_count", "annotation_count"):
        getattr(lib, "kestrin_" + name).argtypes = [ctypes.c_char_p]
        getattr(lib, "kestrin_" + name).restype = ctypes.c_int32
    lib.kestrin_flatten.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(Options)]
    lib.kestrin_flatten.restype = ctypes.c_int32
    lib.kestrin_last_error.restype = ctypes.c_char_p
    return lib


def outcome_of(lib, result, out):
    if result == 0:
        return hashlib.sha256(out.read_bytes()).hexdigest()
    return lib.kestrin_last_error().decode("latin-1")


def bench_inputs(workdir):
    for name, args in BENCH_FILES.items():
        path = workdir / name
        if not path.exists():
            subprocess.run([sys.executable, str(GENERATOR), *args, str(path)],
                           check=True, stdout=subprocess.DEVNULL)
        yield path


def digest_lines(lib, inputs, workdir, compact):
    out = workdir / "out.pdf"
    for path in inputs:
        src = bytes(path)
        for name in ("field_count", "annotation_count"):
            result = getattr(lib, "kestrin_" + name)(src)
            yield f"{path.name}\t{name}\t{result}\t{lib.kestrin_last_error().decode('latin-1')}"
        for mode in MODES:
            if out.exists():
                out.unlink()
            result = getattr(lib, "kestrin_" + mode)(src, bytes(out))
            yield f"{path.name}\t{mode}\t{result}\t{outcome_of(lib, result, out)}"
        if compact:
            if out.exists():
                out.unlink()
            options = Options(size=ctypes.sizeof(Options), compact=1)
            result = lib.kestrin_flatten(src, bytes(out), ctypes.byref(options))
            yield f"{path.name}\tcompact\t{result}\t{outcome_of(lib, result, out)}"


def main():
    args = [a for a in sys.argv[1:] if a != "--compact"]
    if len(args) != 1:
        sys.exit("usage: output_digest.py [--compact] LIBKESTRIN.so")
    lib = load(pathlib.Path(args[0]).resolve())
    cache = pathlib.Path(os.environ.get("KESTRIN_BENCH_CACHE", tempfile.gettempdir())) / "kestrin-digest"
    cache.mkdir(parents=True, exist_ok=True)
    inputs = sorted(CORPUS.iterdir()) + list(bench_inputs(cache))
    with tempfile.TemporaryDirectory() as tmp:
        for line in digest_lines(lib, inputs, pathlib.Path(tmp), "--compact" in sys.argv[1:]):
            print(line)


if __name__ == "__main__":
    main()
