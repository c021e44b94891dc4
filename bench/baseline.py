"""PDK Utilties."""

from __future__ import annotations

import importlib
import sys
import warnings
from collections import defaultdict
from collections.abc import Callable, Iterable
from copy import copy, deepcopy
from functools import cache
from pathlib import Path
from types import ModuleType
from typing import TYPE_CHECKING, Any, cast

# The future flag acts at compile time; dropping its name keeps this namespace
# the same, name for name and in order, as the native module's. (Compiled by Cython, the flag
# binds no name.)
globals().pop("annotations", None)

if TYPE_CHECKING:
    # Bound in the native module's order, not import-sorted.
    import lumset as lm  # noqa: I001
    from frozendict import frozendict
    import quorin.core.callgraph as cg
    import quorin.core.database as db
    import quorin.models as m
    from quorin import settings
    from quorin.core import imports
    from quorin.core.models import register_models
    from quorin.logger import get_logger as log
else:
    from quorin.core.lazy import lazy_import

    m = lazy_import("quorin.models")
    cg = lazy_import("quorin.core.callgraph")
    lm = lazy_import("lumset")
    log = lazy_import("quorin.logger", "get_logger")
    settings = lazy_import("quorin.settings")
    frozendict = lazy_import("frozendict", "frozendict")
    imports = lazy_import("quorin.core.imports")
    db = lazy_import("quorin.core.database")
    register_models = lazy_import("quorin.core.models", "register_models")


def get_pdk() -> lm.Pdk:
    """get_pdk() -> lm.Pdk

    Import a PDK by name.

    Returns:
        lm.Pdk: The imported PDK object.

    Raises:
        ImportError: If the specified PDK cannot be found."""
    get_base_pdk()
    pdk = _get_pdk()
    pdk.activate()
    log().debug(f"Activated PDK: {pdk.name}")
    return pdk


@cache
def get_base_pdk() -> lm.Pdk | FrozenPdk:
    """get_base_pdk() -> lm.Pdk | FrozenPdk

    Get the base PDK, which is the generic PDK.

    Returns:
        lm.Pdk: The base PDK object."""
    pdk = _get_pdk()
    if settings.is_a_pdk():
        return pdk

    # An uncached resolution reloads the PDK's module, so the base PDK is a
    # separate object that project code cannot reach through the cache.
    base_pdk = _get_pdk.__wrapped__()
    if base_pdk is pdk:
        base_pdk = copy(base_pdk)

    frozen_attrs = {}
    for k, v in base_pdk.__dict__.items():
        if isinstance(v, dict):
            frozen_attrs[k] = frozendict(v)
        elif isinstance(v, list):
            frozen_attrs[k] = tuple(v)
        else:
            frozen_attrs[k] = v
    # Written straight into __dict__: the PDK's own setters must not see them.
    base_pdk.__dict__.update(frozen_attrs)
    base_pdk.__class__ = FrozenPdk
    base_pdk = cast(FrozenPdk, base_pdk)

    # The reload may have activated the fresh instance; the project PDK stays active.
    pdk.activate()
    log().debug(f"Froze base PDK: {base_pdk.name}")
    return base_pdk


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
            - List of names of deleted cells."""  # noqa: E501
    reload = bool(reload)
    # Every later step sees the same list, even when a generator was passed.
    paths = list(paths)
    pdk = get_pdk()
    base_pdk = get_base_pdk()
    G = cg.create_callgraph()
    static_records = cg.get_static_records(G, paths=paths)
    if not settings.is_a_pdk():
        static_records = _filter_records_for_non_pdk_project(static_records, base_pdk)

    modules, errors = _import_modules(static_records, paths, reload=reload)
    error_cells, error_records = _handle_import_errors(static_records, errors)
    static_records.update(error_records)

    new_cells = _find_cells(static_records, modules)
    # A file that failed to import wins over whatever was found under that name.
    new_cells.update(error_cells)
    pdk.cells.update({name: cell for name, cell in new_cells.items() if name in static_records})

    if paths:
        # Only the records the given paths concern, by name and by stored source.
        present_records = db.get_factories_by_name(*static_records) if static_records else {}
        source_names_map = db.get_factories_by_source(*paths)
        extra_names = []
        for names in source_names_map.values():
            for name in names:
                if name not in present_records:
                    extra_names.append(name)
        if extra_names:
            present_records.update(db.get_factories_by_name(*extra_names))
    else:
        present_records = db.get_all_factories()

    add, remove = _get_database_updates(static_records, present_records, paths)
    db.update_factories(add=add, remove=remove)
    for name in remove:
        if name in pdk.cells:
            del pdk.cells[name]
    added = [r.name for r in add]

    if reload:
        register_models(G, reload=True)
    _clean_containers_also_in_cells(pdk)
    return added, remove


def activate_pdk_by_name(name: str) -> lm.Pdk:
    """activate_pdk_by_name(str name: str) -> lm.Pdk

    Activate a PDK by name (deprecated).

    Args:
        name: Name of the PDK to activate. (deprecated, will be ignored)

    Returns:
        lm.Pdk: The activated PDK object."""
    if type(name) is not "".__class__:  # exact str; no global can shadow it
        raise TypeError(
            f"Argument 'name' has incorrect type (expected str, got {type(name).__name__})"
        )
    pdk_name = settings.get_pdk_name()
    msg = (
        f"The given 'name' argument '{name}' will be ignored. "
        f"Using '{pdk_name}' instead (as configured in 'pyproject.toml')."
    )
    extra_msg = "" if pdk_name == name else msg
    warnings.warn(
        "activate_pdk_by_name is deprecated, use get_pdk() instead. " + extra_msg,
        DeprecationWarning,
        stacklevel=2,
    )
    return get_pdk()


class FrozenPdk(lm.Pdk):
    """A frozen PDK that prevents modification of its attributes."""

    def __setattr__(self, name: str, value: Any) -> None:
        """FrozenPdk.__setattr__(self, str name: str, value: Any) -> None"""
        if type(name) is not "".__class__:  # exact str; no global can shadow it
            raise TypeError(
                f"Argument 'name' has incorrect type (expected str, got {type(name).__name__})"
            )
        raise AttributeError("Frozen PDK cannot be modified.")

    def __delattr__(self, name: str) -> None:
        """FrozenPdk.__delattr__(self, str name: str) -> None"""
        if type(name) is not "".__class__:  # exact str; no global can shadow it
            raise TypeError(
                f"Argument 'name' has incorrect type (expected str, got {type(name).__name__})"
            )
        raise AttributeError("Frozen PDK cannot be modified.")


@cache
def _get_pdk() -> lm.Pdk:
    """_get_pdk() -> lm.Pdk"""
    import_name = settings.get_pdk_name()
    project_name = settings.get_project_name()
    submod = None
    generic_pdks = ("generic", "gpdk")

    # A project that is itself named like a generic PDK means its own package.
    if import_name.lower() in generic_pdks and project_name.lower() not in generic_pdks:
        lib_name = "lumset.generic_tech" if import_name.lower() == "generic" else "lumset.gpdk"
        needs_reload = lib_name in sys.modules
        generic_tech = importlib.import_module(lib_name)
        if needs_reload:
            generic_tech = importlib.reload(generic_tech)
        # Past the library's cache: every resolution builds a fresh PDK.
        pdk = generic_tech.get_generic_pdk.__wrapped__()
        return pdk

    needs_reload = import_name in sys.modules
    module = importlib.import_module(import_name)
    if needs_reload:
        module = importlib.reload(module)
        # Reloading a package leaves its submodules alone; the PDK usually lives
        # in .pdk, so that one is reloaded too.
        if f"{import_name}.pdk" in sys.modules:
            submod = importlib.reload(sys.modules[f"{import_name}.pdk"])
    if not hasattr(module, "PDK") and not hasattr(submod, "PDK"):
        msg = f"Module '{import_name}' does not expose a PDK in its __init__.py."
        raise ImportError(msg)
    pdk = submod.PDK if hasattr(submod, "PDK") else module.PDK
    return pdk


def _sort_paths(paths: Iterable[Path]) -> list[Path]:
    """_sort_paths(paths: Iterable[Path]) -> list[Path]"""

    def _sort_key(p: Path) -> tuple[int, int, str]:
        # Shallower files first: a package's modules before those of its subpackages.
        return (len(p.parts), len(str(p)), str(p))

    return sorted([Path(p).resolve() for p in paths], key=_sort_key)


def _error_cell(funcname: str, modname: str, error: str | Exception) -> Callable:
    """_error_cell(str funcname: str, str modname: str, error: str | Exception) -> Callable"""
    if type(funcname) is not "".__class__:  # exact str; no global can shadow it
        raise TypeError(
            f"Argument 'funcname' has incorrect type (expected str, got {type(funcname).__name__})"
        )
    if type(modname) is not "".__class__:  # exact str; no global can shadow it
        raise TypeError(
            f"Argument 'modname' has incorrect type (expected str, got {type(modname).__name__})"
        )
    if isinstance(error, str):
        error = RuntimeError(error)
    # Each raise prepends frames to the instance's traceback; starting every
    # call from the traceback it had here keeps it from growing without bound.
    # `raise` goes by the object's type, not by the class it claims, and so
    # does this.
    is_exception = issubclass(type(error), BaseException)
    saved_tb = BaseException.__traceback__.__get__(error) if is_exception else None

    def cell(*args: Any, **kwargs: Any) -> lm.Component:
        if is_exception:
            raise BaseException.with_traceback(error, saved_tb)
        raise error

    cell.__name__ = funcname
    cell.__qualname__ = funcname
    cell.__module__ = modname
    return cell


def _import_modules(
    static_records: dict[str, m.FactoryRecord],
    paths: list[Path],
    *,
    reload: bool = True,
) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]:
    """_import_modules(dict static_records: dict[str, m.FactoryRecord], list paths: list[Path], *, bool reload: bool = True) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]"""  # noqa: E501
    reload = bool(reload)
    if type(static_records) is not {}.__class__:  # exact dict
        raise TypeError(
            "Argument 'static_records' has incorrect type "
            f"(expected dict, got {type(static_records).__name__})"
        )
    if type(paths) is not [].__class__:  # exact list
        raise TypeError(
            f"Argument 'paths' has incorrect type (expected list, got {type(paths).__name__})"
        )
    _paths = list({record.absolute_source(): None for record in static_records.values()})
    if paths:
        _paths = [p for p in _paths if p in paths]

    raw_modules, raw_errors = imports.import_modules(
        paths=_sort_paths(_paths), reload=reload, from_project=False
    )
    # Keyed and ordered by the record paths, whatever form the service reports.
    modules = {}
    for p in _paths:
        module = raw_modules.get(p, None)
        if module:
            modules[p] = module
    errors = {}
    for p in _paths:
        error = raw_errors.get(p, None)
        if error:
            errors[p] = error
    return modules, errors


def _handle_import_errors(
    static_records: dict[str, m.FactoryRecord],
    errors: dict[Path, tuple[str, Exception]],
) -> tuple[dict[str, Callable], dict[str, m.FactoryRecord]]:
    """_handle_import_errors(dict static_records: dict[str, m.FactoryRecord], dict errors: dict[Path, tuple[str, Exception]]) -> tuple[dict[str, Callable], dict[str, m.FactoryRecord]]"""  # noqa: E501
    if type(static_records) is not {}.__class__:  # exact dict
        raise TypeError(
            "Argument 'static_records' has incorrect type "
            f"(expected dict, got {type(static_records).__name__})"
        )
    if type(errors) is not {}.__class__:  # exact dict
        raise TypeError(
            f"Argument 'errors' has incorrect type (expected dict, got {type(errors).__name__})"
        )
    error_cells = {}
    error_records = {}
    static_records_by_path = defaultdict(list)
    for record in static_records.values():
        static_records_by_path[record.absolute_source()].append(record)

    for path, (modname, error) in errors.items():
        log().warning(f"{path.name}: {error}")
        # The call graph misses cells of a file that does not import; the
        # pattern search finds them, and is only a best effort.
        try:
            regex_names = imports.get_cells_from_regex(path)
        except Exception:
            regex_names = []
        static_names = [record.name for record in static_records_by_path.get(path, [])]
        names = set(regex_names)
        names.update(static_names)
        for name in names:
            cell = _error_cell(name, modname, error)
            error_cells[name] = cell
            record = static_records.get(name)
            if record is None:
                record = m.FactoryRecord(
                    name=name, source=str(path), status="ERROR", message=str(error)
                )
            else:
                # The caller's records stay as the call graph gave them.
                record = deepcopy(record)
                record.status = "ERROR"
                record.message = str(error)
            error_records[name] = record
    return error_cells, error_records


def _find_cells(
    static_records: dict[str, m.FactoryRecord], modules: dict[Path, ModuleType]
) -> dict[str, Callable]:
    """_find_cells(dict static_records: dict[str, m.FactoryRecord], dict modules: dict[Path, ModuleType]) -> dict[str, Callable]"""  # noqa: E501
    if type(static_records) is not {}.__class__:  # exact dict
        raise TypeError(
            "Argument 'static_records' has incorrect type "
            f"(expected dict, got {type(static_records).__name__})"
        )
    if type(modules) is not {}.__class__:  # exact dict
        raise TypeError(
            f"Argument 'modules' has incorrect type (expected dict, got {type(modules).__name__})"
        )
    new_cells = {}
    for name, static_record in static_records.items():
        if static_record.status != "UNKNOWN":
            continue
        path = static_record.absolute_source()
        mod = modules.get(path)
        if mod is None:
            # Not among the run's files: import it now, without reloading.
            extra_modules, _ = imports.import_modules(
                paths=[path], reload=False, from_project=False
            )
            modules.update(extra_modules)
            mod = extra_modules.get(path)
            if mod is None:
                static_record.status = "ERROR"
                static_record.message = (
                    f"Module for cell '{static_record.name}' with path {path} not found."
                )
                log().warning(static_record.message)
                error = ModuleNotFoundError(static_record.message)
                new_cells[name] = _error_cell(name, path.name, error)
                continue
        cell = getattr(mod, name, None)
        if cell is None:
            static_record.status = "ERROR"
            static_record.message = f"Cell '{static_record.name}' not found in '{path}'."
            log().warning(static_record.message)
            error = ImportError(static_record.message)
            new_cells[name] = _error_cell(name, path.name, error)
            continue
        new_cells[name] = cell
    return new_cells


def _get_database_updates(
    static_records: dict[str, m.FactoryRecord],
    present_records: dict[str, m.FactoryRecord],
    paths: list[Path],
) -> tuple[list[m.FactoryRecord], list[str]]:
    """_get_database_updates(dict static_records: dict[str, m.FactoryRecord], dict present_records: dict[str, m.FactoryRecord], list paths: list[Path]) -> tuple[list[m.FactoryRecord], list[str]]"""  # noqa: E501
    if type(static_records) is not {}.__class__:  # exact dict
        raise TypeError(
            "Argument 'static_records' has incorrect type "
            f"(expected dict, got {type(static_records).__name__})"
        )
    if type(present_records) is not {}.__class__:  # exact dict
        raise TypeError(
            "Argument 'present_records' has incorrect type "
            f"(expected dict, got {type(present_records).__name__})"
        )
    if type(paths) is not [].__class__:  # exact list
        raise TypeError(
            f"Argument 'paths' has incorrect type (expected list, got {type(paths).__name__})"
        )
    new_record_names = set(static_records) - set(present_records)
    log().info(f"new factories: {sorted(new_record_names)}")
    new_records = [static_records[name] for name in new_record_names]

    updated_record_names = set(static_records) & set(present_records)
    updated_records = []
    for name in updated_record_names:
        # A moved cell, or one whose file was asked for, is written as the run
        # found it.
        if (
            static_records[name].source != present_records[name].source
            or static_records[name].absolute_source() in paths
        ):
            updated_records.append(static_records[name])
            continue
        # Otherwise the stored outcome stands, and only a real change is written.
        static_records[name].status = present_records[name].status
        static_records[name].message = present_records[name].message
        if static_records[name] == present_records[name]:
            continue
        updated_records.append(static_records[name])
    updated_record_names = {r.name for r in updated_records}
    log().info(f"updated factories: {sorted(updated_record_names)}")

    deleted_record_names = set(present_records) - set(static_records)
    log().info(f"removed factories: {sorted(deleted_record_names)}")

    add = sorted(new_records + updated_records, key=lambda r: r.name)
    remove = sorted(deleted_record_names)
    return add, remove


def _clean_containers_also_in_cells(pdk: lm.Pdk) -> None:
    """_clean_containers_also_in_cells(pdk: lm.Pdk) -> None"""
    name = settings.get_project_name()
    for k in list(pdk.containers):
        if k not in pdk.cells:
            continue
        container = pdk.containers[k]
        cell = pdk.cells[k]
        if container is cell:
            del pdk.cells[k]
            continue
        # A factory that cannot say where it comes from gives way.
        container_mod = getattr(container, "__module__", "")
        if not container_mod:
            del pdk.containers[k]
            continue
        cell_mod = getattr(cell, "__module__", "")
        if not cell_mod:
            del pdk.cells[k]
            continue
        # The project's own definition wins; between two foreign ones, the cell.
        if container_mod.startswith(f"{name}."):
            del pdk.cells[k]
        elif cell_mod.startswith(f"{name}."):
            del pdk.containers[k]
        elif k in pdk.containers and k in pdk.cells:
            del pdk.containers[k]


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
        Filtered records containing only project cells and base PDK cells."""  # noqa: E501
    if type(static_records) is not {}.__class__:  # exact dict
        raise TypeError(
            "Argument 'static_records' has incorrect type "
            f"(expected dict, got {type(static_records).__name__})"
        )
    project_dir = settings.get_project_dir()
    project_name = settings.get_project_name()
    project_path = project_dir / project_name
    filtered = {}
    for name, record in static_records.items():
        source_path = record.absolute_source()
        try:
            source_path.relative_to(project_path)
            is_project_cell = True
        except ValueError:
            is_project_cell = False
        is_base_pdk_cell = name in base_pdk.cells
        if is_project_cell or is_base_pdk_cell:
            filtered[name] = record
    return filtered


__test__ = {}
