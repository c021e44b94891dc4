"""The record filter answers `relative_to` of the standard POSIX paths from their texts.

It must answer as the method does, leave the paths as the method would, and let the method
answer whenever anything it reaches is not the standard library's own. The runs of the
standard `relative_to` are counted through `sys.monitoring`, which changes no class.
"""

from __future__ import annotations

import inspect
import itertools
import pathlib
import re
import sys
import textwrap
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from pathlib import Path, PosixPath, PurePath, PurePosixPath, PureWindowsPath
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tests.fakes import FakePdk, Record
from tests.shared import fast_paths_on, run_python
from tools import code_digests

FAST = fast_paths_on()

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
    assert runs == ([0] if FAST else [1])  # answered from the texts
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


def walk_up_default_in_place(mp: pytest.MonkeyPatch) -> None:
    mp.setitem(PurePath.relative_to.__kwdefaults__, "walk_up", True)  # type: ignore[index]


def recompiled(function: Any, changed: bool) -> Any:
    """A copy of `function` compiled from its source in its own module's namespace, the source
    given a statement that changes nothing it does where `changed`."""
    lines = textwrap.dedent(inspect.getsource(function)).splitlines()
    if changed:
        lines.insert(1, re.match(r"\s*", lines[1]).group() + "_unused = None")  # type: ignore[union-attr]
    namespace: dict[str, Any] = {}
    exec(
        compile("\n".join(lines), "<recompiled>", "exec", dont_inherit=True),
        function.__globals__,
        namespace,
    )
    copy = namespace[function.__name__]
    copy.__code__ = copy.__code__.replace(co_qualname=function.__code__.co_qualname)
    copy.__qualname__ = function.__qualname__
    return copy


def str_recompiled_as_it_is(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PurePath, "__str__", recompiled(PurePath.__str__, changed=False))


def str_recompiled_changed(mp: pytest.MonkeyPatch) -> None:
    mp.setattr(PurePath, "__str__", recompiled(PurePath.__str__, changed=True))


def code_of_len_replaced(mp: pytest.MonkeyPatch) -> None:
    parents_len = pathlib._local._PathParents.__len__  # type: ignore[attr-defined]
    mp.setattr(parents_len, "__code__", recompiled(parents_len, changed=True).__code__)


class OnUndo:
    """Calls `undo` when the monkeypatch that set its `armed` puts it back."""

    def __init__(self, undo: Callable[[], Any]) -> None:
        object.__setattr__(self, "undo", undo)
        object.__setattr__(self, "armed", False)

    def __setattr__(self, name: str, value: Any) -> None:
        object.__setattr__(self, name, value)
        if name == "armed" and not value:
            self.undo()


def getter_of_parents_set_up_again(mp: pytest.MonkeyPatch) -> None:
    # `property.__init__` on the class's own property: the class keeps its version tag.
    parents: Any = PurePath.__dict__["parents"]
    getter = parents.fget
    parents.__init__(delegate(getter))
    mp.setattr(OnUndo(lambda: parents.__init__(getter)), "armed", True)


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
        (walk_up_default_in_place, PosixPath, PosixPath("/proj")),
        (str_recompiled_as_it_is, PosixPath, PosixPath("/proj")),
        (str_recompiled_changed, PosixPath, PosixPath("/proj")),
        (code_of_len_replaced, PosixPath, PosixPath("/proj")),
        (getter_of_parents_set_up_again, PosixPath, PosixPath("/proj")),
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
    stays_standard = change in (unchanged, str_recompiled_as_it_is)
    if not FAST:
        assert runs == [len(paths)]
    elif stays_standard and path_class is PosixPath and type(project_dir) is PosixPath:
        assert runs == [0]
    elif stays_standard and type(project_dir) is PosixPath:  # only the sources are not
        assert runs == [len(SOURCES)]
    elif stays_standard or when == "before the call":
        assert runs == [len(paths)]
    else:
        assert runs == [len(paths) - 1]
    assert capfd.readouterr() == ("", "")  # the choice of route is silent


def test_an_instance_attribute_relative_to_is_called(
    pdk: Any, services: Any, monkeypatch: pytest.MonkeyPatch
) -> None:
    class WithDict(PosixPath):
        """Bound where pathlib keeps its concrete class; its objects have a `__dict__`."""

    monkeypatch.setattr(pathlib._local, "PosixPath", WithDict)  # type: ignore[attr-defined]
    services.settings.project_dir = PosixPath("/proj")
    path, calls = WithDict("/elsewhere/a.py"), []
    path.relative_to = calls.append  # type: ignore[method-assign]
    assert kept(pdk, [path, WithDict("/elsewhere/b.py")]) == [0]
    assert calls == [PosixPath("/proj/demo")]


def table_rows() -> list[list[int]]:
    table = (code_digests.CHECKOUT / "src/contracts/pathlib/known_code.hpp").read_text()
    return [
        [int(d, 16) for d in re.findall(r"0x[0-9a-f]+", row)]
        for row in re.findall(r"\.digests = \{([^}]*)\}", table)
    ]


def test_the_shortcut_is_on_only_for_code_in_the_table(pdk: Any, services: Any) -> None:
    services.settings.project_dir = PosixPath("/proj")
    in_table = code_digests.row() in table_rows()
    with method_runs() as runs:
        assert kept(pdk, [PosixPath(s) for s in SOURCES]) == [0, 1]
    assert runs == ([0] if in_table and FAST else [len(SOURCES)])


def test_classes_rebound_so_that_a_lookup_reaches_object() -> None:
    # The classes' bases are walked up to `object`, whose namespace lives with the interpreter.
    done = run_python(
        """
        import posixpath, pathlib._local as L, pathlib._abc as A
        from types import SimpleNamespace
        import quorin.core.pdk as pdk

        saved = L.PurePath.__dict__["__init__"]
        class PP(L.PurePath):
            __slots__ = (); __init__ = saved; parser = posixpath
        class CC(L.PurePath):
            __slots__ = (); __init__ = L.Path.__dict__["__init__"]
            __new__ = L.Path.__dict__["__new__"]; parser = posixpath
        L.PurePosixPath, L.PosixPath = PP, CC
        del L.PurePath.__init__; del A.PurePathBase.__init__

        source, project = PP("/proj/demo/a.py"), PP("/proj")
        pdk.settings = SimpleNamespace(get_project_dir=lambda: project, get_project_name=lambda: "demo")
        record = SimpleNamespace(absolute_source=lambda: source)
        print(list(pdk._filter_records_for_non_pdk_project({"a": record}, SimpleNamespace(cells={}))))
        print(source.relative_to(project / "demo"))
        """
    )
    assert (done.returncode, done.stdout.split(), done.stderr) == (0, ["['a']", "a.py"], "")
