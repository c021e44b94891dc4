"""Cheap stand-ins for every outside component, installed alike into every module measured.

Records and PDKs have the shape of the product's own (`quorin.models.FactoryRecord`, a
dataclass; `lumset.Pdk`, a plain class with an instance `__dict__`), so that a workload takes
the paths through the module the product takes. The services answer from mappings prepared
before the clock starts, and the logger does nothing.
"""

from __future__ import annotations

from collections.abc import Callable, Iterator
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path
from types import ModuleType
from typing import Any

# Record sources and their paths. As the product's records do, a record remembers its path
# outside itself, by source, so that equality, copies and repr are those of its fields alone.
_paths: dict[str, Path] = {}


@dataclass
class Record:
    """`quorin.models.FactoryRecord`, with the path arithmetic of `absolute_source` done once."""

    name: str
    source: str
    status: str = "UNKNOWN"
    message: str = ""

    def absolute_source(self) -> Path:
        path = _paths.get(self.source)
        if path is None:
            path = _paths[self.source] = Path(self.source)
        return path


class Models:
    """`quorin.models`: only the record class is used."""

    FactoryRecord = Record


class NullLogger:
    """Each level is the built-in `id`: called with one string, it does nothing of note."""

    debug = info = warning = id


def log() -> NullLogger:
    return NullLogger()


class Settings:
    project_dir = Path("/nonexistent-bench/work")
    is_pdk = False

    def get_project_name(self) -> str:
        return "proj"

    def get_project_dir(self) -> Path:
        return self.project_dir

    def get_pdk_name(self) -> str:
        return "benchpdk"

    def is_a_pdk(self) -> bool:
        return self.is_pdk


class Imports:
    """`quorin.core.imports`, answering from prepared mappings keyed by path."""

    def __init__(self) -> None:
        self.modules: dict[Path, ModuleType] = {}
        self.errors: dict[Path, tuple[str, Exception]] = {}
        # A path mapped to None makes the pattern search fail.
        self.regex: dict[Path, list[str] | None] = {}

    def import_modules(
        self, *, paths: list[Path], reload: bool, from_project: bool
    ) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]:
        modules, errors = self.modules, self.errors
        return (
            {p: modules[p] for p in paths if p in modules},
            {p: errors[p] for p in paths if p in errors},
        )

    def get_cells_from_regex(self, path: Path) -> list[str]:
        names = self.regex.get(path, [])
        if names is None:
            raise SyntaxError(f"{path}: cannot be searched")
        return list(names)


class Database:
    """`quorin.core.database`: hands out the prepared stored records; writes are dropped."""

    def __init__(self) -> None:
        self.records: dict[str, Record] = {}

    def get_all_factories(self) -> dict[str, Record]:
        return self.records

    def get_factories_by_name(self, *names: str) -> dict[str, Record]:
        return {n: self.records[n] for n in names if n in self.records}

    def get_factories_by_source(self, *paths: Path) -> dict[Path, list[str]]:
        return {p: [] for p in paths}

    def update_factories(self, *, add: list[Record], remove: list[str]) -> None:
        pass


class Callgraph:
    """`quorin.core.callgraph`: hands out the static records prepared for the next run."""

    def __init__(self) -> None:
        self.records: dict[str, Record] = {}

    def create_callgraph(self) -> object:
        return self

    def get_static_records(self, graph: object, *, paths: list[Path]) -> dict[str, Record]:
        return self.records


class Pdk:
    """`lumset.Pdk`: a name, the two live registries and activation."""

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
    """One set of fakes."""

    def __init__(self) -> None:
        self.settings = Settings()
        self.imports = Imports()
        self.db = Database()
        self.cg = Callgraph()
        self.pdk = Pdk("benchpdk")
        self.base_pdk = Pdk("benchpdk")

    def globals(self) -> dict[str, object]:
        return {
            "settings": self.settings,
            "imports": self.imports,
            "db": self.db,
            "cg": self.cg,
            "m": Models(),
            "log": log,
            "register_models": register_models,
            "get_pdk": lambda: self.pdk,
            "get_base_pdk": lambda: self.base_pdk,
        }


@contextmanager
def installed(module: ModuleType, services: Services) -> Iterator[None]:
    """Replaces the outside components in the module's globals, and puts them back after."""
    saved = dict(vars(module))
    try:
        vars(module).update(services.globals())
        yield
    finally:
        namespace = vars(module)
        for name in services.globals():
            if name in saved:
                namespace[name] = saved[name]
            else:
                del namespace[name]


def factory(module: str | None, name: str = "cell") -> Callable[[], None]:
    """A cell or container factory whose `__module__` is `module`."""

    def made() -> None:
        pass

    made.__name__ = made.__qualname__ = name
    made.__module__ = module  # type: ignore[assignment]
    return made
