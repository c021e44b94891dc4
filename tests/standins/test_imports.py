import sys
from pathlib import Path

import pytest

from quorin.core.imports import get_cells_from_regex, import_modules

from .helpers import write

pytestmark = pytest.mark.usefixtures("isolated_imports")


def test_imports_by_dotted_name_keyed_by_given_paths(project: Path) -> None:
    init = write(project, "proj/__init__.py")
    rings = write(project, "proj/cells/rings.py")
    modules, errors = import_modules([init, rings])
    assert errors == {} and next(iter(modules)) is init
    assert [m.__name__ for m in modules.values()] == ["proj", "proj.cells.rings"]
    assert modules[rings] is sys.modules["proj.cells.rings"]


@pytest.mark.parametrize(("reload", "version"), [(True, 22), (False, 1)])
def test_reload_or_reuse(project: Path, reload: bool, version: int) -> None:
    path = write(project, "proj/mod.py", "VERSION = 1\n")
    first = import_modules([path])[0][path]
    # A different length, so that bytecode cached for the first version cannot be taken.
    write(project, "proj/mod.py", "VERSION = 22\n")
    assert import_modules([path], reload=reload)[0][path] is first
    assert first.VERSION == version


@pytest.mark.parametrize(
    ("text", "kind"),
    [
        ("def f(:\n", SyntaxError),
        ("import no_such_mod\n", ImportError),
        ("1 / 0\n", ArithmeticError),
    ],
)
def test_failing_file_is_reported_not_raised(project: Path, text: str, kind: type) -> None:
    good, bad = write(project, "proj/good.py"), write(project, "proj/cells/bad.py", text)
    modules, errors = import_modules([bad, good])
    assert list(modules) == [good]
    assert errors[bad][0] == "proj.cells.bad" and isinstance(errors[bad][1], kind)
    assert "proj.cells.bad" not in sys.modules


def test_name_taken_by_another_module_is_an_error(project: Path) -> None:
    import json

    shadow = write(project, "json.py")
    modules, errors = import_modules([shadow])
    assert modules == {} and errors[shadow][0] == "json"
    assert sys.modules["json"] is json


def test_file_outside_project(project: Path, tmp_path: Path) -> None:
    outside = write(tmp_path / "elsewhere", "helper_outside.py", "X = 1\n")
    assert import_modules([outside], from_project=True)[1][outside][0] == "helper_outside"
    assert import_modules([outside])[0][outside].X == 1
    outside.write_text("X = 22\n")
    assert import_modules([outside])[0][outside].X == 22


CELLS = """\
@cell
def plain(): ...
@cell()
def called(): ...
@lm.cell
# comment
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
def no_1(): ...
@other.cell
def no_3(): ...
@cell.cache
def no_4(): ...
@cell
class NoClass: ...
@cell
def plain(:
"""


def test_cells_from_regex(tmp_path: Path) -> None:
    path = write(tmp_path, "cells.py", CELLS.replace("\n", "\r\n"))
    assert get_cells_from_regex(path) == ["plain", "called", "stacked", "multiline", "conditional"]
