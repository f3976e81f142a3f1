"""The scale-out recipe: a local Dask cluster of two worker processes flattens corpus files."""
import os
import pathlib
import shutil

import pytest

import kestrin
from kestrin import distributed

distributed_mod = pytest.importorskip("dask.distributed")

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORPUS = pathlib.Path(os.environ.get("KESTRIN_CORPUS_DIR", ROOT.parent / "shared" / "corpus")) / "files"


def corpus_sample(count):
    files = sorted(CORPUS.glob("pdf-lib__*.pdf"))[:count]
    if not files:
        pytest.skip("corpus not found")
    return files


def test_local_cluster_flattens_a_directory(tmp_path):
    in_dir = tmp_path / "in"
    (in_dir / "sub").mkdir(parents=True)
    sample = corpus_sample(6)
    for i, f in enumerate(sample):
        shutil.copy(f, in_dir / ("sub" if i % 2 else "") / f.name)
    (in_dir / "broken.pdf").write_bytes(b"not a pdf at all")
    out_dir = tmp_path / "out"

    cluster = distributed_mod.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None)
    with cluster, distributed_mod.Client(cluster) as client:
        pairs = list(distributed.pdf_pairs(in_dir, out_dir))
        results = distributed.flatten_collection(client, pairs)

    assert len(results) == len(sample) + 1
    by_src = dict(results)
    assert by_src[str(in_dir / "broken.pdf")].startswith("input: no PDF objects found")
    for src, dst in pairs:
        if src.endswith("broken.pdf"):
            assert not pathlib.Path(dst).exists()
            continue
        assert by_src[src] is None
        assert pathlib.Path(dst).read_bytes().startswith(b"%PDF-1.4")
        assert kestrin.annotation_count(dst) <= kestrin.annotation_count(src)
