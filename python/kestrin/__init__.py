"""Python binding of libkestrin: flattens the form fields and annotations of PDF files.

The binding calls the library's C functions through ctypes. Calls may overlap: ctypes releases
the GIL for the length of each call and the library takes any number of calls at once, so threads
flatten in parallel on the cores. The shared library is found, in this order, through the
KESTRIN_LIBRARY environment variable (a path to libkestrin.so), next to this package (a wheel
that carries it), in the build directory of a source checkout, and on the system's library path.

    import kestrin
    kestrin.flatten("in.pdf", "out.pdf", keep_links=True)
    flat: bytes = kestrin.flatten_bytes(data, mode="forms", print_only=True)
    kestrin.field_count("in.pdf"), kestrin.annotation_count_bytes(data)
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import pathlib
from typing import Iterator, Union

__all__ = [
    "Error",
    "flatten",
    "flatten_bytes",
    "field_count",
    "annotation_count",
    "field_count_bytes",
    "annotation_count_bytes",
    "version",
    "MODES",
]

MODES = ("all", "forms", "annotations")

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Buffer = Union[bytes, bytearray, memoryview]


class Error(Exception):
    """A failed call; the message is the library's error text."""


def _candidates() -> Iterator[str]:
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


def _load() -> ctypes.CDLL:
    errors = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as exc:
            errors.append(f"{path}: {exc}")
    raise ImportError("libkestrin not found; set KESTRIN_LIBRARY. Tried: " + "; ".join(errors))


class _Options(ctypes.Structure):
    """struct kestrin_options of kestrin.h."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("flatten", ctypes.c_uint32),
        ("keep_links", ctypes.c_uint32),
        ("print_only", ctypes.c_uint32),
        ("non_printing", ctypes.c_uint32),
        ("no_generate_appearances", ctypes.c_uint32),
        ("compact", ctypes.c_uint32),
    ]


_lib = _load()

_lib.kestrin_last_error.argtypes = []
_lib.kestrin_last_error.restype = ctypes.c_char_p
_lib.kestrin_version.argtypes = []
_lib.kestrin_version.restype = ctypes.c_char_p
_lib.kestrin_flatten.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(_Options)]
_lib.kestrin_flatten.restype = ctypes.c_int32
_lib.kestrin_flatten_memory.argtypes = [
    ctypes.c_void_p,
    ctypes.c_size_t,
    ctypes.POINTER(ctypes.c_void_p),
    ctypes.POINTER(ctypes.c_size_t),
    ctypes.POINTER(_Options),
]
_lib.kestrin_flatten_memory.restype = ctypes.c_int32
for _name in ("kestrin_field_count", "kestrin_annotation_count"):
    getattr(_lib, _name).argtypes = [ctypes.c_char_p]
    getattr(_lib, _name).restype = ctypes.c_int32
for _name in ("kestrin_field_count_memory", "kestrin_annotation_count_memory"):
    getattr(_lib, _name).argtypes = [ctypes.c_void_p, ctypes.c_size_t]
    getattr(_lib, _name).restype = ctypes.c_int32
_lib.kestrin_free.argtypes = [ctypes.c_void_p]
_lib.kestrin_free.restype = None


def version() -> str:
    """The library's version, "MAJOR.MINOR.PATCH"."""
    return _lib.kestrin_version().decode("ascii")


def _path(p: PathLike) -> bytes:
    """str, bytes or path-like -> bytes for the C functions."""
    p = os.fspath(p)
    return p if isinstance(p, bytes) else os.fsencode(p)


def _error() -> Error:
    # The error text is the calling thread's own, so it is read right after the call.
    return Error(_lib.kestrin_last_error().decode("utf-8", "replace"))


def _options(mode: str, keep_links: bool, print_only: bool, keep_non_printing: bool,
             generate_appearances: bool, compact: bool) -> _Options:
    if mode not in MODES:
        raise ValueError(f"mode must be one of {MODES}, not {mode!r}")
    if keep_non_printing and not print_only:
        raise ValueError("keep_non_printing needs print_only=True")
    return _Options(
        size=ctypes.sizeof(_Options),
        flatten=MODES.index(mode),
        keep_links=int(bool(keep_links)),
        print_only=int(bool(print_only)),
        non_printing=int(bool(keep_non_printing)),
        no_generate_appearances=int(not generate_appearances),
        compact=int(bool(compact)),
    )


def _input(data: Buffer) -> "tuple[bytes, int]":
    """A C view of the bytes: no copy for bytes; bytearray and memoryview are copied once."""
    if isinstance(data, memoryview):
        data = data.tobytes()
    elif isinstance(data, bytearray):
        data = bytes(data)
    elif not isinstance(data, bytes):
        raise TypeError(f"data must be bytes, bytearray or memoryview, not {type(data).__name__}")
    return data, len(data)


def flatten(src: PathLike, dst: PathLike, mode: str = "all", *, keep_links: bool = False,
            print_only: bool = False, keep_non_printing: bool = False,
            generate_appearances: bool = True, compact: bool = False) -> None:
    """Writes a flattened copy of src to dst.

    mode: "all" (form fields and annotations), "forms" or "annotations".
    keep_links: Link annotations stay working annotations.
    print_only: only annotations with the Print flag are flattened; the others are removed, or
        kept as annotations with keep_non_printing=True.
    generate_appearances: text and choice fields without an appearance, or all of them when the
        form sets NeedAppearances, are drawn from their value, and check boxes and radio buttons
        whose appearance lacks their state from that state (default True).
    compact: a smaller output that renders the same: appearances keep their compressed data, the
        old page content stays in its own streams, and objects nothing refers to are left out
        (default False).
    Raises Error with the library's message when the file cannot be flattened.
    """
    opts = _options(mode, keep_links, print_only, keep_non_printing, generate_appearances, compact)
    if _lib.kestrin_flatten(_path(src), _path(dst), ctypes.byref(opts)) != 0:
        raise _error()


def flatten_bytes(data: Buffer, mode: str = "all", *, keep_links: bool = False,
                  print_only: bool = False, keep_non_printing: bool = False,
                  generate_appearances: bool = True, compact: bool = False) -> bytes:
    """The flattened PDF of the PDF in data, as bytes; the same options as flatten()."""
    opts = _options(mode, keep_links, print_only, keep_non_printing, generate_appearances, compact)
    buf, length = _input(data)
    out = ctypes.c_void_p()
    out_len = ctypes.c_size_t()
    if _lib.kestrin_flatten_memory(buf, length, ctypes.byref(out), ctypes.byref(out_len),
                                   ctypes.byref(opts)) != 0:
        raise _error()
    try:
        return ctypes.string_at(out.value, out_len.value)
    finally:
        _lib.kestrin_free(out)


def _count(fn, *args) -> int:
    n = fn(*args)
    if n < 0:
        raise _error()
    return n


def field_count(path: PathLike) -> int:
    """Number of terminal form fields of the PDF at path."""
    return _count(_lib.kestrin_field_count, _path(path))


def annotation_count(path: PathLike) -> int:
    """Number of annotation references of the pages of the PDF at path."""
    return _count(_lib.kestrin_annotation_count, _path(path))


def field_count_bytes(data: Buffer) -> int:
    """Number of terminal form fields of the PDF in data."""
    return _count(_lib.kestrin_field_count_memory, *_input(data))


def annotation_count_bytes(data: Buffer) -> int:
    """Number of annotation references of the pages of the PDF in data."""
    return _count(_lib.kestrin_annotation_count_memory, *_input(data))
