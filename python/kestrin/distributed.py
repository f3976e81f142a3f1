"""Flattening a collection bigger than one machine on Dask's distributed scheduler.

Each task flattens one file. The library takes overlapping calls and ctypes releases the GIL
during each, so a worker runs as many flattens at once as it has threads: run workers with several
threads each and scale with machines.

    dask scheduler                                                  # on one machine
    dask worker tcp://SCHEDULER:8786 --nworkers 1 --nthreads 8      # on every machine
    python3 -m kestrin.distributed tcp://SCHEDULER:8786 INDIR OUTDIR [--mode forms] [--keep-links]

INDIR and OUTDIR are paths or fsspec URLs (s3://bucket/in, gcs://..., file:///...): each task
reads its input through fsspec, flattens it in memory (kestrin.flatten_bytes) and writes the
result back through fsspec, so no shared file system is needed, only storage every worker reaches.
With --paths the tasks use plain paths instead, which every worker must see under the same names.
"""
from __future__ import annotations

import argparse
import os
import pathlib
import posixpath
import sys
from typing import Any, Iterable, Iterator, List, Optional, Tuple

import kestrin

Result = Tuple[str, Optional[str]]


def flatten_file(src: str, dst: str, mode: str = "all", **options: Any) -> Result:
    """One task on paths: returns (src, None) on success or (src, error text) on failure."""
    try:
        os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
        kestrin.flatten(src, dst, mode=mode, **options)
        return src, None
    except kestrin.Error as exc:
        return src, str(exc)


def flatten_url(src: str, dst: str, mode: str = "all", **options: Any) -> Result:
    """One task on fsspec URLs or paths: reads src, flattens in memory, writes dst.

    Returns (src, None) on success or (src, error text) on failure; nothing is written on failure.
    """
    import fsspec

    try:
        with fsspec.open(src, "rb") as f:
            data = f.read()
        flat = kestrin.flatten_bytes(data, mode=mode, **options)
    except kestrin.Error as exc:
        return src, str(exc)
    except OSError as exc:
        return src, f"cannot read {src}: {exc}"
    try:
        with fsspec.open(dst, "wb", auto_mkdir=True) as f:
            f.write(flat)
    except OSError as exc:
        return src, f"cannot write {dst}: {exc}"
    return src, None


def pdf_pairs(in_dir: str, out_dir: str) -> Iterator[Tuple[str, str]]:
    """(input, output) paths for every .pdf file under in_dir, keeping relative paths."""
    in_path, out_path = pathlib.Path(in_dir), pathlib.Path(out_dir)
    for src in sorted(in_path.rglob("*")):
        if src.is_file() and src.suffix.lower() == ".pdf":
            yield str(src), str(out_path / src.relative_to(in_path))


def pdf_url_pairs(in_url: str, out_url: str) -> List[Tuple[str, str]]:
    """(input, output) URLs for every .pdf object under in_url (any fsspec file system), keeping
    relative names under out_url."""
    import fsspec

    fs, root = fsspec.core.url_to_fs(in_url)
    root = root.rstrip("/")
    protocol = fs.protocol if isinstance(fs.protocol, str) else fs.protocol[0]
    pairs = []
    for name in sorted(fs.find(root)):
        if not name.lower().endswith(".pdf"):
            continue
        rel = posixpath.relpath(name, root)
        src = name if protocol == "file" else f"{protocol}://{name}"
        pairs.append((src, out_url.rstrip("/") + "/" + rel))
    return pairs


def flatten_collection(client: Any, pairs: Iterable[Tuple[str, str]], mode: str = "all",
                       in_memory: bool = True, **options: Any) -> List[Result]:
    """Maps one task per (src, dst) pair on a dask.distributed client; returns the results in
    input order. in_memory: the fsspec task (flatten_url), else the path task (flatten_file)."""
    pairs = list(pairs)
    task = flatten_url if in_memory else flatten_file
    futures = client.map(task, [s for s, _ in pairs], [d for _, d in pairs], mode=mode,
                         pure=False, **options)
    return client.gather(futures)


def main(argv: Optional[List[str]] = None) -> int:
    from dask.distributed import Client

    ap = argparse.ArgumentParser(description="Flatten every PDF under INDIR on a Dask cluster.")
    ap.add_argument("scheduler")
    ap.add_argument("in_dir", help="a path or an fsspec URL")
    ap.add_argument("out_dir", help="a path or an fsspec URL")
    ap.add_argument("--mode", choices=kestrin.MODES, default="all")
    ap.add_argument("--keep-links", action="store_true")
    ap.add_argument("--print-only", action="store_true")
    ap.add_argument("--keep-non-printing", action="store_true")
    ap.add_argument("--paths", action="store_true",
                    help="tasks read and write paths on a shared file system instead of fsspec URLs")
    args = ap.parse_args(argv)
    options = dict(keep_links=args.keep_links, print_only=args.print_only,
                   keep_non_printing=args.keep_non_printing)
    pairs = pdf_pairs(args.in_dir, args.out_dir) if args.paths else pdf_url_pairs(args.in_dir, args.out_dir)
    with Client(args.scheduler) as client:
        results = flatten_collection(client, pairs, args.mode, in_memory=not args.paths, **options)
    failed = [(src, err) for src, err in results if err is not None]
    for src, err in failed:
        print(f"kestrin: {src}: {err}", file=sys.stderr)
    print(f"flattened {len(results) - len(failed)} of {len(results)} files", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
