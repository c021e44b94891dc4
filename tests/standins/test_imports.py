import sys
from pathlib import Path

import pytest
from quorin.core.imports import get_cells_from_regex, import_modules

from .helpers import write

pytestmark = pytest.mark.usefixtures("isolated_imports")

# Every execution of a module body appends its name to this log, to count executions.
LOGGING_MODULE = "import pathlib\npathlib.Path({log!r}).open('a').write(__name__ + '\\n')\n"


def executions(log: Path) -> list[str]:
    return log.read_text().split() if log.exists() else []


@pytest.fixture
def log(tmp_path: Path) -> Path:
    return tmp_path / "executions.log"


def test_imports_by_dotted_name_keyed_by_given_paths(project: Path) -> None:
    init = write(project, "proj/__init__.py")
    rings = write(project, "proj/cells/rings.py", "RADIUS = 10\n")
    write(project, "proj/cells/__init__.py")
    modules, errors = import_modules([init, rings])
    assert errors == {}
    assert [m.__name__ for m in modules.values()] == ["proj", "proj.cells.rings"]
    assert [k for k in modules] == [init, rings] and next(iter(modules)) is init
    assert modules[rings] is sys.modules["proj.cells.rings"]
    assert str(project) in sys.path


@pytest.mark.parametrize(("reload", "version", "runs"), [(True, 22, 2), (False, 1, 1)])
def test_reload_or_reuse(project: Path, log: Path, reload: bool, version: int, runs: int) -> None:
    path = write(project, "proj/mod.py", LOGGING_MODULE.format(log=str(log)) + "VERSION = 1\n")
    first = import_modules([path])[0][path]
    # Different length, so that a cached bytecode file of the first version cannot be taken.
    write(project, "proj/mod.py", LOGGING_MODULE.format(log=str(log)) + "VERSION = 22\n")
    modules, _ = import_modules([path], reload=reload)
    assert modules[path] is first
    assert (first.VERSION, len(executions(log))) == (version, runs)


def test_module_imported_earlier_in_the_same_call_is_not_run_again(
    project: Path, log: Path
) -> None:
    init = write(project, "proj/__init__.py", "from proj import sub\n")
    sub = write(project, "proj/sub.py", LOGGING_MODULE.format(log=str(log)))
    modules, errors = import_modules([init, sub], reload=True)
    assert errors == {} and set(modules) == {init, sub}
    assert executions(log) == ["proj.sub"]


@pytest.mark.parametrize(
    ("text", "kind"),
    [
        ("def broken(:\n", SyntaxError),
        ("import no_such_module_anywhere\n", ModuleNotFoundError),
        ("raise ValueError('bad value at import')\n", ValueError),
    ],
)
def test_failing_file_is_reported_not_raised(
    project: Path, text: str, kind: type[Exception]
) -> None:
    good = write(project, "proj/good.py")
    bad = write(project, "proj/cells/bad.py", text)
    later = write(project, "proj/later.py")
    modules, errors = import_modules([good, bad, later])
    assert list(modules) == [good, later]
    name, exc = errors[bad]
    assert name == "proj.cells.bad" and type(exc) is kind
    assert "proj.cells.bad" not in sys.modules


def test_failed_reload_keeps_the_old_module(project: Path) -> None:
    path = write(project, "proj/mod.py", "VERSION = 1\n")
    old = import_modules([path])[0][path]
    write(project, "proj/mod.py", "VERSION = (\n")
    modules, errors = import_modules([path])
    assert modules == {} and isinstance(errors[path][1], SyntaxError)
    assert sys.modules["proj.mod"] is old


def test_keyboard_interrupt_propagates(project: Path) -> None:
    path = write(project, "proj/stop.py", "raise KeyboardInterrupt\n")
    with pytest.raises(KeyboardInterrupt):
        import_modules([path])


def test_name_taken_by_another_module_is_an_error(project: Path) -> None:
    import json

    shadow = write(project, "json.py", "HIJACKED = True\n")
    modules, errors = import_modules([shadow])
    assert modules == {}
    assert errors[shadow][0] == "json" and isinstance(errors[shadow][1], ImportError)
    assert sys.modules["json"] is json


def test_file_outside_project(project: Path, tmp_path: Path) -> None:
    outside = write(tmp_path / "elsewhere", "helper_cells_outside.py", "X = 1\n")
    _, refused = import_modules([outside], from_project=True)
    assert refused[outside][0] == "helper_cells_outside"
    modules, errors = import_modules([outside])
    assert errors == {}
    assert modules[outside].__name__ == "helper_cells_outside" and modules[outside].X == 1
    outside.write_text("X = 22\n")
    assert import_modules([outside])[0][outside].X == 22


CELLS_TEXT = """\
import lumset as lm
from lumset import cell


@cell
def plain(): ...


@cell()
def called(): ...


@lm.cell
# a comment between decorator and def
@functools.cache
def stacked(): ...


@other
@lumset.cell(
    layer=(1, 0),
)
async def multiline(): ...


if HAVE_HEATERS:

    @lm.cell
    def conditional(): ...


@cellular
def not_cell_1(): ...


@lm.cells
def not_cell_2(): ...


@other.cell
def not_cell_3(): ...


@cell.cache
def not_cell_4(): ...


def undecorated(): ...


@cell
class NotAFunction: ...


@cell
def plain(): ...
"""


def test_cells_from_regex(tmp_path: Path) -> None:
    path = write(tmp_path, "cells.py", CELLS_TEXT)
    assert get_cells_from_regex(path) == ["plain", "called", "stacked", "multiline", "conditional"]


def test_cells_from_regex_on_unparsable_and_missing_files(tmp_path: Path) -> None:
    path = write(tmp_path, "bad.py", "@cell\ndef ok(:\n    pass\n\n@cell\ndef also()")
    assert get_cells_from_regex(str(path)) == ["ok", "also"]
    with pytest.raises(FileNotFoundError):
        get_cells_from_regex(tmp_path / "missing.py")
