"""The Python binding: calls through ctypes, str/bytes/path-like paths, errors with the library's
message."""
import os
import pathlib
import threading

import pytest

import kestrin

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLE = ROOT / "examples" / "example_form.pdf"


@pytest.mark.parametrize("path", [str(EXAMPLE), os.fsencode(str(EXAMPLE)), EXAMPLE])
def test_counts_accept_str_bytes_and_pathlike(path):
    assert kestrin.field_count(path) == 2
    assert kestrin.annotation_count(path) == 4


@pytest.mark.parametrize("mode, fields_after, annots_after", [
    ("all", 0, 0),
    ("forms", 0, 2),
    ("annotations", 2, 2),
])
def test_flatten_modes(tmp_path, mode, fields_after, annots_after):
    out = tmp_path / "flat.pdf"
    kestrin.flatten(EXAMPLE, out, mode=mode)
    assert out.read_bytes().startswith(b"%PDF-1.4")
    assert kestrin.field_count(out) == fields_after
    assert kestrin.annotation_count(out) == annots_after


def test_errors_carry_the_library_message(tmp_path):
    missing = tmp_path / "missing.pdf"
    with pytest.raises(kestrin.Error) as exc:
        kestrin.field_count(missing)
    assert str(exc.value) == f"cannot open {missing}"
    with pytest.raises(kestrin.Error) as exc:
        kestrin.flatten(missing, tmp_path / "out.pdf")
    assert str(exc.value) == f"input: cannot open {missing}"
    assert not (tmp_path / "out.pdf").exists()


def test_unknown_mode_is_refused(tmp_path):
    with pytest.raises(ValueError):
        kestrin.flatten(EXAMPLE, tmp_path / "out.pdf", mode="everything")


def test_version():
    assert kestrin.version().count(".") == 2


def test_calls_from_many_threads(tmp_path):
    errors = []

    def work(i):
        try:
            kestrin.flatten(EXAMPLE, tmp_path / f"out{i}.pdf")
            assert kestrin.annotation_count(tmp_path / f"out{i}.pdf") == 0
        except Exception as exc:  # collected and re-raised in the main thread
            errors.append(exc)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
