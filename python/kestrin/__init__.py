"""Python binding of libkestrin: flattens the form fields and annotations of PDF files.

The binding calls the library's C functions through ctypes. The library serves one call at a time
per process, so every call holds a lock. The shared library is found, in this order, through the
KESTRIN_LIBRARY environment variable (a path to libkestrin.so), next to this package, in the
build directory of a source checkout, and on the system's library path.
"""
import ctypes
import ctypes.util
import os
import pathlib
import threading

__all__ = ["Error", "flatten", "field_count", "annotation_count", "MODES"]

MODES = ("all", "forms", "annotations")


class Error(Exception):
    """A failed call; the message is the library's error text."""


def _candidates():
    env = os.environ.get("KESTRIN_LIBRARY")
    if env:
        yield env
    here = pathlib.Path(__file__).resolve().parent
    for name in ("libkestrin.so", "libkestrin.so.0"):
        yield str(here / name)
    yield str(here.parent.parent / "build" / "libkestrin.so")
    found = ctypes.util.find_library("kestrin")
    if found:
        yield found
    yield "libkestrin.so.0"


def _load():
    errors = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as exc:
            errors.append(f"{path}: {exc}")
    raise ImportError("libkestrin not found; set KESTRIN_LIBRARY. Tried: " + "; ".join(errors))


_lib = _load()
_lock = threading.Lock()

for _name in ("kestrin_all", "kestrin_forms", "kestrin_annotations"):
    getattr(_lib, _name).argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    getattr(_lib, _name).restype = ctypes.c_int32
for _name in ("kestrin_field_count", "kestrin_annotation_count"):
    getattr(_lib, _name).argtypes = [ctypes.c_char_p]
    getattr(_lib, _name).restype = ctypes.c_int32
_lib.kestrin_last_error.argtypes = []
_lib.kestrin_last_error.restype = ctypes.c_char_p


def _path(p):
    """str, bytes or path-like -> bytes for the C functions."""
    p = os.fspath(p)
    return p if isinstance(p, bytes) else os.fsencode(p)


def _error():
    return Error(_lib.kestrin_last_error().decode("utf-8", "replace"))


def flatten(src, dst, mode="all"):
    """Writes a flattened copy of src to dst. mode: "all", "forms" or "annotations"."""
    if mode not in MODES:
        raise ValueError(f"mode must be one of {MODES}, not {mode!r}")
    fn = getattr(_lib, "kestrin_" + mode)
    with _lock:
        if fn(_path(src), _path(dst)) != 0:
            raise _error()


def _count(fn, path):
    with _lock:
        n = fn(_path(path))
        if n < 0:
            raise _error()
        return n


def field_count(path):
    """Number of terminal form fields of the PDF at path."""
    return _count(_lib.kestrin_field_count, path)


def annotation_count(path):
    """Number of annotation references of the pages of the PDF at path."""
    return _count(_lib.kestrin_annotation_count, path)
