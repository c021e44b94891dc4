"""Importing project source files by path.

A file inside the project directory is imported under its dotted path relative to that directory
(`<project>/demo/cells/rings.py` is `demo.cells.rings`, `<project>/demo/__init__.py` is `demo`),
through the ordinary import system with the project directory on `sys.path`, so that packages and
relative imports behave exactly as when the user imports them. A file outside the project is
imported under its file stem.
"""

import importlib
import importlib.util
import re
import sys
from collections.abc import Sequence
from pathlib import Path
from types import ModuleType

from quorin import resolved, settings

type ImportErrors = dict[Path, tuple[str, Exception]]


def import_modules(
    paths: Sequence[Path], reload: bool = True, from_project: bool = False
) -> tuple[dict[Path, ModuleType], ImportErrors]:
    """Import, or reload, each file of `paths` in the given order.

    A module already imported is reloaded when `reload` is true and reused as it is otherwise;
    a module first imported by this call (directly, or by an earlier file importing it) is not
    executed a second time. With `from_project`, files outside the project directory are refused
    instead of being imported under their stem.

    Returns the modules and the failures, both keyed by the very objects of `paths`; a failure is
    the module name and the exception. No failure of a single file is raised.
    """
    modules: dict[Path, ModuleType] = {}
    errors: ImportErrors = {}
    if not paths:
        return modules, errors
    project_dir = settings.get_project_dir()
    if str(project_dir) not in sys.path:
        sys.path.insert(0, str(project_dir))
    # Files may have appeared since the finders last listed their directories.
    importlib.invalidate_caches()
    imported_before = set(sys.modules) if reload else set()
    for path in paths:
        file = resolved.resolve(Path(path))
        try:
            name = _module_names[file, project_dir]
        except KeyError:
            name = module_name(file, project_dir)
            if len(_module_names) >= resolved.LIMIT:
                _module_names.clear()
            _module_names[file, project_dir] = name
        inside = name is not None
        name = name or file.stem
        try:
            if from_project and not inside:
                raise ImportError(f"{file} lies outside the project directory {project_dir}")
            modules[path] = _import_file(file, name, inside, reload and name in imported_before)
        except Exception as exc:
            errors[path] = (name, exc)
    return modules, errors


# Module names by file and project directory: plain path arithmetic, remembered.
_module_names: dict[tuple[Path, Path], str | None] = {}


def module_name(file: Path, project_dir: Path) -> str | None:
    """The dotted module name of a file inside `project_dir`, else None."""
    try:
        parts = file.relative_to(project_dir).with_suffix("").parts
    except ValueError:
        return None
    if parts and parts[-1] == "__init__":
        parts = parts[:-1]
    return ".".join(parts) or None


def _import_file(file: Path, name: str, on_sys_path: bool, reload: bool) -> ModuleType:
    module = sys.modules.get(name)
    if module is not None:
        _check_origin(module, name, file)
        if not reload:
            return module
        return importlib.reload(module) if on_sys_path else _run_outside(file, name, module)
    module = importlib.import_module(name) if on_sys_path else _run_outside(file, name, None)
    _check_origin(module, name, file)
    return module


def _run_outside(file: Path, name: str, module: ModuleType | None) -> ModuleType:
    """Import a file from outside the project, or run it again in place.

    No finder on sys.path knows the file, so importlib.reload cannot reload it.
    """
    spec = importlib.util.spec_from_file_location(name, file)
    if spec is None or spec.loader is None:
        raise ImportError(f"cannot import {file}: not a Python source file", name=name)
    if module is not None:
        spec.loader.exec_module(module)
        return module
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module
    try:
        spec.loader.exec_module(module)
    except BaseException:
        sys.modules.pop(name, None)
        raise
    return module


def _check_origin(module: ModuleType, name: str, file: Path) -> None:
    # Another file of the same module name (a shadowing package earlier on sys.path, or a stale
    # module) must not pass for the requested one.
    origin = getattr(module, "__file__", None)
    if origin is None or resolved.resolve(Path(origin)) != file:
        raise ImportError(f"module {name!r} is {origin}, not {file}", name=name, path=str(file))


# The cell decorator as written at a definition: @cell, @cell(...), @lm.cell, @lumset.cell(...).
_CELL_DECORATOR = r"@[ \t]*(?:(?:lm|lumset)[ \t]*\.[ \t]*)?cell\b(?![ \t]*\.)"
_DECORATED_CELL = re.compile(
    r"^(?P<indent>[ \t]*)" + _CELL_DECORATOR + r"[^\n]*\n"
    # Between decorator and def: argument lines, other decorators, comments and blank lines.
    r"(?:(?P=indent)[ \t]+[^\s#][^\n]*\n"
    r"|(?P=indent)[)\]}][^\n]*\n"
    r"|(?P=indent)@[^\n]*\n"
    r"|[ \t]*#[^\n]*\n"
    r"|[ \t]*\n)*?"
    r"(?P=indent)(?:async[ \t]+)?def[ \t]+(?P<name>\w+)",
    re.MULTILINE,
)


def get_cells_from_regex(path: Path | str) -> list[str]:
    """Names of the functions decorated as cells in a source file, in file order.

    A textual search, for files that cannot be imported: it also finds cells defined in blocks
    such as `if` or `try` at the top of the module, which a syntax-tree scan of the module body
    leaves out.
    """
    text = Path(path).read_text(encoding="utf-8", errors="replace")
    return list(dict.fromkeys(m["name"] for m in _DECORATED_CELL.finditer(text)))
