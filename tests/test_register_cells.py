"""The registration driver, with every step and service replaced by a recording fake."""

from __future__ import annotations

from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests.fakes import FakePdk, Record, raising
from tests.shared import unpack_text


@pytest.fixture
def run(monkeypatch: pytest.MonkeyPatch, impl: Any, services: SimpleNamespace) -> SimpleNamespace:
    """Fakes for the steps; each returns what the test put in `steps`."""
    calls = services.calls
    active = FakePdk("mypdk", cells={"old": "old-cell", "kept": "kept-cell"})
    base = FakePdk("base")
    steps = SimpleNamespace(
        static={"a": Record("a", "demo/a.py"), "b": Record("b", "demo/b.py")},
        filtered=None,
        imported=({"mod": 1}, {"err": 2}),
        handled=(
            {"e": "error-cell-e", "b": "error-cell-b"},
            {"e": Record("e", "demo/e.py", "ERROR")},
        ),
        found=None,
        updates=None,
    )

    def fake(name: str, result: Any) -> Any:
        def step(*args: Any, **kwargs: Any) -> Any:
            calls.append((name, args, kwargs))
            value = result() if callable(result) else result
            return value

        monkeypatch.setattr(impl, name, step)

    services.cg.records = lambda: steps.static
    fake("get_pdk", lambda: active)
    fake("get_base_pdk", lambda: base)
    fake("_filter_records_for_non_pdk_project", lambda: steps.filtered or steps.static)
    fake("_import_modules", lambda: steps.imported)
    fake("_handle_import_errors", lambda: steps.handled)
    fake("_find_cells", lambda: dict(steps.found or {"a": "cell-a", "b": "cell-b", "z": "cell-z"}))
    fake("_get_database_updates", lambda: steps.updates or ([steps.static["b"]], ["old", "gone"]))
    fake("_clean_containers_also_in_cells", None)
    services.steps, services.active, services.base = steps, active, base
    return services


def call_names(calls: list[Any]) -> list[str]:
    return [c[0] for c in calls if not c[0].startswith("log")]


def test_full_run_order_and_result(impl: Any, run: SimpleNamespace) -> None:
    run.db.records = {"old": Record("old", "x"), "gone": Record("gone", "y")}
    added, removed = impl.register_cells()
    assert (added, removed) == (["b"], ["old", "gone"])
    assert call_names(run.calls) == [
        "get_pdk", "get_base_pdk", "cg.create_callgraph", "cg.get_static_records",
        "settings.is_a_pdk", "_filter_records_for_non_pdk_project", "_import_modules",
        "_handle_import_errors", "_find_cells", "db.get_all_factories", "_get_database_updates",
        "db.update_factories", "register_models", "_clean_containers_also_in_cells",
    ]  # fmt: skip
    by_name = {c[0]: c for c in run.calls}
    assert by_name["cg.get_static_records"][1:] == (run.cg.graph, (("paths", []),))
    assert by_name["_import_modules"][2] == {"reload": True}
    assert by_name["register_models"][1:] == (run.cg.graph, (("reload", True),))
    # Error cells win over found cells; only names of the merged records are registered.
    assert run.active.cells == {
        "kept": "kept-cell",
        "a": "cell-a",
        "b": "error-cell-b",
        "e": "error-cell-e",
    }
    assert "e" in run.steps.static  # the error record joined the static records


def test_pdk_project_skips_the_filter(impl: Any, run: SimpleNamespace) -> None:
    run.settings.is_pdk = "yes"
    impl.register_cells()
    names = call_names(run.calls)
    assert "_filter_records_for_non_pdk_project" not in names and "get_base_pdk" in names


@pytest.mark.parametrize(
    ("reload", "expected"), [(False, False), (None, False), (0, False), (1, True)]
)
def test_reload_flag(impl: Any, run: SimpleNamespace, reload: Any, expected: bool) -> None:
    impl.register_cells(reload=reload)
    imported = next(c for c in run.calls if c[0] == "_import_modules")
    assert imported[2]["reload"] is expected
    assert ("register_models" in call_names(run.calls)) is expected


def test_paths_limit_the_database_reads(impl: Any, run: SimpleNamespace) -> None:
    p = Path("/proj/demo/b.py")
    run.db.records = {n: Record(n, "demo/b.py") for n in ("a", "b", "c", "d")}
    run.db.by_source = {p: ["a", "c", "d", "c"]}
    run.steps.updates = ([], ["c"])
    added, removed = impl.register_cells(paths=(q for q in [p]))
    db_calls = [c for c in run.calls if c[0].startswith("db.")]
    assert db_calls[:3] == [
        ("db.get_factories_by_name", ("a", "b", "e")),
        ("db.get_factories_by_source", (p,)),
        ("db.get_factories_by_name", ("c", "d", "c")),
    ]
    args = next(c for c in run.calls if c[0] == "_get_database_updates")[1]
    assert sorted(args[1]) == ["a", "b", "c", "d"] and args[2] == [p] and args[2][0] is p
    assert (added, removed) == ([], ["c"])


def test_paths_without_static_records(impl: Any, run: SimpleNamespace) -> None:
    p = Path("/proj/demo/gone.py")
    run.steps.static = {}
    run.steps.handled = ({}, {})
    run.steps.found = {}
    run.db.by_source = {p: ["a"]}
    run.db.records = {"a": Record("a", "demo/gone.py")}
    run.active.cells["a"] = "cell-a"
    run.steps.updates = ([], ["a"])
    impl.register_cells(paths=[p])
    db_calls = [c for c in run.calls if c[0].startswith("db.get")]
    assert db_calls == [("db.get_factories_by_source", (p,)), ("db.get_factories_by_name", ("a",))]
    assert "a" not in run.active.cells


def test_stored_names_already_present_are_not_fetched_again(
    impl: Any, run: SimpleNamespace
) -> None:
    p = Path("/proj/demo/a.py")
    run.db.records = {"a": Record("a", "demo/a.py")}
    run.db.by_source = {p: ["a"]}
    impl.register_cells(paths=[p])
    assert [c[0] for c in run.calls].count("db.get_factories_by_name") == 1


def test_failure_stops_the_run_and_keeps_earlier_effects(impl: Any, run: SimpleNamespace) -> None:
    boom = OSError("database locked")
    run.db.update_factories = raising(boom)
    with pytest.raises(OSError) as info:
        impl.register_cells()
    assert info.value is boom
    assert run.active.cells["a"] == "cell-a" and "old" in run.active.cells
    assert "register_models" not in call_names(run.calls)


def test_bad_arguments_fail_before_any_call(impl: Any, run: SimpleNamespace) -> None:
    with pytest.raises(TypeError, match="^'int' object is not iterable$"):
        impl.register_cells(paths=5)
    with pytest.raises(TypeError):  # its text: test_surface
        impl.register_cells([])
    assert run.calls == []


@pytest.mark.parametrize(
    ("count", "kind"), [(3, tuple), (1, tuple), (0, list), (3, iter), (1, iter)]
)
def test_step_results_must_unpack_into_two(
    impl: Any, run: SimpleNamespace, count: int, kind: Any
) -> None:
    run.steps.imported = kind(range(count))
    with pytest.raises(ValueError) as info:
        impl.register_cells()
    assert str(info.value) == unpack_text(impl, count)
