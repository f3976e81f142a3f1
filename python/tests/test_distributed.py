"""The scale-out recipe: a local Dask cluster of two worker processes with two threads each
flattens corpus files, on paths and in memory through fsspec."""
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


@pytest.fixture(scope="module")
def client():
    cluster = distributed_mod.LocalCluster(n_workers=2, threads_per_worker=2, processes=True,
                                           dashboard_address=None)
    with cluster, distributed_mod.Client(cluster) as c:
        yield c


@pytest.fixture
def in_dir(tmp_path):
    d = tmp_path / "in"
    (d / "sub").mkdir(parents=True)
    for i, f in enumerate(corpus_sample(8)):
        shutil.copy(f, d / ("sub" if i % 2 else "") / f.name)
    (d / "broken.pdf").write_bytes(b"not a pdf at all")
    return d


def check(results, pairs, in_dir, broken_prefix):
    by_src = dict(results)
    assert len(results) == len(pairs) == 9
    assert by_src[str(in_dir / "broken.pdf")].startswith(broken_prefix)
    for src, dst in pairs:
        if src.endswith("broken.pdf"):
            assert not pathlib.Path(dst).exists()
            continue
        assert by_src[src] is None
        assert pathlib.Path(dst).read_bytes() == kestrin.flatten_bytes(pathlib.Path(src).read_bytes())


def test_paths_on_a_local_cluster(client, in_dir, tmp_path):
    out_dir = tmp_path / "out"
    pairs = list(distributed.pdf_pairs(in_dir, out_dir))
    results = distributed.flatten_collection(client, pairs, in_memory=False)
    check(results, pairs, in_dir, "input: no PDF objects found")


def test_bytes_through_fsspec_on_a_local_cluster(client, in_dir, tmp_path):
    pytest.importorskip("fsspec")
    out_dir = tmp_path / "out-mem"
    pairs = distributed.pdf_url_pairs(str(in_dir), str(out_dir))
    results = distributed.flatten_collection(client, pairs)
    check(results, pairs, in_dir, "input: no PDF objects found")


def test_options_reach_the_tasks(client, in_dir, tmp_path):
    pytest.importorskip("fsspec")
    pairs = [p for p in distributed.pdf_url_pairs(str(in_dir), str(tmp_path / "o"))
             if not p[0].endswith("broken.pdf")]
    results = distributed.flatten_collection(client, pairs, mode="forms", keep_links=True)
    for (src, dst), (_, err) in zip(pairs, results):
        assert err is None
        expect = kestrin.flatten_bytes(pathlib.Path(src).read_bytes(), mode="forms", keep_links=True)
        assert pathlib.Path(dst).read_bytes() == expect
