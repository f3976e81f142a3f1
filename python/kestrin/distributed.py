"""Flattening a collection bigger than one machine on Dask's distributed scheduler.

Each task flattens one file in a worker process; the binding's lock keeps the library to one call
at a time per process, so run workers with one thread each and scale with processes and machines:

    dask scheduler                                        # on one machine
    dask worker tcp://SCHEDULER:8786 --nworkers 8 --nthreads 1   # on every machine
    python3 -m kestrin.distributed tcp://SCHEDULER:8786 INDIR OUTDIR [--mode forms]

INDIR and OUTDIR must be visible to every worker under the same paths (a shared file system).
"""
import argparse
import os
import pathlib
import sys

import kestrin


def flatten_file(src, dst, mode="all"):
    """One task: returns (src, None) on success or (src, error text) on failure."""
    try:
        os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
        kestrin.flatten(src, dst, mode=mode)
        return src, None
    except kestrin.Error as exc:
        return src, str(exc)


def pdf_pairs(in_dir, out_dir):
    """(input, output) paths for every .pdf file under in_dir, keeping relative paths."""
    in_dir, out_dir = pathlib.Path(in_dir), pathlib.Path(out_dir)
    for src in sorted(in_dir.rglob("*")):
        if src.is_file() and src.suffix.lower() == ".pdf":
            yield str(src), str(out_dir / src.relative_to(in_dir))


def flatten_collection(client, pairs, mode="all"):
    """Maps flatten_file over (src, dst) pairs on a dask.distributed client; returns the results
    in input order."""
    pairs = list(pairs)
    futures = client.map(flatten_file, [s for s, _ in pairs], [d for _, d in pairs],
                         mode=mode, pure=False)
    return client.gather(futures)


def main(argv=None):
    from dask.distributed import Client

    ap = argparse.ArgumentParser(description="Flatten every PDF under INDIR on a Dask cluster.")
    ap.add_argument("scheduler")
    ap.add_argument("in_dir")
    ap.add_argument("out_dir")
    ap.add_argument("--mode", choices=kestrin.MODES, default="all")
    args = ap.parse_args(argv)
    with Client(args.scheduler) as client:
        results = flatten_collection(client, pdf_pairs(args.in_dir, args.out_dir), args.mode)
    failed = [(src, err) for src, err in results if err is not None]
    for src, err in failed:
        print(f"kestrin: {src}: {err}", file=sys.stderr)
    print(f"flattened {len(results) - len(failed)} of {len(results)} files", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
