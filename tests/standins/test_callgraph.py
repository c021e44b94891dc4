from pathlib import Path

import pytest
from quorin.core.callgraph import create_callgraph, get_static_records
from quorin.models import FactoryRecord

from .helpers import write

WAVEGUIDES = """\
import lumset as lm
from lumset import cell


def helper():
    return 1


@cell
def straight(): ...


@lm.cell()
def bend():
    return straight()


class Builder:
    @cell
    def method(self): ...
"""

RINGS = """\
import lumset
from proj.cells import waveguides as wg


@lumset.cell(layer=(1, 0))
async def ring():
    def inner():
        return wg.bend()
    return wg.straight(), inner(), ring()


if FLAG:
    @lumset.cell
    def hidden(): ...
"""


@pytest.fixture
def graph_project(project: Path) -> Path:
    write(project, "proj/__init__.py")
    write(project, "proj/cells/waveguides.py", WAVEGUIDES)
    write(project, "proj/cells/rings.py", RINGS)
    write(project, "proj/broken.py", "@cell\ndef lost(:\n")
    write(project, "outside.py", "@cell\ndef not_in_package(): ...\n")
    return project


def test_graph_of_decorated_top_level_functions(graph_project: Path) -> None:
    G = create_callgraph()
    cells = {
        name: (n.path.relative_to(graph_project).as_posix(), n.line, n.calls)
        for name, n in G.cells.items()
    }
    assert cells == {
        "ring": ("proj/cells/rings.py", 6, ("bend", "straight")),
        "straight": ("proj/cells/waveguides.py", 10, ()),
        "bend": ("proj/cells/waveguides.py", 14, ("straight",)),
    }
    assert list(cells) == ["ring", "straight", "bend"]
    assert list(G.unparsed) == [graph_project / "proj" / "broken.py"]


def test_static_records_for_all_files(graph_project: Path) -> None:
    records = get_static_records(create_callgraph())
    assert type(records) is dict
    assert records == {
        "ring": FactoryRecord("ring", "proj/cells/rings.py", "UNKNOWN", ""),
        "straight": FactoryRecord("straight", "proj/cells/waveguides.py", "UNKNOWN", ""),
        "bend": FactoryRecord("bend", "proj/cells/waveguides.py", "UNKNOWN", ""),
    }
    assert list(records) == ["ring", "straight", "bend"]
    assert records["ring"].absolute_source() == graph_project / "proj/cells/rings.py"


@pytest.mark.parametrize(
    ("paths", "expected"),
    [
        ([], ["ring", "straight", "bend"]),
        (["{root}/proj/cells/waveguides.py"], ["straight", "bend"]),
        (["proj/cells/rings.py"], ["ring"]),
        (["{root}/proj/cells/../cells/rings.py", "{root}/proj/broken.py"], ["ring"]),
        (["{root}/proj/missing.py", "{root}/outside.py"], []),
    ],
)
def test_static_records_filtered_by_paths(
    graph_project: Path, paths: list[str], expected: list[str]
) -> None:
    given = [Path(p.format(root=graph_project)) for p in paths]
    given_as_str = [str(p) for p in given]
    G = create_callgraph()
    assert list(get_static_records(G, paths=given)) == expected
    assert list(get_static_records(G, paths=given_as_str)) == expected


def test_records_are_fresh_at_every_call(graph_project: Path) -> None:
    G = create_callgraph()
    get_static_records(G)["ring"].status = "ERROR"
    assert get_static_records(G)["ring"].status == "UNKNOWN"


def test_redefinition_keeps_the_later_one(project: Path) -> None:
    write(project, "proj/a.py", "@cell\ndef twin(): ...\n")
    write(project, "proj/b.py", "@cell\ndef solo(): ...\n\n@cell\ndef twin(): ...\n")
    records = get_static_records(create_callgraph())
    assert {n: r.source for n, r in records.items()} == {"solo": "proj/b.py", "twin": "proj/b.py"}


def test_missing_package_gives_an_empty_graph(project: Path) -> None:
    assert get_static_records(create_callgraph()) == {}
