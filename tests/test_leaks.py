"""Repeated calls on success and error paths keep memory and reference counts flat."""

from __future__ import annotations

import gc
import itertools
import sys
import tracemalloc
from collections.abc import Callable
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

import quorin.core.pdk as pdk_module
from tests import fakes
from tests.fakes import FakePdk, Record, module_with

ROUNDS = 3000


def growth(action: Callable[[], Any], watched: list[Any]) -> tuple[int, list[int]]:
    """Bytes still allocated and reference-count changes after many more calls.

    Memory is measured over two windows and the smaller growth kept: a one-off resize of some
    interpreter table (the interned strings, say) lands in one window, a leak in both.
    """
    for _ in range(200):
        action()
    gc.collect()
    counts = [sys.getrefcount(o) for o in watched]
    tracemalloc.start()
    windows = []
    for _ in range(2):
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(ROUNDS):
            action()
        gc.collect()
        windows.append(tracemalloc.get_traced_memory()[0] - before)
    tracemalloc.stop()
    now = [sys.getrefcount(o) for o in watched]
    return min(windows), [n - c for n, c in zip(now, counts, strict=True)]


def swallow(fn: Callable[..., Any], *args: Any, **kwargs: Any) -> Callable[[], Any]:
    def action() -> Any:
        try:
            return fn(*args, **kwargs)
        except Exception as e:  # noqa: BLE001 - error paths are what is measured here
            return e

    return action


def cases(pdk: Any, services: SimpleNamespace) -> dict[str, tuple[Callable[[], Any], list[Any]]]:
    path = Path("/proj/demo/a.py")
    records = {"a": Record("a", "demo/a.py", path=path), "b": Record("b", "demo/a.py", path=path)}
    module = module_with("demo.a", a=lambda: None)
    services.imports.modules = {path: module}
    services.imports.errors = {}
    stored = {"a": Record("a", "demo/a.py", "OK"), "c": Record("c", "demo/c.py")}
    active = FakePdk("p", cells={"a": 1}, containers={"a": 2, "x": 3})
    error = ValueError("boom")
    cell = pdk._error_cell("a", "demo.a", error)
    bad = {"a": object()}
    counter = itertools.count()
    return {
        "error-cell": (swallow(cell, 1, k=2), [error, cell]),
        "error-cell-build": (swallow(pdk._error_cell, "a", "m", "text"), []),
        # A new name each call: the traceback entries' code objects stay bounded.
        "error-cell-names": (
            lambda: swallow(pdk._error_cell(f"c{next(counter)}", "m", "text"))(),
            [],
        ),
        "type-error": (swallow(pdk._find_cells, [], {}), []),
        "count-error": (swallow(pdk.register_cells, 1), []),
        "keyword-error": (swallow(pdk.activate_pdk_by_name, nom="x"), []),
        "sort-paths": (swallow(pdk._sort_paths, [path, "rel.py"]), [path]),
        "sort-paths-error": (swallow(pdk._sort_paths, [path, 1]), [path]),
        "import-modules": (
            swallow(pdk._import_modules, records, [], reload=False),
            [records, path],
        ),
        "handle-errors": (
            swallow(pdk._handle_import_errors, records, {path: ("demo.a", error)}),
            [records, error, path],
        ),
        "find-cells": (swallow(pdk._find_cells, records, {path: module}), [records, module]),
        "find-cells-error": (swallow(pdk._find_cells, bad, {}), [bad]),
        "database-updates": (
            swallow(pdk._get_database_updates, records, stored, [path]),
            [records, stored],
        ),
        "containers": (swallow(pdk._clean_containers_also_in_cells, active), [active]),
        "filter": (
            swallow(pdk._filter_records_for_non_pdk_project, records, active),
            [records, active],
        ),
        "get-pdk": (swallow(pdk.get_pdk), []),
        "register-cells": (swallow(pdk.register_cells, paths=[path]), [path]),
    }


# The case names, read once from the table itself with fakes that are undone at once.
with pytest.MonkeyPatch.context() as mp:
    CASES = list(cases(pdk_module, fakes.install(mp, pdk_module)))


@pytest.mark.parametrize("case", CASES)
def test_no_growth(pdk: Any, pdk_project: SimpleNamespace, case: str) -> None:
    services = pdk_project
    services.cg.records = lambda: {"a": Record("a", "demo/a.py", path=Path("/proj/demo/a.py"))}
    call, watched = cases(pdk, services)[case]

    def action() -> None:
        call()
        # The fakes keep a call log; it must not count as the module's memory.
        services.calls.clear()
        services.logger.lines.clear()
        fakes.ACTIVATIONS.clear()

    grown, refs = growth(action, watched)
    assert refs == [0] * len(watched)
    assert grown < 64 * 1024, f"{grown} bytes kept after {ROUNDS} calls"


def test_the_record_filter_on_standard_paths_keeps_no_memory(pdk: Any, services: Any) -> None:
    # The path shortcut's set-up is made once: what it interns or registers per call would grow
    # the interpreter's own tables (the interned strings) and show here.
    services.settings.project_dir = Path("/proj")
    records = {"a": Record("a", "demo/a.py", path=Path("/proj/demo/a.py"))}
    records["b"] = Record("b", "x.py", path=Path("/x.py"))
    base = FakePdk("base")
    for _ in range(200):
        pdk._filter_records_for_non_pdk_project(records, base)
    gc.collect()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(20_000):
        pdk._filter_records_for_non_pdk_project(records, base)
    services.calls.clear()
    gc.collect()
    grown = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert grown < 64 * 1024, f"{grown} bytes kept after 20,000 calls"
