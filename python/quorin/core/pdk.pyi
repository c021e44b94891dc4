"""PDK Utilties."""

# Runs as Python too (documentation and editor tools execute or import it), so
# annotations are not evaluated and every name it uses is imported for real.
from __future__ import annotations

import importlib as importlib
import sys as sys
import warnings as warnings
from collections import defaultdict as defaultdict
from collections.abc import Callable as Callable
from collections.abc import Iterable as Iterable
from copy import copy as copy
from copy import deepcopy as deepcopy
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

def get_pdk() -> lm.Pdk:
    """get_pdk() -> lm.Pdk

    Import a PDK by name.

    Returns:
        lm.Pdk: The imported PDK object.

    Raises:
        ImportError: If the specified PDK cannot be found."""

# get_base_pdk and _get_pdk are functools.cache wrappers at run time (with
# __wrapped__ and cache_clear); declared as plain functions so that editors show
# their real signature and return type.
def get_base_pdk() -> lm.Pdk | FrozenPdk:
    """get_base_pdk() -> lm.Pdk | FrozenPdk

    Get the base PDK, which is the generic PDK.

    Returns:
        lm.Pdk: The base PDK object."""

def register_cells(
    *, paths: Iterable[Path] = (), reload: bool = True
) -> tuple[list[str], list[str]]:
    """register_cells(*, paths: Iterable[Path] = (), bool reload: bool = True) -> tuple[list[str], list[str]]

    Register PDK cells.

    Args:
        paths: Paths to Python modules containing PDK cells.
            If empty, it will import all modules.
        reload: Whether to reload the modules we're importing from.

    Returns:
        tuple[list[str], list[str]]:
            - List of names of newly registered cells.
            - List of names of deleted cells."""

def activate_pdk_by_name(name: str) -> lm.Pdk:
    """activate_pdk_by_name(str name: str) -> lm.Pdk

    Activate a PDK by name (deprecated).

    Args:
        name: Name of the PDK to activate. (deprecated, will be ignored)

    Returns:
        lm.Pdk: The activated PDK object."""

class FrozenPdk(lm.Pdk):
    """A frozen PDK that prevents modification of its attributes."""

    def __setattr__(self, name: str, value: Any) -> None:
        """FrozenPdk.__setattr__(self, str name: str, value: Any) -> None"""

    def __delattr__(self, name: str) -> None:
        """FrozenPdk.__delattr__(self, str name: str) -> None"""

def _get_pdk() -> lm.Pdk:
    """_get_pdk() -> lm.Pdk"""

def _sort_paths(paths: Iterable[Path]) -> list[Path]:
    """_sort_paths(paths: Iterable[Path]) -> list[Path]"""

def _error_cell(funcname: str, modname: str, error: str | Exception) -> Callable[..., Any]:
    """_error_cell(str funcname: str, str modname: str, error: str | Exception) -> Callable"""

def _import_modules(
    static_records: dict[str, m.FactoryRecord], paths: list[Path], *, reload: bool = True
) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]:
    """_import_modules(dict static_records: dict[str, m.FactoryRecord], list paths: list[Path], *, bool reload: bool = True) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]"""

def _handle_import_errors(
    static_records: dict[str, m.FactoryRecord], errors: dict[Path, tuple[str, Exception]]
) -> tuple[dict[str, Callable[..., Any]], dict[str, m.FactoryRecord]]:
    """_handle_import_errors(dict static_records: dict[str, m.FactoryRecord], dict errors: dict[Path, tuple[str, Exception]]) -> tuple[dict[str, Callable], dict[str, m.FactoryRecord]]"""

def _find_cells(
    static_records: dict[str, m.FactoryRecord], modules: dict[Path, ModuleType]
) -> dict[str, Callable[..., Any]]:
    """_find_cells(dict static_records: dict[str, m.FactoryRecord], dict modules: dict[Path, ModuleType]) -> dict[str, Callable]"""

def _get_database_updates(
    static_records: dict[str, m.FactoryRecord],
    present_records: dict[str, m.FactoryRecord],
    paths: list[Path],
) -> tuple[list[m.FactoryRecord], list[str]]:
    """_get_database_updates(dict static_records: dict[str, m.FactoryRecord], dict present_records: dict[str, m.FactoryRecord], list paths: list[Path]) -> tuple[list[m.FactoryRecord], list[str]]"""

def _clean_containers_also_in_cells(pdk: lm.Pdk) -> None:
    """_clean_containers_also_in_cells(pdk: lm.Pdk) -> None"""

def _filter_records_for_non_pdk_project(
    static_records: dict[str, m.FactoryRecord], base_pdk: lm.Pdk | FrozenPdk
) -> dict[str, m.FactoryRecord]:
    """_filter_records_for_non_pdk_project(dict static_records: dict[str, m.FactoryRecord], base_pdk: lm.Pdk | FrozenPdk) -> dict[str, m.FactoryRecord]

    Filter records for non-PDK projects.

    When working in a project that is not a PDK, we only want to keep cells that:
    1. Have a source which is part of the current project (project_dir / project_name)
    2. OR are cells registered in the base_pdk.cells

    Args:
        static_records: The static records from the callgraph.
        base_pdk: The base PDK object.

    Returns:
        Filtered records containing only project cells and base PDK cells."""
