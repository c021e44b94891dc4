"""Profilers and sys.monitoring tools see the module's functions as they see Python code: each
scenario runs on the plain-Python baseline and on the extension, and the two must agree."""

from __future__ import annotations

import cProfile
import pstats
import sys
import traceback
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from pathlib import Path
from types import CodeType, ModuleType, SimpleNamespace
from typing import Any

import pytest

import quorin.core.pdk as extension
from bench import baseline
from tests import fakes
from tests.conftest import with_fresh_resolvers
from tests.fakes import Record, module_with
from tests.shared import FUNCTIONS

FROZEN_METHODS = ["FrozenPdk.__setattr__", "FrozenPdk.__delattr__"]
SORT_KEY = "_sort_paths.<locals>._sort_key"
MONITORED = ("PY_START", "PY_RETURN", "PY_UNWIND")
TOOL = 4  # a tool id no standard tool claims
Events = list[tuple[str, str]]


def cell() -> None:
    pass


def registration(module: ModuleType, services: SimpleNamespace) -> Any:
    """A run through every step, the two resolvers' inner functions included: one cell found,
    one file failing to import, one cell whose file the import service does not know."""
    services.settings.pdk_name = "generic"
    services.cg.records = lambda: {
        "a": Record("a", "demo/a.py"),
        "b": Record("b", "demo/b.py"),
        "c": Record("c", "demo/c.py"),
    }
    services.imports.modules = {Path("/proj/demo/a.py"): module_with("demo.a", a=cell)}
    services.imports.errors = {Path("/proj/demo/b.py"): ("demo.b", ImportError("no b"))}
    return module.register_cells()


def registration_and_errors(module: ModuleType, services: SimpleNamespace) -> Any:
    """The run, then an error cell it made and a change to the frozen base PDK, both raising."""
    result = registration(module, services)
    failures = []
    for attempt in (
        lambda: module.get_pdk().cells["b"](),
        lambda: setattr(module.get_base_pdk(), "name", "x"),
    ):
        try:
            attempt()
        except (ImportError, AttributeError) as e:
            failures.append(repr(e))
    return result, failures


def on_demand_failure(module: ModuleType, services: SimpleNamespace) -> Any:
    """The run, with the import `_find_cells` makes on demand failing."""

    def import_modules(**kwargs: Any) -> Any:
        if not kwargs["reload"]:
            raise LookupError("on demand")
        return {}, {}

    services.imports.import_modules = import_modules
    return registration(module, services)


def argument_error(module: ModuleType, services: SimpleNamespace) -> Any:
    """A call whose arguments do not bind: the caller's error, before the body begins (the
    texts differ by design)."""
    with pytest.raises(TypeError):
        module._find_cells({})


def function_name(code: CodeType) -> str | None:
    """What a module function's code is called here; None for any other code. The baseline's
    error cells share one code object of their own name."""
    if code.co_qualname in FUNCTIONS or code.co_qualname in [*FROZEN_METHODS, SORT_KEY]:
        return code.co_qualname
    if code.co_qualname == "_error_cell.<locals>.cell" or code.co_filename.endswith(".cpp"):
        return "error cell"
    return None


class ToolError(Exception):
    pass


@contextmanager
def tool(react: Callable[[str, str], Any]) -> Iterator[Events]:
    """A sys.monitoring tool recording the start, return and unwind events of module functions;
    each callback returns (or raises) what `react(event, name)` does."""
    mon = sys.monitoring
    seen: Events = []

    def listener(event: str) -> Callable[..., Any]:
        def callback(code: CodeType, offset: int, *arg: Any) -> Any:
            name = function_name(code)
            if name is None:
                return None
            seen.append((event, name))
            return react(event, name)

        return callback

    mon.use_tool_id(TOOL, "recorder")
    try:
        for event in MONITORED:
            mon.register_callback(TOOL, getattr(mon.events, event), listener(event))
        mon.set_events(TOOL, mon.events.PY_START | mon.events.PY_RETURN | mon.events.PY_UNWIND)
        yield seen
    finally:
        mon.set_events(TOOL, 0)
        for event in MONITORED:
            mon.register_callback(TOOL, getattr(mon.events, event), None)
        mon.free_tool_id(TOOL)
        # A disabled event stays off in Python code, for any later tool, until restarted.
        mon.restart_events()


def outcome(run: Callable[[], Any]) -> Any:
    try:
        return "returned", run()
    except Exception as e:  # noqa: BLE001 - failures are compared too
        names = [f.name for f in traceback.extract_tb(e.__traceback__)]
        kept = [n for n in names if n in FUNCTIONS or n == "callback"]
        return "raised", repr(e), kept


def on_both(
    monkeypatch: pytest.MonkeyPatch, run: Callable[[ModuleType, SimpleNamespace], Any]
) -> dict[str, Any]:
    """`run(module, services)` on the baseline, then on the extension, each with fresh fakes and
    resolver caches of its own."""
    results = {}
    for module in (baseline, extension):
        with monkeypatch.context() as mp:
            with_fresh_resolvers(mp, module)
            results[module.__name__] = run(module, fakes.install(mp, module))
    return results


def react_with(action: str | None, event: str | None, module: ModuleType) -> Callable[..., Any]:
    """A tool's answer to the events of `_find_cells`: raising, disabling the event, or calling
    `module` from inside the callback (which fires nothing, for Python code)."""

    def react(seen: str, name: str) -> Any:
        if seen != event or name != "_find_cells":
            return None
        if action == "raise":
            raise ToolError(event)
        if action == "disable":
            return sys.monitoring.DISABLE
        return module._sort_paths([])

    return react


@pytest.mark.parametrize(
    "scenario, action, event",
    [
        (registration_and_errors, None, None),
        (on_demand_failure, None, None),
        (argument_error, None, None),
        (registration, "raise", "PY_START"),
        (registration, "raise", "PY_RETURN"),
        (on_demand_failure, "raise", "PY_UNWIND"),
        (registration, "disable", "PY_START"),
        (registration, "disable", "PY_RETURN"),
        (on_demand_failure, "disable", "PY_UNWIND"),
        (registration, "call the module", "PY_START"),
    ],
    ids=lambda v: getattr(v, "__name__", v),
)
def test_a_tool_sees_what_it_sees_of_python_code(
    monkeypatch: pytest.MonkeyPatch, scenario: Callable[..., Any], action: Any, event: Any
) -> None:
    def twice(module: ModuleType, services: SimpleNamespace) -> Any:
        # The second run shows what the first one's callbacks left behind.
        with tool(react_with(action, event, module)) as seen:
            runs = [outcome(lambda: scenario(module, services)) for _ in range(2)]
        return runs, seen

    results = on_both(monkeypatch, twice)
    assert results["quorin.core.pdk"] == results["bench.baseline"]
    runs, seen = results["quorin.core.pdk"]
    assert seen[:1] == ([] if scenario is argument_error else [("PY_START", "register_cells")])
    if scenario is on_demand_failure and action is None:
        assert [e for e in seen if e[0] == "PY_UNWIND"] == 2 * [
            ("PY_UNWIND", "_find_cells"),
            ("PY_UNWIND", "register_cells"),
        ]
    if scenario is registration_and_errors:
        names = {name for _, name in seen}
        assert names == set(FUNCTIONS) - {"activate_pdk_by_name"} | {
            "FrozenPdk.__setattr__",
            "error cell",
            SORT_KEY,
        }


def profile(module: ModuleType, services: SimpleNamespace) -> dict[str, Any]:
    """Of each module function and fake that ran: its call count, cumulative time, and the
    count and cumulative time of each caller's calls of it."""
    profiler = cProfile.Profile()
    profiler.runcall(registration, module, services)
    stats: dict[Any, Any] = pstats.Stats(profiler).stats  # type: ignore[attr-defined]

    def name(key: tuple[str, int, str]) -> str | None:
        file, _, function = key
        return function if function in FUNCTIONS or file == fakes.__file__ else None

    return {
        name(key): (calls, cumulative, {name(k): v for k, v in callers.items() if name(k)})
        for key, (_, calls, _, cumulative, callers) in stats.items()
        if name(key)
    }


def test_a_profile_lists_each_function_with_its_callees(monkeypatch: pytest.MonkeyPatch) -> None:
    def calls_and_callers(entries: dict[str, Any]) -> Any:
        return {
            n: (calls, {c: v[1] for c, v in callers.items()})
            for n, (calls, _, callers) in entries.items()
        }

    profiles = on_both(monkeypatch, profile)
    ours = profiles["quorin.core.pdk"]
    assert calls_and_callers(ours) == calls_and_callers(profiles["bench.baseline"])
    assert {"register_cells", "_find_cells", "update_factories"} <= ours.keys()
    # A caller's cumulative time holds each callee's calls made from it.
    for callee, (_, _, callers) in ours.items():
        for caller, (_, _, _, time_in_callee) in callers.items():
            assert ours[caller][1] >= time_in_callee, (caller, callee)
