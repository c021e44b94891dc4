"""Static call graph of the project's cells.

The project package (`<project dir>/<project name>`) is scanned with `ast`, without importing
anything: a cell is a function of a module's top level decorated with the layout library's cell
decorator (`@cell`, `@cell(...)`, `@lm.cell`, `@lumset.cell(...)`). A file that does not parse
is listed in `CallGraph.unparsed`, and the cells a pattern search finds in it join the graph:
its import then fails, and the registration turns them into error cells instead of silently
dropping them.

Building a graph reads again only the files that changed since the last graph of the same
project (`quorin.filecache`); the graph is the one a scan of every file would give.
"""

import ast
import os
import stat
from collections.abc import Iterable
from dataclasses import dataclass, field
from pathlib import Path

from quorin import resolved, settings
from quorin.filecache import FileCache
from quorin.core.imports import get_cells_from_regex
from quorin.models import FactoryRecord

_LIBRARY_ALIASES = frozenset({"lm", "lumset"})
# Per project package, what its files contributed to the last graph; a few projects at most.
_PROJECTS_LIMIT = 4
_FILES_LIMIT = 1 << 17


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


@dataclass(frozen=True, slots=True)
class _FileScan:
    """What one file contributes: its cells (name, line, names called) and a syntax error."""

    cells: tuple[tuple[str, int, tuple[str, ...]], ...]
    error: SyntaxError | None


def _scan_file(file: Path, data: bytes) -> _FileScan:
    try:
        tree = ast.parse(data, filename=str(file))
    except SyntaxError as exc:
        line = exc.lineno or 0
        return _FileScan(tuple((name, line, ()) for name in get_cells_from_regex(file)), exc)
    return _FileScan(
        tuple(
            (node.name, node.lineno, _called_names(node))
            for node in tree.body
            if isinstance(node, ast.FunctionDef | ast.AsyncFunctionDef) and _is_cell(node)
        ),
        None,
    )


# The project package's file cache, most recently used last.
_caches: dict[Path, FileCache[_FileScan]] = {}
# A file's `source` text, by project directory and file: plain path arithmetic.
_sources: dict[tuple[Path, Path], str] = {}


def create_callgraph() -> CallGraph:
    """The graph of the project's cells; files unchanged since the last graph are not read."""
    # A new run sees the file system as it is now.
    resolved.forget()
    project_dir = settings.get_project_dir()
    package_dir = project_dir / settings.get_project_name()
    cache = _caches.pop(package_dir, None)
    if cache is None:
        cache = FileCache(_scan_file, limit=_FILES_LIMIT)
    while len(_caches) >= _PROJECTS_LIMIT:
        del _caches[next(iter(_caches))]
    _caches[package_dir] = cache
    return _build(project_dir, package_dir, cache)


def _build(project_dir: Path, package_dir: Path, cache: FileCache[_FileScan]) -> CallGraph:
    real_package = resolved.resolve(package_dir) == package_dir
    graph = CallGraph(project_dir)
    called: dict[str, tuple[str, ...]] = {}
    files = sorted(package_dir.rglob("*.py"))
    for file in files:
        st = os.lstat(file)
        if stat.S_ISLNK(st.st_mode):
            scan = cache.get(file)
        else:
            # The walk does not descend into linked folders, so below a package folder that is
            # its own resolved path, a file that is no link is resolved already.
            if real_package:
                resolved.remember(file, file)
            scan = cache.get(file, st)
        if scan.error is not None:
            graph.unparsed[file] = scan.error
        for name, line, calls in scan.cells:
            graph.cells.pop(name, None)
            graph.cells[name] = CellNode(name, file, line, ())
            called[name] = calls
    cache.keep_only(files)
    for name, cell in graph.cells.items():
        calls = tuple(dict.fromkeys(n for n in called[name] if n in graph.cells and n != name))
        graph.cells[name] = CellNode(cell.name, cell.path, cell.line, calls)
    return graph


def get_static_records(G: CallGraph, paths: Iterable[Path | str] = ()) -> dict[str, FactoryRecord]:
    """One fresh record per cell, status "UNKNOWN", for every file or only for those in `paths`.

    `source` is the file's path relative to the project directory, in posix form. Relative
    `paths` are taken relative to the project directory; files are compared in resolved form.
    """
    wanted = {resolved.resolve(G.project_dir / p) for p in paths}
    sources: dict[Path, str | None] = {}  # None: a file not asked for
    records: dict[str, FactoryRecord] = {}
    for cell in G.cells.values():
        path = cell.path
        try:
            source = sources[path]
        except KeyError:
            source = None if wanted and resolved.resolve(path) not in wanted else _source(G, path)
            sources[path] = source
        if source is not None:
            records[cell.name] = FactoryRecord(name=cell.name, source=source)
    return records


def _source(G: CallGraph, path: Path) -> str:
    key = (G.project_dir, path)
    source = _sources.get(key)
    if source is None:
        source = path.relative_to(G.project_dir).as_posix()
        if len(_sources) >= resolved.LIMIT:
            _sources.clear()
        _sources[key] = source
    return source


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


def _called_names(node: ast.FunctionDef | ast.AsyncFunctionDef) -> tuple[str, ...]:
    """Names called in a function body, in source order: `f(...)` and `module.f(...)` give `f`."""
    calls = []
    # The order of the walk does not matter, the positions sort the calls; a plain stack walks
    # the tree several times faster than `ast.walk`.
    stack: list[ast.AST] = list(node.body)
    while stack:
        sub = stack.pop()
        if type(sub) is ast.Call:
            func = sub.func
            if type(func) is ast.Name:
                calls.append((sub.lineno, sub.col_offset, func.id))
            elif type(func) is ast.Attribute:
                calls.append((sub.lineno, sub.col_offset, func.attr))
        for field_name in sub._fields:
            value = getattr(sub, field_name, None)
            if isinstance(value, ast.AST):
                stack.append(value)
            elif type(value) is list:
                stack.extend(v for v in value if isinstance(v, ast.AST))
    return tuple(name for _, _, name in sorted(calls))
