"""A graph built from the files changed since the last one equals a scan of every file."""

import itertools
import os
from pathlib import Path
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from quorin import filecache
from quorin.core import callgraph
from quorin.core.callgraph import create_callgraph, get_static_records

from .helpers import write

FILES = ["m0.py", "sub/m1.py", "sub/deep/m2.py"]
# Few names, so that files define the same name and call each other's cells.
NAMES = ["x", "y", "w", "v"]

cell_lists = st.lists(st.tuples(st.sampled_from(NAMES), st.lists(st.sampled_from(NAMES))))
operations = st.one_of(
    st.tuples(st.just("write"), st.sampled_from(FILES), cell_lists, st.booleans()),
    st.tuples(st.just("swap x and y"), st.sampled_from(FILES)),  # same size, other names
    st.tuples(st.just("delete"), st.sampled_from(FILES)),
    st.tuples(st.just("rename"), st.sampled_from(FILES), st.sampled_from(FILES)),
)


def text(cells: list[tuple[str, list[str]]], broken: bool) -> str:
    lines = ["import lumset as lm"]
    for name, calls in cells:
        lines += [
            "@lm.cell",
            f"def {name}():",
            f"    return [{', '.join(c + '()' for c in calls)}]",
        ]
    if broken:
        lines += ["@lm.cell", "def w(:"]
    return "\n".join(lines) + "\n"


def view(G: callgraph.CallGraph) -> Any:
    """The graph as plain values, the syntax errors included."""
    errors = [(str(p), e.msg, e.lineno, e.offset, e.filename) for p, e in G.unparsed.items()]
    return G.project_dir, [(n, str(c.path), c.line, c.calls) for n, c in G.cells.items()], errors


class Project:
    def __init__(self, root: Path, trust_times: bool) -> None:
        self.root = root
        self.package = root / "proj"
        self.trust_times = trust_times
        self.clock = itertools.count(1_000_000_000)
        write(root, "pyproject.toml", '[project]\nname = "proj"\n')
        self.package.mkdir()

    def stamp(self, path: Path) -> None:
        # When times alone are trusted, each write must leave a time of its own behind, as
        # writes more than a clock tick apart do.
        if self.trust_times:
            ns = next(self.clock) * 1_000_000
            os.utime(path, ns=(ns, ns))

    def apply(self, operation: tuple[Any, ...]) -> None:
        kind, name, *rest = operation
        path = self.package / name
        if kind == "write":
            self.stamp(write(self.package, name, text(*rest)))
        elif kind == "swap x and y" and path.exists():
            path.write_text(path.read_text().translate(str.maketrans("xy", "yx")))
            self.stamp(path)
        elif kind == "delete":
            path.unlink(missing_ok=True)
        elif kind == "rename" and path.exists():
            target = self.package / rest[0]
            target.parent.mkdir(parents=True, exist_ok=True)
            os.replace(path, target)


@pytest.mark.parametrize("trust_times", [False, True], ids=["recent-files", "old-files"])
@settings(
    max_examples=150, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture]
)
@given(steps=st.lists(operations, max_size=14))
def test_incremental_graph_equals_a_full_scan(
    tmp_path_factory: pytest.TempPathFactory,
    monkeypatch: pytest.MonkeyPatch,
    trust_times: bool,
    steps: list[tuple[Any, ...]],
) -> None:
    if trust_times:
        monkeypatch.setattr(filecache, "RACY_NS", 0)
    project = Project(tmp_path_factory.mktemp("project").resolve(), trust_times)
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(project.root))
    earlier: list[tuple[callgraph.CallGraph, Any]] = []
    for step in steps:
        project.apply(step)
        G = create_callgraph()
        full = callgraph._build(project.root, project.package, callgraph._Project())
        assert view(G) == view(full)
        # Two files each, and the order of the records too.
        for wanted in [[], *itertools.combinations(FILES, 1), *itertools.combinations(FILES, 2)]:
            paths = [project.package / name for name in wanted]
            records = get_static_records(G, paths=paths)
            assert list(records.items()) == list(get_static_records(full, paths=paths).items())
        earlier.append((G, view(G)))
    # A later build leaves the graphs handed out before unchanged.
    assert all(view(G) == seen for G, seen in earlier)


TREE = {
    "a.py": "file",
    ".hidden.py": "file",
    "pkg/b.py": "file",
    "pkg.py/c.py": "file",  # a folder whose name ends in .py is listed, and walked
    "pkg-x/d.py": "file",
    "linked_dir": "link:pkg",  # not walked
    "linked.py": "link:a.py",
    "dangling.py": "link:nowhere",
    "notes.txt": "file",
}


def test_file_listing_is_that_of_the_glob(tmp_path: Path) -> None:
    for name, kind in TREE.items():
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if kind == "file":
            path.write_text("")
        else:
            path.symlink_to(tmp_path / kind.removeprefix("link:"))
    expected = [str(p) for p in sorted(tmp_path.rglob("*.py"))]
    assert callgraph._python_files(str(tmp_path)) == expected
    assert callgraph._python_files(str(tmp_path / "missing")) == []


@pytest.mark.parametrize("linked", ["file", "package"])
def test_linked_file_or_package_resolves_to_its_target(
    project: Path, tmp_path: Path, linked: str
) -> None:
    target = write(tmp_path / "elsewhere", "cells/rings.py", "@cell\ndef ring(): ...\n")
    if linked == "file":
        (project / "proj" / "rings.py").symlink_to(target)
    else:
        (project / "proj").rmdir()
        (project / "proj").symlink_to(target.parent)
    G = create_callgraph()
    assert list(get_static_records(G, paths=[target])) == ["ring"]
    assert get_static_records(G)["ring"].absolute_source() == target


@pytest.mark.parametrize("graph", ["made by hand", "built before the file became a link"])
def test_records_of_a_graph_its_file_index_cannot_answer_for(
    project: Path, tmp_path: Path, graph: str
) -> None:
    target = write(tmp_path / "elsewhere", "rings.py", "@cell\ndef ring(): ...\n")
    file = write(project, "proj/rings.py", target.read_text())
    G = create_callgraph()
    wanted = file
    if graph == "made by hand":
        G = callgraph.CallGraph(G.project_dir, dict(G.cells))
    else:
        file.unlink()
        file.symlink_to(target)
        create_callgraph()
        wanted = target
    assert list(get_static_records(G, paths=[wanted])) == ["ring"]


@pytest.mark.parametrize(
    ("age_ns", "same_bytes", "computed"),
    [
        (0, True, 1),  # recent, unchanged contents: compared, kept
        (0, False, 2),  # recent, same stamp but other contents: computed again
        (10 * filecache.RACY_NS, False, 1),  # old enough: the stamp alone decides
    ],
)
def test_file_cache_compares_contents_while_times_are_recent(
    tmp_path: Path, age_ns: int, same_bytes: bool, computed: int
) -> None:
    path = write(tmp_path, "f.py", "aaaa")
    calls: list[bytes] = []
    cache = filecache.FileCache(lambda p, data: calls.append(data) or len(calls), limit=8)
    st = os.stat(path)
    ns = st.st_mtime_ns - age_ns
    stamp = os.stat_result((st.st_mode, st.st_ino, 0, 1, 0, 0, 4, 0, 0, 0, 0, 0, 0, ns, ns, ns))
    cache.get(path, stamp)
    path.write_text("aaaa" if same_bytes else "bbbb")
    assert cache.get(path, stamp) == computed
    assert len(calls) == computed
