"""The binding's options, bytes in and out, errors, and calls from many threads at once."""
import concurrent.futures
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import kestrin

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLE = ROOT / "examples" / "example_form.pdf"
CORPUS = pathlib.Path(os.environ.get("KESTRIN_CORPUS_DIR", ROOT.parent / "shared" / "corpus")) / "files"


def mixed_pdf() -> bytes:
    """One page: a Link, a printing Square, a non-printing Square and a printing text field."""
    objs = {
        1: b"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [13 0 R] >> >>",
        2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R "
           b"/Annots [10 0 R 11 0 R 12 0 R 13 0 R] >>",
        10: b"<< /Type /Annot /Subtype /Link /Rect [150 0 200 20] /F 4 "
            b"/A << /S /URI /URI (https://example.invalid/) >> >>",
        11: b"<< /Type /Annot /Subtype /Square /Rect [10 10 60 60] /F 4 /AP << /N 20 0 R >> >>",
        12: b"<< /Type /Annot /Subtype /Square /Rect [110 110 160 160] /AP << /N 21 0 R >> >>",
        13: b"<< /Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [10 110 60 160] /F 4 "
            b"/AP << /N 20 0 R >> >>",
    }
    streams = {
        4: (b"", b""),
        20: (b"/Type /XObject /Subtype /Form /BBox [0 0 50 50] ", b"1 0 0 rg 0 0 50 50 re f\n"),
        21: (b"/Type /XObject /Subtype /Form /BBox [0 0 50 50] ", b"0 0 1 rg 0 0 50 50 re f\n"),
    }
    out = bytearray(b"%PDF-1.7\n")
    offsets = {}
    for num in sorted(set(objs) | set(streams)):
        offsets[num] = len(out)
        out += b"%d 0 obj\n" % num
        if num in objs:
            out += objs[num]
        else:
            d, data = streams[num]
            out += b"<< " + d + b"/Length %d >>\nstream\n" % len(data) + data + b"\nendstream"
        out += b"\nendobj\n"
    xref = len(out)
    size = max(offsets) + 1
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for n in range(1, size):
        out += (b"%010d 00000 n \n" % offsets[n]) if n in offsets else b"0000000000 65535 f \n"
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
    return bytes(out)


def test_bytes_in_and_out_match_the_files(tmp_path):
    data = EXAMPLE.read_bytes()
    for mode in kestrin.MODES:
        kestrin.flatten(EXAMPLE, tmp_path / "out.pdf", mode=mode)
        assert kestrin.flatten_bytes(data, mode=mode) == (tmp_path / "out.pdf").read_bytes()
    assert kestrin.flatten_bytes(bytearray(data)) == kestrin.flatten_bytes(memoryview(data))
    assert kestrin.field_count_bytes(data) == 2
    assert kestrin.annotation_count_bytes(data) == 4
    assert kestrin.field_count_bytes(kestrin.flatten_bytes(data)) == 0


def test_options():
    data = mixed_pdf()
    assert kestrin.annotation_count_bytes(data) == 4
    assert kestrin.annotation_count_bytes(kestrin.flatten_bytes(data)) == 0
    links = kestrin.flatten_bytes(data, keep_links=True)
    assert kestrin.annotation_count_bytes(links) == 1
    assert b"/URI (https://example.invalid/)" in links
    assert kestrin.annotation_count_bytes(kestrin.flatten_bytes(data, print_only=True)) == 0
    kept = kestrin.flatten_bytes(data, print_only=True, keep_non_printing=True, keep_links=True)
    assert kestrin.annotation_count_bytes(kept) == 2
    assert kestrin.field_count_bytes(kept) == 0
    forms = kestrin.flatten_bytes(data, mode="forms", keep_links=True)
    assert kestrin.annotation_count_bytes(forms) == 3
    # Nothing in this file needs a generated appearance.
    assert kestrin.flatten_bytes(data, generate_appearances=False) == kestrin.flatten_bytes(data)
    compact = kestrin.flatten_bytes(data, compact=True)
    assert kestrin.annotation_count_bytes(compact) == 0
    assert compact != kestrin.flatten_bytes(data)


def test_errors():
    with pytest.raises(kestrin.Error, match="^input: empty input buffer$"):
        kestrin.flatten_bytes(b"")
    with pytest.raises(kestrin.Error, match="not a PDF: \\(input bytes\\)"):
        kestrin.flatten_bytes(b"not a pdf")
    with pytest.raises(kestrin.Error, match="^empty input buffer$"):
        kestrin.field_count_bytes(b"")
    with pytest.raises(kestrin.Error, match="not a PDF"):
        kestrin.annotation_count_bytes(b"junk")
    with pytest.raises(TypeError):
        kestrin.flatten_bytes("a str")
    with pytest.raises(ValueError):
        kestrin.flatten_bytes(EXAMPLE.read_bytes(), mode="everything")
    with pytest.raises(ValueError):
        kestrin.flatten_bytes(EXAMPLE.read_bytes(), keep_non_printing=True)
    with pytest.raises(TypeError):
        kestrin.flatten_bytes(EXAMPLE.read_bytes(), "all", True)  # options are keywords


def corpus_files():
    files = sorted(CORPUS.glob("*.pdf"))
    if not files:
        pytest.skip("corpus not found")
    return files


def outcome(path, mode):
    """Flattened bytes and counts, or the error text: what must not depend on other threads."""
    data = path.read_bytes()
    try:
        flat = kestrin.flatten_bytes(data, mode=mode)
    except kestrin.Error as exc:
        flat = "error: " + str(exc)
    try:
        counts = (kestrin.field_count(path), kestrin.annotation_count_bytes(data))
    except kestrin.Error as exc:
        counts = "error: " + str(exc)
    return flat, counts


def test_thread_pool_over_the_corpus_gives_the_serial_bytes():
    files = corpus_files()
    jobs = [(f, kestrin.MODES[i % 3]) for i, f in enumerate(files)]
    serial = [outcome(f, m) for f, m in jobs]
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        parallel = list(pool.map(lambda job: outcome(*job), jobs))
    assert len(parallel) == len(serial)
    for (f, m), a, b in zip(jobs, serial, parallel):
        assert a == b, f"{f.name} ({m})"
    assert any(isinstance(flat, str) for flat, _ in serial)  # error texts were compared too


def test_pip_installs_offline(tmp_path):
    """pip install of the source folder with Debian's pip and setuptools, no index, no network."""
    pytest.importorskip("pip")
    src = tmp_path / "src"
    shutil.copytree(ROOT / "python", src, ignore=shutil.ignore_patterns("tests", "__pycache__", "build", "*.egg-info"))
    lib = pathlib.Path(kestrin._lib._name)
    shutil.copy(lib, src / "kestrin" / "libkestrin.so")  # a package that carries the library
    target = tmp_path / "site"
    done = subprocess.run(
        [sys.executable, "-m", "pip", "install", "-q", "--no-build-isolation", "--no-index",
         "--no-deps", "--target", str(target), str(src)],
        capture_output=True, text=True)
    if done.returncode != 0 and "No module named" in done.stderr:
        pytest.skip("pip or setuptools missing: " + done.stderr.strip().splitlines()[-1])
    assert done.returncode == 0, done.stderr
    assert (target / "kestrin" / "libkestrin.so").exists()
    assert (target / "kestrin" / "py.typed").exists()
    env = {k: v for k, v in os.environ.items() if k != "KESTRIN_LIBRARY"}
    env["PYTHONPATH"] = str(target)
    check = subprocess.run(
        [sys.executable, "-c",
         "import kestrin, sys; print(kestrin._lib._name, kestrin.field_count(sys.argv[1]))", str(EXAMPLE)],
        capture_output=True, text=True, env=env, cwd=str(tmp_path))
    assert check.returncode == 0, check.stderr
    assert check.stdout.split() == [str(target / "kestrin" / "libkestrin.so"), "2"]
