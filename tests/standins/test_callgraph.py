from pathlib import Path, PurePosixPath
from typing import Any

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
        (["proj/cells/waveguides.py"], ["straight", "bend"]),
        (["proj/cells/rings.py", "proj/broken.py"], ["lost", "ring"]),
        # A deleted file and a file outside the package have no cells.
        (["proj/missing.py", "outside.py"], []),
    ],
)
def test_records_filtered_by_paths(
    graph_project: Path, paths: list[str], expected: list[str]
) -> None:
    G = create_callgraph()
    for kind in (Path, PurePosixPath):
        assert (
            list(get_static_records(G, paths=[kind(graph_project / p) for p in paths])) == expected
        )


@pytest.mark.parametrize(
    ("element", "error", "problem"),
    [
        (lambda root: str(root / "proj/cells/rings.py"), TypeError, "is of type str"),
        (lambda root: Path("proj/cells/rings.py"), ValueError, "is relative"),
        (
            lambda root: root / "proj/cells/../cells/rings.py",
            ValueError,
            "resolves to '{root}/proj/cells/rings.py'",
        ),
        (lambda root: root / "linked.py", ValueError, "resolves to '{root}/proj/cells/rings.py'"),
        (lambda root: 7, TypeError, "is of type int"),
    ],
    ids=["str", "relative", "dot-dot", "link", "int"],
)
def test_paths_that_name_no_record_are_refused(
    graph_project: Path, element: Any, error: type[Exception], problem: str
) -> None:
    (graph_project / "linked.py").symlink_to(graph_project / "proj/cells/rings.py")
    given = element(graph_project)
    G = create_callgraph()
    with pytest.raises(error) as info:
        get_static_records(G, paths=[graph_project / "proj/broken.py", given])
    assert str(info.value) == (
        f"paths element {given!r} {problem.format(root=graph_project)}: expected an absolute,"
        " resolved pathlib.Path, such as Path(p).resolve()"
    )
