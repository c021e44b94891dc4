"""Project settings.

The project directory is `$QUORIN_PROJECT_DIR`, or the current directory. Its `pyproject.toml`
configures the project in the table `[tool.quorin]`:

    pdk = "generic"     # the PDK the project uses (default "generic")
    name = "demo"       # the package name (default `[project].name`, else the folder name)
    is_pdk = false      # whether the project is itself a PDK (default false)

Every function looks at the file afresh, so edits and a changed environment take effect at
once; the file is parsed again only when it has changed (see `quorin.filecache`).
"""

import os
import tomllib
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from quorin import resolved
from quorin.filecache import FileCache

PROJECT_DIR_ENV = "QUORIN_PROJECT_DIR"
DEFAULT_PDK = "generic"


class SettingsError(RuntimeError):
    """The project's pyproject.toml cannot be read or holds a setting of the wrong type."""


def get_project_dir() -> Path:
    raw = os.environ.get(PROJECT_DIR_ENV) or os.getcwd()
    if not os.path.isabs(raw):
        # Resolving a relative path starts from the current directory.
        raw = os.path.join(os.getcwd(), raw)
    return resolved.resolve_text(raw)


def get_pdk_name() -> str:
    return _load().get("tool.quorin", "pdk", str) or DEFAULT_PDK


def get_project_name() -> str:
    config = _load()
    name = config.get("tool.quorin", "name", str) or config.get("project", "name", str)
    return name or config.path.parent.name


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
    path = get_project_dir() / "pyproject.toml"
    try:
        return _configs.get(path)
    except FileNotFoundError:
        return _parse(path, b"")
    except OSError as exc:
        raise SettingsError(f"{path}: cannot be read: {exc}") from exc


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
