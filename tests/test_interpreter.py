"""Where the interpreter's own machinery meets the module: unbounded re-entry, debuggers and
monitoring tools, and signals arriving while an outside call runs."""

from __future__ import annotations

import functools
import io
import pdb
import signal
import sys
from typing import Any

import pytest

from bench import baseline
from tests.conftest import with_fresh_resolvers
from tests.fakes import Record, install
from tests.shared import run_python

# Each site re-enters the module from one of its callbacks, without end, in a thread with the
# given stack; every one must end in RecursionError. `depth` counts the levels reached.
REENTRY = """
import sys, threading
from types import SimpleNamespace as NS
from pathlib import Path
import quorin.core.pdk as ext
from bench import baseline
from tests.fakes import FakePdk
module = {"ext": ext, "base": baseline}[sys.argv[3]]
sys.setrecursionlimit(int(sys.argv[1]))
depth = [0]
EMPTY = ({}, {})

class Record:
    name, source, status, message = "a", "a.py", "UNKNOWN", ""
    def __init__(self, path="/p/a.py"): self.path = path
    def absolute_source(self): return self.path

class Reentering:
    "A path whose relative_to re-enters the record filter."
    name = "a.py"
    def relative_to(self, other): return again()

def again():
    depth[0] += 1
    return SITES[site][1]()

def logger():
    again()
    return NS(info=print, debug=print, warning=print)

class Cells(dict):
    def update(self, *args): again()

pdk = FakePdk("p", cells=Cells())
module.get_pdk = module.get_base_pdk = lambda: pdk
module.settings = NS(get_project_dir=lambda: again() or Path("/p"), get_project_name=lambda: "p",
                     is_a_pdk=lambda: True)
module.cg = NS(create_callgraph=object, get_static_records=lambda g, paths: {})
module.db = NS(get_all_factories=dict, update_factories=lambda add, remove: None)
module.register_models = lambda g, reload: None

class Source(Record):
    def absolute_source(self): again(); return self.path

SITES = {
    "absolute_source": (None, lambda: module._import_modules({"a": Source()}, [])),
    "import_modules": (lambda **kw: again() or EMPTY, lambda: module._import_modules({}, [])),
    "get_project_dir": (None, lambda: module._filter_records_for_non_pdk_project({}, pdk)),
    "logger": (None, lambda: module._get_database_updates({}, {}, [])),
    "cells.update": (None, lambda: module.register_cells()),
    "relative_to": (None, lambda: module._filter_records_for_non_pdk_project(
        {"a": Record(Reentering())}, pdk)),
    "get_cells_from_regex": (None, lambda: module._handle_import_errors(
        {}, {Path("/p/a.py"): ("a", ImportError("x"))})),
}

def run(name):
    global site
    site = name
    depth[0] = 0
    module.imports = NS(import_modules=SITES[name][0] or (lambda **kw: EMPTY),
                        get_cells_from_regex=lambda path: (again(), [])[1])
    module.log = logger if name == "logger" else lambda: NS(info=len, debug=len, warning=len)
    try:
        SITES[name][1]()
        outcome.append((name, "returned", depth[0]))
    except RecursionError:
        outcome.append((name, "RecursionError", depth[0]))

outcome = []
def all_sites():
    for name in SITES:
        run(name)
stack = int(sys.argv[2])
if stack:
    threading.stack_size(stack)
t = threading.Thread(target=all_sites)
t.start()
t.join()
print(outcome)
"""


def reentry(limit: int, stack: int, module: str = "ext") -> list[tuple[str, str, int]]:
    result = run_python(
        f"import sys; sys.argv[1:] = {[str(limit), str(stack), module]!r}\n" + REENTRY
    )
    assert result.returncode == 0, result.stderr[-3000:]
    outcome: list[tuple[str, str, int]] = eval(result.stdout.strip().splitlines()[-1])
    return outcome


@pytest.mark.parametrize("stack", [256 * 1024, 1024 * 1024, 0], ids=["256K", "1M", "default"])
@pytest.mark.parametrize("limit", [10**3, 10**4, 10**5, 10**6])
def test_unbounded_reentry_ends_in_recursion_error(limit: int, stack: int) -> None:
    outcome = reentry(limit, stack)
    # The pattern search's failures are caught as any Exception is, RecursionError included.
    assert [(site, kind) for site, kind, _ in outcome] == [
        (site, "returned" if site == "get_cells_from_regex" else "RecursionError")
        for site, _, _ in outcome
    ] and len(outcome) == 7
    if (limit, stack) == (10**3, 0):
        # Within the interpreter's own budgets, the module goes as deep as Python code does.
        for (site, _, depth), (_, _, base) in zip(
            outcome, reentry(limit, stack, "base"), strict=True
        ):
            assert abs(depth - base) <= base // 10 + 2, (site, depth, base)


def test_pdb_next_steps_over_a_module_call_once() -> None:
    from quorin.core import pdk

    def caller() -> Any:
        result = pdk._sort_paths(["/b", "/a"])
        return result

    out = io.StringIO()
    debugger = pdb.Pdb(stdin=io.StringIO("next\nnext\ncontinue\n"), stdout=out, nosigint=True)
    debugger.use_rawinput = False
    debugger.runcall(caller)
    stops = [line for line in out.getvalue().splitlines() if line.startswith("-> ")]
    # One `next` from the call's line to the next line; the caller's own return comes after.
    assert stops[:2] == ['-> result = pdk._sort_paths(["/b", "/a"])', "-> return result"]
    assert out.getvalue().count("--Return--") == 1 and "--Call--" not in out.getvalue()


@pytest.mark.parametrize("tool", [sys.monitoring.DEBUGGER_ID, sys.monitoring.PROFILER_ID])
def test_only_tools_that_do_not_read_frames_see_module_functions_start(tool: int) -> None:
    from quorin.core import pdk

    mon = sys.monitoring
    seen: list[str] = []
    mon.use_tool_id(tool, "test")
    try:
        mon.register_callback(
            tool, mon.events.PY_START, lambda code, offset: seen.append(code.co_name)
        )
        mon.set_events(tool, mon.events.PY_START)
        pdk._sort_paths(["/a"])
    finally:
        mon.set_events(tool, 0)
        mon.register_callback(tool, mon.events.PY_START, None)
        mon.free_tool_id(tool)
    assert ("_sort_paths" in seen) == (tool != mon.DEBUGGER_ID)


class Interrupted(Exception):
    pass


@pytest.fixture
def signal_raises() -> Any:
    def handler(signum: int, frame: Any) -> None:
        raise Interrupted

    previous = signal.signal(signal.SIGUSR1, handler)
    yield functools.partial(signal.raise_signal, signal.SIGUSR1)
    signal.signal(signal.SIGUSR1, previous)


class Signalling(Record):
    """A record whose `absolute_source` is a built-in call that sends the signal."""

    absolute_source: Any = None


@pytest.mark.parametrize("site", ["get_pdk", "absolute_source"])
@pytest.mark.parametrize("module_name", ["extension", "baseline"])
def test_a_signal_is_handled_when_the_call_that_saw_it_returns(
    monkeypatch: pytest.MonkeyPatch, signal_raises: Any, site: str, module_name: str
) -> None:
    # A built-in callable sends it, so no Python code runs before the module's own check; the
    # next outside call (logged by the fakes) is not made.
    import quorin.core.pdk as extension

    module = with_fresh_resolvers(
        monkeypatch, extension if module_name == "extension" else baseline
    )
    services = install(monkeypatch, module)
    with pytest.raises(Interrupted):
        if site == "get_pdk":
            monkeypatch.setattr(module, "get_pdk", signal_raises)
            module.register_cells()
        else:
            monkeypatch.setattr(Signalling, "absolute_source", staticmethod(signal_raises))
            module._find_cells({"a": Signalling("a", "demo/a.py")}, {})
    assert services.calls == []


class ProfilerError(Exception):
    pass


@pytest.mark.parametrize("react", ["raise", "stop"])
@pytest.mark.parametrize("on", ["c_call", "c_return", "c_exception"])
def test_a_profiler_meets_a_module_function_as_a_builtin_one(react: str, on: str) -> None:
    from quorin.core import pdk

    def profiled(function: Any, argument: Any) -> Any:
        events: list[str] = []

        def profiler(frame: Any, event: str, arg: Any) -> None:
            if arg is function:
                events.append(event)
                if event == on:
                    if react == "raise":
                        raise ProfilerError
                    sys.setprofile(None)

        sys.setprofile(profiler)
        try:
            outcome: Any = ("returned", len(function(argument)))
        except (ProfilerError, TypeError) as e:
            outcome = ("raised", type(e).__name__)
        finally:
            left = sys.getprofile()
            sys.setprofile(None)
        return events, outcome, left is None

    # Not iterable: the call raises, and the profiler hears `c_exception`.
    argument = 1 if on == "c_exception" else ["/a"]
    assert profiled(pdk._sort_paths, argument) == profiled(sorted, argument)
