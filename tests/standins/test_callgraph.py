from pathlib import Path

import pytest

from quorin.core.callgraph import create_callgraph, get_static_records
from quorin.models import FactoryRecord

from .helpers import write

WAVEGUIDES = """\
import lumset as lm
from lumset import cell
def helper(): ...
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
    write(project, "proj/cells/waveguides.py", WAVEGUIDES)
    write(project, "proj/cells/rings.py", RINGS)
    write(project, "proj/broken.py", "@cell\ndef lost(:\n")
    write(project, "outside.py", "@cell\ndef not_in_package(): ...\n")
    return project


def test_graph_and_records(graph_project: Path) -> None:
    G = create_callgraph()
    nodes = {name: (n.path.name, n.line, n.calls) for name, n in G.cells.items()}
    assert list(nodes.items()) == [
        # Found by pattern in the file that does not parse, so that it becomes an error cell.
        ("lost", ("broken.py", 2, ())),
        ("ring", ("rings.py", 4, ("bend", "straight"))),
        ("straight", ("waveguides.py", 5, ())),
        ("bend", ("waveguides.py", 7, ("straight",))),
    ]
    assert list(G.unparsed) == [graph_project / "proj" / "broken.py"]
    records = get_static_records(G)
    assert type(records) is dict
    assert list(records.values()) == [
        FactoryRecord("lost", "proj/broken.py", "UNKNOWN", ""),
        FactoryRecord("ring", "proj/cells/rings.py", "UNKNOWN", ""),
        FactoryRecord("straight", "proj/cells/waveguides.py", "UNKNOWN", ""),
        FactoryRecord("bend", "proj/cells/waveguides.py", "UNKNOWN", ""),
    ]


@pytest.mark.parametrize(
    ("paths", "expected"),
    [
        (["{root}/proj/cells/waveguides.py"], ["straight", "bend"]),
        (["proj/cells/rings.py"], ["ring"]),
        (["{root}/proj/cells/../cells/rings.py", "{root}/proj/broken.py"], ["lost", "ring"]),
        (["{root}/proj/missing.py", "{root}/outside.py"], []),
    ],
)
def test_records_filtered_by_paths(
    graph_project: Path, paths: list[str], expected: list[str]
) -> None:
    given = [p.format(root=graph_project) for p in paths]
    G = create_callgraph()
    assert list(get_static_records(G, paths=[Path(p) for p in given])) == expected
    assert list(get_static_records(G, paths=given)) == expected
