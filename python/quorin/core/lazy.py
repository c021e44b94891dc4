"""Deferred imports.

Modules bind their collaborators at import time with `lazy_import`, so that importing one part of
the product never drags in the rest. The target is looked up in `sys.modules` at every use rather
than cached in the proxy: a module replaced or reloaded there is honoured at once, and two threads
that race on the first use at worst both ask the import system, which serialises the import itself.
"""

import importlib
import sys
from types import ModuleType
from typing import Any


def _load(name: str) -> ModuleType:
    module = sys.modules.get(name)
    if module is None:
        return importlib.import_module(name)
    # Another thread may still be executing the module body; the import system waits for it.
    if getattr(getattr(module, "__spec__", None), "_initializing", False):
        return importlib.import_module(name)
    return module


class LazyModule:
    """Stands for a module; attribute reads, writes and deletions go to the imported module."""

    __slots__ = ("_lazy_name",)

    def __init__(self, name: str) -> None:
        object.__setattr__(self, "_lazy_name", name)

    def __getattr__(self, attr: str) -> Any:
        return getattr(_load(self._lazy_name), attr)

    def __setattr__(self, attr: str, value: Any) -> None:
        setattr(_load(self._lazy_name), attr, value)

    def __delattr__(self, attr: str) -> None:
        delattr(_load(self._lazy_name), attr)

    def __dir__(self) -> list[str]:
        return dir(_load(self._lazy_name))

    def __repr__(self) -> str:
        return f"<lazy module {self._lazy_name!r}>"


class LazyAttribute:
    """Stands for one attribute of a module: calls it, and forwards attribute reads to it."""

    __slots__ = ("_lazy_name", "_lazy_attr")

    def __init__(self, name: str, attr: str) -> None:
        object.__setattr__(self, "_lazy_name", name)
        object.__setattr__(self, "_lazy_attr", attr)

    def _target(self) -> Any:
        return getattr(_load(self._lazy_name), self._lazy_attr)

    def __call__(self, *args: Any, **kwargs: Any) -> Any:
        return self._target()(*args, **kwargs)

    def __getattr__(self, attr: str) -> Any:
        return getattr(self._target(), attr)

    def __repr__(self) -> str:
        return f"<lazy {self._lazy_name}.{self._lazy_attr}>"


def lazy_import(module: str, attr: str | None = None) -> Any:
    """Return a proxy for `module`, or for `module.attr`, that imports the module on first use."""
    if attr is None:
        return LazyModule(module)
    return LazyAttribute(module, attr)
