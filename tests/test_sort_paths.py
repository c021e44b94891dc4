"""`_sort_paths`: resolved paths, shallowest first, then shortest, then by text."""

from __future__ import annotations

from pathlib import Path
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorin.core.pdk as extension


class LoggedPath:
    """Path-like whose resolution, parts and text are logged and can be forged."""

    def __init__(self, log: list[tuple[str, str]], text: Any, depth: int | None = None) -> None:
        self.log, self.text = log, text
        self.depth = len(Path(str(text)).parts) if depth is None else depth

    def resolve(self) -> LoggedPath:
        self.log.append(("resolve", str(self.text)))
        return self

    @property
    def parts(self) -> tuple[str, ...]:
        self.log.append(("parts", str(self.text)))
        return ("x",) * self.depth

    def __str__(self) -> Any:
        self.log.append(("str", str(self.text)))
        return self.text


@pytest.fixture
def log(monkeypatch: pytest.MonkeyPatch, impl: Any) -> list[tuple[str, str]]:
    """Replaces the module's `Path` by a constructor of LoggedPath."""
    calls: list[tuple[str, str]] = []

    def make(p: Any) -> Any:
        if isinstance(p, LoggedPath):
            return p
        calls.append(("Path", p))
        return LoggedPath(calls, p)

    monkeypatch.setattr(impl, "Path", make)
    return calls


ORDERS = [
    pytest.param(
        ["/p/sub/a.py", "/p/aa.py", "/p/b.py", "/p/pkg/__init__.py", "/p/pkg/z.py"],
        ["/p/b.py", "/p/aa.py", "/p/pkg/z.py", "/p/sub/a.py", "/p/pkg/__init__.py"],
        id="depth-length-text",
    ),
    pytest.param(
        ["/a/b/c.py", "/a_very_long_file_name.py"],
        ["/a_very_long_file_name.py", "/a/b/c.py"],
        id="depth-beats-length",
    ),
    pytest.param(
        ["/p/b.py", "/p/a.py", "/p/B.py"], ["/p/B.py", "/p/a.py", "/p/b.py"], id="code-points"
    ),
    pytest.param(
        ["/p/x.py", "/p/y.py", "/p/x.py"], ["/p/x.py", "/p/x.py", "/p/y.py"], id="duplicates"
    ),
    pytest.param([], [], id="empty"),
]


@pytest.mark.parametrize("given, expected", ORDERS)
def test_order(impl: Any, tmp_path: Path, given: list[str], expected: list[str]) -> None:
    root = str(tmp_path.resolve())
    result = impl._sort_paths(Path(root + p) for p in given)
    assert type(result) is list
    assert result == [Path(root + p) for p in expected]


def test_inputs_are_resolved(impl: Any, tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    root = tmp_path.resolve()
    (root / "pkg").mkdir()
    (root / "pkg" / "real.py").touch()
    (root / "link.py").symlink_to(root / "pkg" / "real.py")
    monkeypatch.chdir(root)
    result = impl._sort_paths(["pkg/../pkg/real.py", Path("link.py"), "new.py"])
    assert result == [root / "new.py", root / "pkg" / "real.py", root / "pkg" / "real.py"]
    assert all(type(p) is type(root) for p in result)


def test_outside_calls_in_order(impl: Any, log: list[tuple[str, str]]) -> None:
    # Every path is made and resolved before any key; each key reads parts, then
    # str twice (once for its length, once for the text itself).
    result = impl._sort_paths(("/b/c.py", "/a.py"))
    assert [p.text for p in result] == ["/a.py", "/b/c.py"]
    assert log == [
        ("Path", "/b/c.py"), ("resolve", "/b/c.py"), ("Path", "/a.py"), ("resolve", "/a.py"),
        ("parts", "/b/c.py"), ("str", "/b/c.py"), ("str", "/b/c.py"),
        ("parts", "/a.py"), ("str", "/a.py"), ("str", "/a.py"),
    ]  # fmt: skip


def test_key_uses_parts_and_text_as_given(impl: Any, log: list[tuple[str, str]]) -> None:
    first, second, third = (LoggedPath(log, t, d) for t, d in [("zz", 1), ("a", 5), ("yyy", 1)])
    result = impl._sort_paths([second, third, first])
    assert result == [first, third, second]


def test_equal_keys_keep_input_order(impl: Any, log: list[tuple[str, str]]) -> None:
    paths = [LoggedPath(log, "/same.py") for _ in range(40)]
    paths += [LoggedPath(log, "/a.py") for _ in range(40)]
    result = impl._sort_paths(paths)
    assert [id(p) for p in result] == [id(p) for p in paths[40:] + paths[:40]]


class Reversed(str):
    def __lt__(self, other: object) -> bool:
        return str.__gt__(self, other)  # type: ignore[operator]


class Unorderable(str):
    def __lt__(self, other: object) -> bool:
        raise ORDER_ERROR


ORDER_ERROR = ArithmeticError("cannot order")


class Broken(LoggedPath):
    def resolve(self) -> LoggedPath:
        raise ORDER_ERROR


def test_text_subclass_compares_by_its_own_order(impl: Any, log: list[tuple[str, str]]) -> None:
    paths = [LoggedPath(log, Reversed(t)) for t in ("a", "c", "b")]
    assert [str(p.text) for p in impl._sort_paths(paths)] == ["c", "b", "a"]


@pytest.mark.parametrize(
    "items",
    [
        pytest.param(lambda log: [LoggedPath(log, Unorderable(t)) for t in "ab"], id="comparison"),
        pytest.param(lambda log: [LoggedPath(log, "a"), Broken(log, "b")], id="resolve"),
    ],
)
def test_errors_propagate_unchanged(impl: Any, log: list[tuple[str, str]], items: Any) -> None:
    with pytest.raises(ArithmeticError) as info:
        impl._sort_paths(items(log))
    assert info.value is ORDER_ERROR


@settings(max_examples=200, deadline=None)
@given(
    st.lists(
        st.tuples(st.text(alphabet="ab/é\U0001f600", max_size=6), st.integers(1, 3)), max_size=40
    )
)
def test_order_of_exact_texts_is_sorted_order(specs: list[tuple[str, int]]) -> None:
    # The result must be what `sorted` gives, stability included (texts repeat often here).
    calls: list[tuple[str, str]] = []
    paths = [LoggedPath(calls, text, depth) for text, depth in specs]
    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(extension, "Path", lambda p: p)
        result = extension._sort_paths(paths)
    expected = sorted(paths, key=lambda p: (p.depth, len(p.text), p.text))
    assert [id(p) for p in result] == [id(p) for p in expected]
