from __future__ import annotations

import copy
from pathlib import Path
from typing import Any

import pytest

from tests.fakes import Record, names


def lines(services: Any) -> list[str]:
    return [text for _, text in services.logger.lines]


def test_empty_mappings_still_log_three_lines(impl: Any, services: Any) -> None:
    assert impl._get_database_updates({}, {}, []) == ([], [])
    assert services.calls == [
        ("log",),
        ("log.info", "new factories: []"),
        ("log",),
        ("log.info", "updated factories: []"),
        ("log",),
        ("log.info", "removed factories: []"),
    ]


# name: (run record, stored record, in add, outcome the run record leaves with)
CASES = {
    "new": (Record("new", "a.py", "OK", "run"), None, True, ("OK", "run")),
    "gone": (None, Record("gone", "a.py"), False, None),
    "moved": (Record("moved", "b.py", "OK", "run"), Record("moved", "a.py"), True, ("OK", "run")),
    "asked": (Record("asked", "p.py", "OK", "run"), Record("asked", "p.py"), True, ("OK", "run")),
    "same": (
        Record("same", "a.py", "OK", "run"),
        Record("same", "a.py", "S", "m"),
        False,
        ("S", "m"),
    ),
    "other": (Record("other", "a.py", "OK"), Record("zzz", "a.py", "S", "m"), True, ("S", "m")),
}


@pytest.mark.parametrize("key", CASES)
def test_outcome_per_name(impl: Any, services: Any, key: str) -> None:
    # A copy: the records are changed, and the next module must get them as written here.
    run, stored, written, outcome = copy.deepcopy(CASES[key])
    static = {} if run is None else {key: run}
    present = {} if stored is None else {key: stored}
    # An equal path that is not the same object.
    add, remove = impl._get_database_updates(static, present, [Path("/proj/p.py")])
    assert add == ([run] if written else []) and (not written or add[0] is run)
    assert remove == ([] if run else [key])
    if run is not None:
        assert (run.status, run.message) == outcome
    assert lines(services) == [
        f"new factories: {['new'] if key == 'new' else []}",
        f"updated factories: {[run.name] if written and key != 'new' else []}",
        f"removed factories: {['gone'] if key == 'gone' else []}",
    ]


def test_orders_by_record_name_with_new_before_updated(impl: Any, services: Any) -> None:
    static = {
        "k1": Record("c", "a.py"),
        "k2": Record("a", "new.py"),
        "k3": Record("b", "moved.py"),
        "k4": Record("b", "new.py"),
        "zz": Record("zz", "a.py"),
    }
    present = {n: Record(n, "a.py") for n in ("zz", "k3", "y", "x")}
    add, remove = impl._get_database_updates(static, present, [])
    assert add == [static["k2"], static["k4"], static["k3"], static["k1"]]
    assert remove == ["x", "y"]
    assert lines(services) == [
        "new factories: ['k1', 'k2', 'k4']",
        "updated factories: ['b']",
        "removed factories: ['x', 'y']",
    ]


class Recorded(Record):
    """Logs its comparisons and what it holds at that moment."""

    def __eq__(self, other: object) -> bool:
        assert self.calls is not None
        self.calls.append(("==", self.name, self.status, self.message))
        return super().__eq__(other)


def test_path_is_asked_only_for_equal_sources(impl: Any, services: Any) -> None:
    calls = services.calls
    static = {
        "moved": Recorded("moved", "b.py", calls=calls),
        "kept": Recorded("kept", "a.py", "OK", "run", calls=calls),
    }
    present = {n: Record(n, "a.py", "S", "m") for n in static}
    impl._get_database_updates(static, present, [])
    assert [c for c in calls if c[0] != "log" and c[0] != "log.info"] == [
        ("absolute_source", "kept"),
        ("==", "kept", "S", "m"),
    ]


class Source(str):
    """A source whose `!=` is its own."""

    def __ne__(self, other: object) -> bool:
        return False


def test_sources_compared_by_inequality(impl: Any, services: Any) -> None:
    static = {"a": Record("a", Source("x.py"))}
    present = {"a": Record("a", "y.py", "S", "m")}
    assert impl._get_database_updates(static, present, []) == ([static["a"]], [])
    assert (static["a"].status, static["a"].message) == ("S", "m")


def test_errors_pass_through_and_keep_earlier_changes(impl: Any, services: Any) -> None:
    boom = ValueError("boom")

    class Failing(Record):
        def __eq__(self, other: object) -> bool:
            raise boom

    static = {"a": Record("a", "a.py"), "b": Failing("b", "a.py")}
    present = {n: Record(n, "a.py", "S", "m") for n in static}
    with pytest.raises(ValueError) as info:
        impl._get_database_updates(static, present, [])
    assert info.value is boom
    # The stored outcome was taken before the comparison failed.
    assert (static["b"].status, static["b"].message) == ("S", "m")
    assert lines(services) == ["new factories: []"]


def test_name_is_read_for_the_line_and_for_the_order(impl: Any, services: Any) -> None:
    class Named(Record):
        reads = 0

        def __getattribute__(self, attr: str) -> Any:
            if attr == "name":
                Named.reads += 1
            return super().__getattribute__(attr)

    static = {"a": Named("a", "b.py"), "n": Named("n", "a.py")}
    impl._get_database_updates(static, {"a": Record("a", "a.py")}, [])
    assert Named.reads == 3
    assert names(static.values()) == ["a", "n"]
