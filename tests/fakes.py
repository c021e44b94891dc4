"""Fakes of the outside components, installed by replacing the module's globals.

Every fake appends what it is asked to one shared list of calls, so tests can
assert the order of outside calls across components.
"""

from __future__ import annotations

import copy as _copy
from collections.abc import Callable, Iterable
from dataclasses import dataclass, field
from pathlib import Path
from types import ModuleType, SimpleNamespace
from typing import Any

Calls = list[tuple[Any, ...]]


class CallLog(list):  # type: ignore[type-arg]
    """The shared call log; `recording = False` stops it growing in long runs. `then(n, action)`
    runs `action` once, right after the n-th call is logged."""

    recording = True
    made = 0
    at = 0
    action: Callable[[], None] | None = None

    def append(self, item: Any) -> None:
        if self.recording:
            super().append(item)
        self.made += 1
        if self.made == self.at and self.action is not None:
            action, self.action = self.action, None
            action()

    def then(self, n: int, action: Callable[[], None]) -> None:
        self.at, self.action = self.made + n, action


@dataclass(eq=True)
class Record:
    """A factory record whose absolute path is given, not derived."""

    name: str
    source: str
    status: str = "UNKNOWN"
    message: str = ""
    path: Any = field(default=None, compare=False, repr=False)
    calls: Calls | None = field(default=None, compare=False, repr=False)

    def absolute_source(self) -> Any:
        if self.calls is not None:
            self.calls.append(("absolute_source", self.name))
        return self.path if self.path is not None else Path("/proj") / self.source

    def __deepcopy__(self, memo: dict[int, Any]) -> Record:
        # The call log is shared, not copied.
        return Record(self.name, self.source, self.status, self.message, self.path, self.calls)


class FakeModels:
    """Stands for `quorin.models`: `m.FactoryRecord(...)` builds a Record."""

    def __init__(self, calls: Calls) -> None:
        self.calls = calls

    def FactoryRecord(self, *args: Any, **kwargs: Any) -> Record:  # noqa: N802
        self.calls.append(("FactoryRecord", args, tuple(kwargs.items())))
        return Record(*args, **kwargs)


class FakeSettings:
    def __init__(
        self,
        calls: Calls,
        pdk_name: Any = "mypdk",
        project_name: Any = "demo",
        project_dir: Any = Path("/proj"),
        is_pdk: Any = False,
    ) -> None:
        self.calls = calls
        self.pdk_name = pdk_name
        self.project_name = project_name
        self.project_dir = project_dir
        self.is_pdk = is_pdk

    def get_pdk_name(self) -> Any:
        self.calls.append(("settings.get_pdk_name",))
        return self.pdk_name

    def get_project_name(self) -> Any:
        self.calls.append(("settings.get_project_name",))
        return self.project_name

    def get_project_dir(self) -> Any:
        self.calls.append(("settings.get_project_dir",))
        return self.project_dir

    def is_a_pdk(self) -> Any:
        self.calls.append(("settings.is_a_pdk",))
        return self.is_pdk


class FakeLogger:
    def __init__(self, calls: Calls) -> None:
        self.calls = calls
        self.lines: list[tuple[str, str]] = []

    def _write(self, level: str, text: Any) -> None:
        self.calls.append(("log." + level, text))
        if getattr(self.calls, "recording", True):
            self.lines.append((level, text))

    def debug(self, text: Any) -> None:
        self._write("debug", text)

    def info(self, text: Any) -> None:
        self._write("info", text)

    def warning(self, text: Any) -> None:
        self._write("warning", text)


class FakePdk:
    """A layout-library PDK: state in the instance dict, like the real class."""

    def __init__(
        self, name: str, cells: dict | None = None, containers: dict | None = None
    ) -> None:
        self.name = name
        self.cells = {} if cells is None else cells
        self.containers = {} if containers is None else containers
        self.activations = 0

    def activate(self) -> None:
        self.activations += 1
        ACTIVATIONS.append(self)


ACTIVATIONS: list[Any] = []


class FakeImports:
    """`quorin.core.imports`: answers from prepared mappings keyed by path."""

    def __init__(self, calls: Calls) -> None:
        self.calls = calls
        self.modules: dict[Any, Any] = {}
        self.errors: dict[Any, Any] = {}
        self.regex: dict[Any, Any] = {}
        self.result: Any = None  # replaces the (modules, errors) answer when set

    def import_modules(self, **kwargs: Any) -> Any:
        self.calls.append(("imports.import_modules", tuple(kwargs.items())))
        if self.result is not None:
            return self.result
        paths = kwargs["paths"]
        mods = {p: self.modules[p] for p in paths if p in self.modules}
        errs = {p: self.errors[p] for p in paths if p in self.errors}
        return mods, errs

    def get_cells_from_regex(self, path: Any) -> Any:
        self.calls.append(("imports.get_cells_from_regex", path))
        found = self.regex.get(path, [])
        if isinstance(found, BaseException):
            raise found
        return found


class FakeDatabase:
    def __init__(self, calls: Calls) -> None:
        self.calls = calls
        self.records: dict[str, Any] = {}
        self.by_source: dict[Any, list[str]] = {}

    def get_factories_by_name(self, *names: str) -> dict[str, Any]:
        self.calls.append(("db.get_factories_by_name", names))
        return {n: _copy.deepcopy(self.records[n]) for n in names if n in self.records}

    def get_factories_by_source(self, *paths: Any) -> dict[Any, list[str]]:
        self.calls.append(("db.get_factories_by_source", paths))
        return {p: list(self.by_source.get(p, [])) for p in paths}

    def get_all_factories(self) -> dict[str, Any]:
        self.calls.append(("db.get_all_factories",))
        return {n: _copy.deepcopy(r) for n, r in self.records.items()}

    def update_factories(self, **kwargs: Any) -> None:
        self.calls.append(("db.update_factories", tuple(kwargs.items())))
        for r in kwargs["add"]:
            self.records[r.name] = _copy.deepcopy(r)
        for n in kwargs["remove"]:
            self.records.pop(n, None)


class FakeCallgraph:
    def __init__(self, calls: Calls) -> None:
        self.calls = calls
        self.graph = object()
        self.records: Callable[[], dict[str, Any]] = dict

    def create_callgraph(self) -> Any:
        self.calls.append(("cg.create_callgraph",))
        return self.graph

    def get_static_records(self, graph: Any, **kwargs: Any) -> Any:
        self.calls.append(("cg.get_static_records", graph, tuple(kwargs.items())))
        return self.records()


class FakeImportlib:
    """Imports from a table of module factories; records every call."""

    def __init__(self, calls: Calls, sys_modules: dict[str, Any], factories: dict[str, Any]):
        self.calls = calls
        self.sys_modules = sys_modules
        self.factories = factories

    def import_module(self, name: str) -> Any:
        self.calls.append(("import_module", name))
        if name not in self.sys_modules:
            self.sys_modules[name] = self.factories[name]()
        return self.sys_modules[name]

    def reload(self, module: Any) -> Any:
        self.calls.append(("reload", module.__name__))
        fresh = self.factories[module.__name__]()
        self.sys_modules[module.__name__] = fresh
        return fresh


def module_with(name: str, **attrs: Any) -> ModuleType:
    mod = ModuleType(name)
    for k, v in attrs.items():
        setattr(mod, k, v)
    return mod


def install(monkeypatch: Any, module: Any, **overrides: Any) -> SimpleNamespace:
    """Replaces every outside component of `module` by a fake; returns them."""
    calls: Calls = CallLog()
    logger = FakeLogger(calls)

    def log() -> FakeLogger:
        calls.append(("log",))
        return logger

    def register_models(graph: Any, **kwargs: Any) -> None:
        calls.append(("register_models", graph, tuple(kwargs.items())))

    services = SimpleNamespace(
        calls=calls,
        logger=logger,
        settings=FakeSettings(calls),
        imports=FakeImports(calls),
        db=FakeDatabase(calls),
        cg=FakeCallgraph(calls),
        m=FakeModels(calls),
        register_models=register_models,
        log=log,
    )
    for key, value in overrides.items():
        setattr(services, key, value)
    for name in ("settings", "imports", "db", "cg", "m", "log", "register_models"):
        monkeypatch.setattr(module, name, getattr(services, name))
    return services


def names(records: Iterable[Any]) -> list[str]:
    return [r.name for r in records]


def raising(error: BaseException) -> Callable[..., Any]:
    """A stand-in for an outside call that fails with `error`, whatever it is given."""

    def fail(*args: Any, **kwargs: Any) -> Any:
        raise error

    return fail
