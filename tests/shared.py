"""What the tests of the extension and of the plain-Python baseline share: the module's function
names, and the few interpreter texts in which a compiled module and Python code differ by nature.
"""

from __future__ import annotations

import os
import subprocess
import sys
import textwrap
from pathlib import Path
from types import ModuleType

PUBLIC = ["get_pdk", "get_base_pdk", "register_cells", "activate_pdk_by_name"]
PRIVATE = [
    "_get_pdk",
    "_sort_paths",
    "_error_cell",
    "_import_modules",
    "_handle_import_errors",
    "_find_cells",
    "_get_database_updates",
    "_clean_containers_also_in_cells",
    "_filter_records_for_non_pdk_project",
]
# In the order the module binds them.
FUNCTIONS = PUBLIC + PRIVATE


def is_extension(module: ModuleType) -> bool:
    return module.__name__ == "quorin.core.pdk"


def unpack_text(module: ModuleType, count: int) -> str:
    """The error text of a result of `count` items unpacked into two names."""
    if count > 2:
        return "too many values to unpack (expected 2)"
    if is_extension(module):
        return f"need more than {count} value{'' if count == 1 else 's'} to unpack"
    return f"not enough values to unpack (expected 2, got {count})"


def text(module: ModuleType, expected: str | tuple[str, str]) -> str:
    """`expected`, or of an (extension, baseline) pair the text `module` gives."""
    if isinstance(expected, str):
        return expected
    return expected[0] if is_extension(module) else expected[1]


def fast_paths_on() -> bool:
    """Whether the extension's fast paths are on in this process: the switch is read at import,
    and any value but unset, empty or "1" turns at least one of them off."""
    return os.environ.get("QUORIN_PDK_FAST_PATHS", "1") in ("", "1")


def run_python(code: str, **env: str) -> subprocess.CompletedProcess[str]:
    """`code` in a child interpreter started in the checkout, with `env` added to the
    environment."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
        cwd=Path(__file__).resolve().parents[1],
        env={**os.environ, **env},
    )
