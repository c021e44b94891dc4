"""The sample project under examples/ shows each situation a registration run must handle."""

import shutil
from pathlib import Path

import pytest

import lumset as lm
from lumset import generic_tech
from quorin import settings
from quorin.core.callgraph import create_callgraph, get_static_records
from quorin.core.imports import get_cells_from_regex, import_modules

SAMPLE = Path(__file__).resolve().parents[2] / "examples" / "sample_project"

pytestmark = pytest.mark.usefixtures("isolated_imports")


@pytest.fixture
def sample(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    # A copy, so that nothing (bytecode, the database) is written into the repository.
    root = tmp_path / "sample_project"
    shutil.copytree(SAMPLE, root, ignore=shutil.ignore_patterns("build", "__pycache__"))
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(root))
    return root.resolve()


def test_sample_project(sample: Path) -> None:
    assert (settings.get_project_name(), settings.get_pdk_name()) == ("demo", "generic")
    records = get_static_records(create_callgraph())
    paths = list(dict.fromkeys(r.absolute_source() for r in records.values()))
    modules, errors = import_modules(paths)

    broken = sample / "demo" / "broken.py"
    assert list(errors) == [broken]
    assert errors[broken][0] == "demo.broken"
    assert isinstance(errors[broken][1], ModuleNotFoundError)

    regex_only = set(get_cells_from_regex(broken)) - set(records)
    assert regex_only == {"heated_ring_double"}

    clash = set(records) & set(generic_tech.get_generic_pdk.__wrapped__().containers)
    assert clash == {"add_pads"}

    # Every cell of a file that imports builds a component.
    for name, record in records.items():
        module = modules.get(record.absolute_source())
        if module is not None and name != "add_pads":
            assert isinstance(getattr(module, name)(), lm.Component)
