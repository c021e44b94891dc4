"""Project settings.

The project directory is `$QUORIN_PROJECT_DIR`, else the nearest directory holding a
`pyproject.toml`, from the current directory upwards. Its `pyproject.toml` configures the project
in the table `[tool.quorin]`:

    pdk = "generic"     # the PDK the project uses (default "generic")
    name = "demo"       # the project's package (default `[project].name`, "-" and "." as "_")
    is_pdk = false      # whether the project is itself a PDK (default false)

A project that cannot be found, or whose package is not a directory of the project directory,
raises `SettingsError` naming the directory or file and the setting to change.

The values are read afresh at every call, so edits take effect at once; the file is parsed again
only when it has changed (see `quorin.filecache`). The project directory found for a value of the
variable and a current directory is remembered until the next call graph is built, as resolved
paths are (see `quorin.resolved`): a registration run asks for it once per record.
"""

import os
import tomllib
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from quorin import resolved
from quorin.filecache import FileCache

PROJECT_DIR_ENV = "QUORIN_PROJECT_DIR"
PYPROJECT = "pyproject.toml"
DEFAULT_PDK = "generic"
_NAME_SETTING = "[tool.quorin] name"


class SettingsError(RuntimeError):
    """The project cannot be found, or its pyproject.toml cannot be read or is incomplete."""


def get_project_dir() -> Path:
    """The resolved project directory, the one holding the project's pyproject.toml."""
    raw = os.environ.get(PROJECT_DIR_ENV) or None
    cwd = None if raw is not None and os.path.isabs(raw) else os.getcwd()
    key = (raw, cwd)
    epoch = resolved.epoch()
    found = _found.get(key)
    if found is not None and found[0] == epoch:
        return found[1]
    project_dir = _find_project_dir(raw, cwd)
    if len(_found) >= _FOUND_LIMIT:
        _found.clear()
    _found[key] = (epoch, project_dir)
    return project_dir


# By (variable, current directory where it matters): the resolved epoch and the directory found.
_found: dict[tuple[str | None, str | None], tuple[int, Path]] = {}
_FOUND_LIMIT = 64


def _find_project_dir(raw: str | None, cwd: str | None) -> Path:
    unset_hint = f"or unset it to use the nearest {PYPROJECT} above the current directory"
    if raw is None:
        assert cwd is not None
        start = resolved.resolve_text(cwd)
        for folder in (start, *start.parents):
            if os.path.isfile(folder / PYPROJECT):
                return folder
        raise SettingsError(
            f"no {PYPROJECT} in {start} or any directory above it: run from inside the project,"
            f" or set {PROJECT_DIR_ENV} to the project directory"
        )
    # A relative value starts from the current directory.
    project_dir = resolved.resolve_text(raw if cwd is None else os.path.join(cwd, raw))
    if not os.path.isdir(project_dir):
        raise SettingsError(
            f"{project_dir} is not a directory: set {PROJECT_DIR_ENV} to the project directory"
            f" (the one holding {PYPROJECT}), {unset_hint}"
        )
    if not os.path.isfile(project_dir / PYPROJECT):
        raise SettingsError(
            f"{project_dir / PYPROJECT}: not found: set {PROJECT_DIR_ENV} to the project directory"
            f" (the one holding {PYPROJECT}), {unset_hint}"
        )
    return project_dir


def get_pdk_name() -> str:
    return _load().get("tool.quorin", "pdk", str) or DEFAULT_PDK


def get_project_name() -> str:
    """The name of the project's package, a directory of the project directory."""
    config = _load()
    name = config.get("tool.quorin", "name", str)
    if name:
        origin = f"{_NAME_SETTING} {name!r}"
    else:
        project = config.get("project", "name", str)
        if not project:
            raise SettingsError(
                f"{config.path}: no project name: set [project] name, or {_NAME_SETTING} to the"
                " name of the project's package"
            )
        # As packaging tools derive the import name from a distribution name.
        name = project.replace("-", "_").replace(".", "_")
        origin = f"[project] name {project!r}"
        if name != project:
            origin += f" (package {name!r})"
    if not name.isidentifier():
        raise SettingsError(
            f"{config.path}: {origin} is not a Python package name: set {_NAME_SETTING} to the"
            " name of the project's package"
        )
    package = config.path.parent / name
    if not os.path.isdir(package):
        raise SettingsError(
            f"{config.path}: {origin}: the project package {package} is not a directory: set"
            f" {_NAME_SETTING} to the name of the project's package"
        )
    return name


def is_a_pdk() -> bool:
    return _load().get("tool.quorin", "is_pdk", bool) or False


@dataclass(frozen=True)
class _Config:
    path: Path
    tables: dict[str, dict[str, Any]]

    def get[T](self, table: str, key: str, kind: type[T]) -> T | None:
        value = self.tables[table].get(key)
        if value is None or isinstance(value, kind):
            return value
        raise SettingsError(
            f"{self.path}: [{table}] {key} must be a {kind.__name__}, got {type(value).__name__}"
        )


def _load() -> _Config:
    path = get_project_dir() / PYPROJECT
    try:
        return _configs.get(path)
    except OSError as exc:
        raise SettingsError(f"{path}: cannot be read: {exc.strerror or exc}") from exc


def _parse(path: Path, data: bytes) -> _Config:
    try:
        document = tomllib.loads(data.decode())
    except (tomllib.TOMLDecodeError, UnicodeDecodeError) as exc:
        raise SettingsError(f"{path}: not a valid TOML file: {exc}") from exc
    return _Config(
        path, {name: _table(path, document, name) for name in ("project", "tool.quorin")}
    )


# A few projects per process at most; each entry is one small parsed file.
_configs = FileCache(_parse, limit=16)


def _table(path: Path, document: dict[str, Any], dotted: str) -> dict[str, Any]:
    """The table at a dotted key; an absent one reads as empty."""
    table = document
    for key in dotted.split("."):
        value = table.get(key, {})
        if not isinstance(value, dict):
            raise SettingsError(f"{path}: [{dotted}] must be a table")
        table = value
    return table
