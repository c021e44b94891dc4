"""PDK Utilties."""

import importlib as importlib
import sys as sys
import warnings as warnings
from collections import defaultdict as defaultdict
from collections.abc import Callable as Callable
from collections.abc import Iterable as Iterable
from copy import copy as copy
from copy import deepcopy as deepcopy
from functools import _lru_cache_wrapper
from functools import cache as cache
from pathlib import Path as Path
from types import ModuleType as ModuleType
from typing import TYPE_CHECKING as TYPE_CHECKING
from typing import Any as Any
from typing import cast as cast

from frozendict import frozendict as frozendict

import lumset as lm
from quorin import models as m
from quorin import settings as settings
from quorin.core import imports as imports
from quorin.core.lazy import lazy_import as lazy_import
from quorin.core.models import register_models as register_models

__test__: dict[str, Any]

def get_pdk() -> lm.Pdk: ...

get_base_pdk: _lru_cache_wrapper[lm.Pdk | FrozenPdk]

def register_cells(
    *, paths: Iterable[Path] = (), reload: bool = True
) -> tuple[list[str], list[str]]: ...
def activate_pdk_by_name(name: str) -> lm.Pdk: ...

class FrozenPdk(lm.Pdk):
    def __setattr__(self, name: str, value: Any) -> None: ...
    def __delattr__(self, name: str) -> None: ...

_get_pdk: _lru_cache_wrapper[lm.Pdk]

def _sort_paths(paths: Iterable[Path]) -> list[Path]: ...
def _error_cell(funcname: str, modname: str, error: str | Exception) -> Callable[..., Any]: ...
def _import_modules(
    static_records: dict[str, m.FactoryRecord], paths: list[Path], *, reload: bool = True
) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]: ...
def _handle_import_errors(
    static_records: dict[str, m.FactoryRecord], errors: dict[Path, tuple[str, Exception]]
) -> tuple[dict[str, Callable[..., Any]], dict[str, m.FactoryRecord]]: ...
def _find_cells(
    static_records: dict[str, m.FactoryRecord], modules: dict[Path, ModuleType]
) -> dict[str, Callable[..., Any]]: ...
def _get_database_updates(
    static_records: dict[str, m.FactoryRecord],
    present_records: dict[str, m.FactoryRecord],
    paths: list[Path],
) -> tuple[list[m.FactoryRecord], list[str]]: ...
def _clean_containers_also_in_cells(pdk: lm.Pdk) -> None: ...
def _filter_records_for_non_pdk_project(
    static_records: dict[str, m.FactoryRecord], base_pdk: lm.Pdk | FrozenPdk
) -> dict[str, m.FactoryRecord]: ...
