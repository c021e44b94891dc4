import sys
from collections.abc import Iterator
from pathlib import Path

import pytest

from .helpers import write


@pytest.fixture
def project(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    """A project "proj" with an empty package, in its own directory, made the current project."""
    root = tmp_path / "workspace"
    write(root, "pyproject.toml", '[project]\nname = "proj"\n')
    (root / "proj").mkdir()
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(root))
    monkeypatch.delenv("QUORIN_DATABASE", raising=False)
    return root.resolve()


@pytest.fixture
def isolated_imports(tmp_path: Path) -> Iterator[None]:
    """Forget the modules imported from tmp_path and restore sys.path afterwards."""
    saved_path = list(sys.path)
    yield
    sys.path[:] = saved_path
    root = tmp_path.resolve()
    doomed = []
    for name, module in list(sys.modules.items()):
        # Namespace packages have no __file__, only search locations (computed from the parent
        # package, hence all are looked at before any is removed).
        places = [getattr(module, "__file__", None), *getattr(module, "__path__", ())]
        if any(p and Path(p).resolve().is_relative_to(root) for p in places):
            doomed.append(name)
    for name in doomed:
        del sys.modules[name]
