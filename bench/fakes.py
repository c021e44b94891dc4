"""Cheap stand-ins for every outside component, shared by the baseline and the extension.

They do as little as they can, so that a timing shows the module's own work: plain classes
with `__slots__`, answers prepared before the clock starts, and a logger whose methods are
C-level no-ops.
"""

from __future__ import annotations

from collections.abc import Callable, Iterator
from contextlib import contextmanager
from itertools import repeat
from pathlib import Path
from types import ModuleType
from typing import Any


class Record:
    """A factory record: the fields the module reads, and a precomputed path.

    `absolute_source` is a C-level callable that hands out the path, so that calling it costs
    next to nothing: a real record's method would do the path arithmetic the module is not
    responsible for.
    """

    __slots__ = ("name", "source", "status", "message", "path", "absolute_source")

    def __init__(
        self,
        name: str,
        source: str,
        status: str = "UNKNOWN",
        message: str = "",
        path: Path | None = None,
    ) -> None:
        self.name = name
        self.source = source
        self.status = status
        self.message = message
        self.path = Path(source) if path is None else path
        self.absolute_source: Callable[[], Path] = repeat(self.path).__next__

    def __eq__(self, other: object) -> bool:
        if other.__class__ is not Record:
            return NotImplemented
        return (
            self.name == other.name  # type: ignore[attr-defined]
            and self.source == other.source  # type: ignore[attr-defined]
            and self.status == other.status  # type: ignore[attr-defined]
            and self.message == other.message  # type: ignore[attr-defined]
        )

    __hash__ = None  # type: ignore[assignment]

    def __deepcopy__(self, memo: dict[int, Any]) -> Record:
        # Every field is immutable: a new record with the same fields is a deep copy.
        return Record(self.name, self.source, self.status, self.message, self.path)

    def fields(self) -> tuple[str, str, str, str]:
        return (self.name, self.source, self.status, self.message)

    def __repr__(self) -> str:
        return f"Record{self.fields()!r}"


class Models:
    """`quorin.models`: only the record class is used."""

    __slots__ = ()
    FactoryRecord = Record


class NullLogger:
    """Each level is the built-in `id`: called with one string, it does nothing of note."""

    __slots__ = ()
    debug = info = warning = id


NULL_LOGGER = NullLogger()


def log() -> NullLogger:
    return NULL_LOGGER


class Settings:
    __slots__ = ("project_name", "project_dir", "pdk_name", "is_pdk")

    def __init__(
        self,
        project_name: str = "proj",
        project_dir: Path = Path("/nonexistent-bench/work"),
        pdk_name: str = "benchpdk",
        is_pdk: bool = False,
    ) -> None:
        self.project_name = project_name
        self.project_dir = project_dir
        self.pdk_name = pdk_name
        self.is_pdk = is_pdk

    def get_project_name(self) -> str:
        return self.project_name

    def get_project_dir(self) -> Path:
        return self.project_dir

    def get_pdk_name(self) -> str:
        return self.pdk_name

    def is_a_pdk(self) -> bool:
        return self.is_pdk


class Imports:
    """`quorin.core.imports`, answering from prepared mappings keyed by path."""

    __slots__ = ("modules", "errors", "regex")

    def __init__(self) -> None:
        self.modules: dict[Path, ModuleType] = {}
        self.errors: dict[Path, tuple[str, Exception]] = {}
        # A path mapped to an exception makes the pattern search raise it.
        self.regex: dict[Path, list[str] | Exception] = {}

    def import_modules(
        self, *, paths: list[Path], reload: bool, from_project: bool
    ) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]:
        modules, errors = self.modules, self.errors
        return (
            {p: modules[p] for p in paths if p in modules},
            {p: errors[p] for p in paths if p in errors},
        )

    def get_cells_from_regex(self, path: Path) -> list[str]:
        names = self.regex.get(path, ())
        if isinstance(names, Exception):
            raise names
        return list(names)


class Database:
    """`quorin.core.database`: hands out the prepared stored records; writes are dropped."""

    __slots__ = ("records",)

    def __init__(self) -> None:
        self.records: dict[str, Record] = {}

    def get_all_factories(self) -> dict[str, Record]:
        return self.records

    def get_factories_by_name(self, *names: str) -> dict[str, Record]:
        records = self.records
        return {n: records[n] for n in names if n in records}

    def get_factories_by_source(self, *paths: Path) -> dict[Path, list[str]]:
        return {p: [] for p in paths}

    def update_factories(self, *, add: list[Record], remove: list[str]) -> None:
        pass


class Callgraph:
    """`quorin.core.callgraph`: hands out the static records prepared for the next run."""

    __slots__ = ("records",)

    def __init__(self) -> None:
        self.records: dict[str, Record] = {}

    def create_callgraph(self) -> object:
        return self

    def get_static_records(self, graph: object, *, paths: list[Path]) -> dict[str, Record]:
        return self.records


class Pdk:
    """A PDK object: a name, the two live registries and activation."""

    __slots__ = ("name", "cells", "containers")

    def __init__(
        self,
        name: str,
        cells: dict[str, Any] | None = None,
        containers: dict[str, Any] | None = None,
    ) -> None:
        self.name = name
        self.cells = {} if cells is None else cells
        self.containers = {} if containers is None else containers

    def activate(self) -> None:
        pass


def register_models(graph: object, *, reload: bool) -> None:
    pass


class Services:
    """One set of fakes, installed alike into every module that is measured."""

    def __init__(self) -> None:
        self.settings = Settings()
        self.imports = Imports()
        self.db = Database()
        self.cg = Callgraph()
        self.pdk = Pdk("benchpdk")
        self.base_pdk = Pdk("benchpdk")

    def globals(self) -> dict[str, object]:
        pdk, base_pdk = self.pdk, self.base_pdk

        def get_pdk() -> Pdk:
            return pdk

        def get_base_pdk() -> Pdk:
            return base_pdk

        return {
            "settings": self.settings,
            "imports": self.imports,
            "db": self.db,
            "cg": self.cg,
            "m": Models(),
            "log": log,
            "register_models": register_models,
            "get_pdk": get_pdk,
            "get_base_pdk": get_base_pdk,
        }


_MISSING = object()


@contextmanager
def installed(modules: list[ModuleType], services: Services) -> Iterator[None]:
    """Replaces the outside components in each module's globals, and puts them back after."""
    replacements = services.globals()
    saved: list[tuple[ModuleType, str, object]] = []
    try:
        for module in modules:
            for name, value in replacements.items():
                saved.append((module, name, vars(module).get(name, _MISSING)))
                setattr(module, name, value)
        yield
    finally:
        for module, name, value in reversed(saved):
            if value is _MISSING:
                delattr(module, name)
            else:
                setattr(module, name, value)


def factory(module: str | None, name: str = "cell") -> Callable[[], None]:
    """A cell or container factory whose `__module__` is `module`."""

    def made() -> None:
        pass

    made.__name__ = made.__qualname__ = name
    made.__module__ = module  # type: ignore[assignment]
    return made
