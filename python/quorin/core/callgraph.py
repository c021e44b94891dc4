"""Static call graph of the project's cells.

The project package (`<project dir>/<project name>`) is scanned with `ast`, without importing
anything: a cell is a function of a module's top level decorated with the layout library's cell
decorator (`@cell`, `@cell(...)`, `@lm.cell`, `@lumset.cell(...)`). A file that does not parse
is listed in `CallGraph.unparsed`, and the cells a pattern search finds in it join the graph:
its import then fails, and the registration turns them into error cells instead of silently
dropping them.
"""

import ast
from collections.abc import Iterable
from dataclasses import dataclass, field
from pathlib import Path

from quorin import settings
from quorin.core.imports import get_cells_from_regex
from quorin.models import FactoryRecord

_LIBRARY_ALIASES = frozenset({"lm", "lumset"})


@dataclass(frozen=True)
class CellNode:
    name: str
    path: Path  # absolute, inside the project directory
    line: int
    calls: tuple[str, ...]  # other cells called from the body, in order of first call


@dataclass
class CallGraph:
    project_dir: Path
    # Ordered by file, then line. A name defined twice keeps the later definition, as an import
    # of the package in file order would.
    cells: dict[str, CellNode] = field(default_factory=dict)
    unparsed: dict[Path, SyntaxError] = field(default_factory=dict)


def create_callgraph() -> CallGraph:
    project_dir = settings.get_project_dir()
    package_dir = project_dir / settings.get_project_name()
    graph = CallGraph(project_dir)
    called: dict[str, list[str]] = {}
    for file in sorted(package_dir.rglob("*.py")):
        try:
            tree = ast.parse(file.read_bytes(), filename=str(file))
        except SyntaxError as exc:
            graph.unparsed[file] = exc
            for name in get_cells_from_regex(file):
                graph.cells.pop(name, None)
                graph.cells[name] = CellNode(name, file, exc.lineno or 0, ())
                called[name] = []
            continue
        for node in tree.body:
            if isinstance(node, ast.FunctionDef | ast.AsyncFunctionDef) and _is_cell(node):
                graph.cells.pop(node.name, None)
                graph.cells[node.name] = CellNode(node.name, file, node.lineno, ())
                called[node.name] = _called_names(node)
    for name, cell in graph.cells.items():
        calls = tuple(dict.fromkeys(n for n in called[name] if n in graph.cells and n != name))
        graph.cells[name] = CellNode(cell.name, cell.path, cell.line, calls)
    return graph


def get_static_records(G: CallGraph, paths: Iterable[Path | str] = ()) -> dict[str, FactoryRecord]:
    """One fresh record per cell, status "UNKNOWN", for every file or only for those in `paths`.

    `source` is the file's path relative to the project directory, in posix form. Relative
    `paths` are taken relative to the project directory; files are compared in resolved form.
    """
    wanted = {(G.project_dir / p).resolve() for p in paths}
    resolved: dict[Path, Path] = {}
    records: dict[str, FactoryRecord] = {}
    for cell in G.cells.values():
        if wanted:
            if cell.path not in resolved:
                resolved[cell.path] = cell.path.resolve()
            if resolved[cell.path] not in wanted:
                continue
        source = cell.path.relative_to(G.project_dir).as_posix()
        records[cell.name] = FactoryRecord(name=cell.name, source=source)
    return records


def _is_cell(node: ast.FunctionDef | ast.AsyncFunctionDef) -> bool:
    for decorator in node.decorator_list:
        target = decorator.func if isinstance(decorator, ast.Call) else decorator
        if isinstance(target, ast.Name) and target.id == "cell":
            return True
        if (
            isinstance(target, ast.Attribute)
            and target.attr == "cell"
            and isinstance(target.value, ast.Name)
            and target.value.id in _LIBRARY_ALIASES
        ):
            return True
    return False


def _called_names(node: ast.FunctionDef | ast.AsyncFunctionDef) -> list[str]:
    """Names called in a function body, in source order: `f(...)` and `module.f(...)` give `f`."""
    calls = []
    for sub in (n for statement in node.body for n in ast.walk(statement)):
        if isinstance(sub, ast.Call):
            if isinstance(sub.func, ast.Name):
                calls.append((sub.lineno, sub.col_offset, sub.func.id))
            elif isinstance(sub.func, ast.Attribute):
                calls.append((sub.lineno, sub.col_offset, sub.func.attr))
    return [name for _, _, name in sorted(calls)]
