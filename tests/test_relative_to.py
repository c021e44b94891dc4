"""The record filter answers `relative_to` of the standard POSIX paths from their texts.

It must answer as the method does, leave the paths as the method would, and let the method
answer whenever anything it reaches is not the standard library's own. The runs of the
standard `relative_to` are counted through `sys.monitoring`, which changes no class.
"""

from __future__ import annotations

import itertools
import pathlib
import sys
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from pathlib import Path, PosixPath, PurePath, PurePosixPath, PureWindowsPath
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tests.fakes import FakePdk, Record

EXAMPLES = settings(max_examples=400, deadline=None, suppress_health_check=list(HealthCheck))
CACHES = ("_raw_paths", "_drv", "_root", "_tail_cached", "_str", "_str_normcase_cached", "_hash")


@contextmanager
def method_runs() -> Iterator[list[int]]:
    """Counts the runs of the standard `PurePath.relative_to`."""
    mon = sys.monitoring
    tool = next(i for i in range(6) if mon.get_tool(i) is None)
    code = PurePath.relative_to.__code__
    runs = [0]

    def started(code: Any, offset: int) -> None:
        runs[0] += 1

    mon.use_tool_id(tool, "relative_to runs")
    mon.register_callback(tool, mon.events.PY_START, started)
    mon.set_local_events(tool, code, mon.events.PY_START)
    try:
        yield runs
    finally:
        mon.set_local_events(tool, code, 0)
        mon.register_callback(tool, mon.events.PY_START, None)
        mon.free_tool_id(tool)


def kept(pdk: Any, paths: list[Any]) -> list[int]:
    """The indexes of the paths (or records) the filter counts as in the project."""
    static = {
        str(i): p if isinstance(p, Record) else Record(str(i), "src.py", path=p)
        for i, p in enumerate(paths)
    }
    return [int(name) for name in pdk._filter_records_for_non_pdk_project(static, FakePdk("base"))]


def expected(paths: list[Any], project_path: Any) -> list[int]:
    result = []
    for i, path in enumerate(paths):
        try:
            path.relative_to(project_path)
        except ValueError:
            continue
        result.append(i)
    return result


def caches(path: PurePath) -> dict[str, Any]:
    """The private caches the path has filled, with their values."""
    filled = {}
    for name in CACHES:
        try:
            filled[name] = PurePath.__dict__[name].__get__(path)
        except AttributeError:
            pass
    return filled


# --- the fast answer is the method's ---------------------------------------------------------

part = st.sampled_from(["", ".", "..", "a", "b", "ab", "é", "a b", "中"])
anchor = st.sampled_from(["", "/", "//", "///"])


def joined(anchor: str, parts: list[str], trail: str) -> str:
    return anchor + "/".join(parts) + trail


texts = st.builds(
    joined,
    anchor,
    st.lists(part, max_size=4),
    st.sampled_from(["", "/", "//"]),
)
classes = st.sampled_from([PurePosixPath, PosixPath])


@EXAMPLES
@given(
    project_dir=texts,
    project_name=st.one_of(texts, part),
    source=texts,
    under=st.sampled_from(["", "/", "//", None]),
    source_class=classes,
    project_class=classes,
    warm=st.sampled_from(["fresh", "str", "hash"]),
)
def test_the_fast_answer_is_the_methods(
    pdk: Any,
    services: Any,
    project_dir: str,
    project_name: str,
    source: str,
    under: str | None,
    source_class: type[PurePath],
    project_class: type[PurePath],
    warm: str,
) -> None:
    if under is not None:  # a source placed under the project path, or beside it
        source = project_dir + "/" + project_name + under + source
    services.settings.project_dir = project_class(project_dir)
    services.settings.project_name = project_name
    path, twin = source_class(source), source_class(source)
    for p in (path, twin):
        if warm != "fresh":
            (str if warm == "str" else hash)(p)
    with method_runs() as runs:
        result = kept(pdk, [path])
    assert runs == [0]  # answered from the texts
    assert result == expected([twin], project_class(project_dir) / project_name)
    assert caches(path) == caches(twin)


# --- anything not standard is left to the method ---------------------------------------------


def delegate(method: Callable[..., Any]) -> Callable[..., Any]:
    def wrapper(*args: Any, **kwargs: Any) -> Any:
        return method(*args, **kwargs)

    return wrapper


def relative_to_on_the_class(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PosixPath, "relative_to", delegate(PurePath.relative_to))


def eq_on_a_base(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PurePath, "__eq__", delegate(PurePath.__eq__))


def str_on_a_base(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PurePath, "__str__", delegate(PurePath.__str__))


def parents_on_a_base(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PurePath, "parents", property(delegate(PurePath.parents.fget)))  # type: ignore[attr-defined]


def contains_of_the_parents(mp: pytest.MonkeyPatch) -> None:
    parents = pathlib._local._PathParents  # type: ignore[attr-defined]
    mp.setattr(parents, "__contains__", delegate(parents.__contains__))


def walk_up_default(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PurePath.relative_to, "__kwdefaults__", {"walk_up": True})


def name_in_the_module(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(pathlib._local, "chain", delegate(itertools.chain))  # type: ignore[attr-defined]


def builtin_shadowed(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(pathlib._local, "isinstance", delegate(isinstance), raising=False)  # type: ignore[attr-defined]


class SubPath(PosixPath):
    pass


class ProjectDir:
    """A project directory whose `/` gives a plain text."""

    def __truediv__(self, name: str) -> str:
        return "/proj/" + name


def unchanged(mp: pytest.MonkeyPatch) -> None:
    pass


SOURCES = ["/proj/demo/a.py", "/proj/demo", "/proj/demo2/b.py", "/proj/other/c.py", "/x.py"]


@pytest.mark.parametrize(
    "change, path_class, project_dir",
    [
        (unchanged, PosixPath, PosixPath("/proj")),
        (relative_to_on_the_class, PosixPath, PosixPath("/proj")),
        (eq_on_a_base, PosixPath, PosixPath("/proj")),
        (str_on_a_base, PurePosixPath, PosixPath("/proj")),
        (parents_on_a_base, PosixPath, PurePosixPath("/proj")),
        (contains_of_the_parents, PosixPath, PosixPath("/proj")),
        (walk_up_default, PosixPath, PosixPath("/proj")),
        (name_in_the_module, PosixPath, PosixPath("/proj")),
        (builtin_shadowed, PosixPath, PosixPath("/proj")),
        (unchanged, SubPath, PosixPath("/proj")),
        (unchanged, PureWindowsPath, PureWindowsPath("/proj")),
        (unchanged, PosixPath, ProjectDir()),
    ],
    ids=lambda v: getattr(v, "__name__", None) or type(v).__name__,
)
@pytest.mark.parametrize("when", ["before the call", "during the call"])
def test_anything_not_standard_is_left_to_the_method(
    pdk: Any,
    services: Any,
    monkeypatch: pytest.MonkeyPatch,
    change: Callable[[pytest.MonkeyPatch], None],
    path_class: type,
    project_dir: Any,
    when: str,
    capfd: pytest.CaptureFixture[str],
) -> None:
    services.settings.project_dir = project_dir
    paths: list[Any] = [path_class(s) for s in SOURCES]
    records: list[Any] = paths
    if when == "before the call":
        change(monkeypatch)
    else:
        # The first record is answered before the change, the others after it.
        first, second = Path("/proj/demo/first.py"), Path("/proj/demo/second.py")

        class Changing(Record):
            def absolute_source(self) -> Any:
                change(monkeypatch)
                return second

        paths = [first, second, *paths]
        records = [first, Changing("c", "c.py"), *records]
    with method_runs() as runs:
        result = kept(pdk, records)
    assert result == expected(paths, project_dir / "demo")
    if change is unchanged and path_class is PosixPath and type(project_dir) is PosixPath:
        assert runs == [0]
    elif change is unchanged and type(project_dir) is PosixPath:  # only the sources are not
        assert runs == [len(SOURCES)]
    elif change is unchanged or when == "before the call":
        assert runs == [len(paths)]
    else:
        assert runs == [len(paths) - 1]
    assert capfd.readouterr() == ("", "")  # the choice of route is silent
