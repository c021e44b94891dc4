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
from collections.abc import Set as AbstractSet
from dataclasses import dataclass, field
from pathlib import Path, PurePath

from quorin import resolved, settings
from quorin.core.imports import get_cells_from_regex
from quorin.filecache import FileCache
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
    # Where each file's cells are, so that the records of a few files are found without walking
    # every cell; None for a graph not made by `create_callgraph`.
    _index: "_Index | None" = field(default=None, repr=False, compare=False)


@dataclass(frozen=True, slots=True)
class _Index:
    placed: dict[Path, tuple[str, ...]]  # per file in order, the names of its cells in `cells`
    position: dict[Path, int]  # each file's place in the order of the files
    links: frozenset[Path]  # the files that are symbolic links
    real: bool  # whether the package folder is its own resolved path
    epoch: int  # the resolved paths' epoch when the graph was built


class _FileScan:
    """What one file contributes: its cells (name, line, names called) and a syntax error."""

    __slots__ = ("cells", "error", "names", "called")

    def __init__(
        self, cells: tuple[tuple[str, int, tuple[str, ...]], ...], error: SyntaxError | None
    ) -> None:
        self.cells = cells
        self.error = error
        self.names = frozenset(name for name, _, _ in cells)
        self.called = frozenset(n for _, _, calls in cells for n in calls)


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


class _Project:
    """What the last graph of one project package was built from, and that graph's parts."""

    def __init__(self) -> None:
        self.files = FileCache(_scan_file, limit=_FILES_LIMIT)
        self.paths: dict[str, Path] = {}
        self.found: list[str] = []  # the walk's listing, before sorting
        self.texts: list[str] = []  # the same, sorted
        self.order: list[Path] = []
        self.scans: list[_FileScan] = []  # per file in order
        self.position: dict[Path, int] = {}
        self.real = False
        self.links: frozenset[Path] = frozenset()
        # Per file, the scan its nodes were made from, and the nodes.
        self.nodes: dict[Path, tuple[_FileScan, dict[str, CellNode]]] = {}
        self.names: set[str] = set()
        # Names defined in more than one file.
        self.shared: set[str] = set()
        self.cells: dict[str, CellNode] = {}
        # Per file, the names of `cells` in its place: those no later file defines again.
        self.placed: dict[Path, tuple[str, ...]] = {}
        self.lengths: list[int] = []  # per file in order, the number of names it places
        self.unparsed: dict[Path, SyntaxError] = {}


# The project packages' last graphs, most recently used last.
_projects: dict[Path, _Project] = {}
# A file's `source` text, by project directory and file: plain path arithmetic.
_sources: dict[tuple[Path, Path], str] = {}
# Beyond this many changed files, merging every file again costs about as much as patching.
_PATCH_LIMIT = 64


def create_callgraph() -> CallGraph:
    """The graph of the project's cells; files unchanged since the last graph are not read."""
    # A new run sees the file system as it is now.
    resolved.forget()
    project_dir = settings.get_project_dir()
    package_dir = project_dir / settings.get_project_name()
    project = _projects.pop(package_dir, None)
    if project is None:
        project = _Project()
    while len(_projects) >= _PROJECTS_LIMIT:
        del _projects[next(iter(_projects))]
    _projects[package_dir] = project
    return _build(project_dir, package_dir, project)


def _build(project_dir: Path, package_dir: Path, project: _Project) -> CallGraph:
    real_package = resolved.resolve(package_dir) == package_dir
    found = _walk(str(package_dir))
    same_files = found == project.found and real_package == project.real
    if same_files:
        files, texts = project.order, project.texts
    else:
        texts = sorted(found, key=_path_key)
        known = project.paths
        files = [known.get(text) or Path(text) for text in texts]
        project.paths = dict(zip(texts, files, strict=True))
        project.texts = texts
    # Text, not `Path`: the conversion would cost a Python call per file.
    stats: list[os.stat_result | None] = [os.lstat(text) for text in texts]
    links = []
    for i, st in enumerate(stats):
        if st is not None and stat.S_ISLNK(st.st_mode):
            # Read through the link: the cache stats the target itself.
            links.append(files[i])
            stats[i] = None
    scans = project.files.get_many(files, stats)
    if not same_files:
        project.files.keep_only(files)
    project.found = found
    project.real = real_package
    if not (same_files and _patch(project, scans)):
        _merge(project, files, scans)
    project.links = frozenset(links)
    # The walk does not descend into linked folders, so below a package folder that is its own
    # resolved path, a file that is no link is resolved already.
    if real_package:
        resolved.remember_files(project.position, project.links)
    graph = CallGraph(project_dir, project.cells.copy(), project.unparsed.copy())
    graph._index = _Index(
        project.placed.copy(), project.position, project.links, real_package, resolved.epoch()
    )
    return graph


def _merge(project: _Project, files: list[Path], scans: list[_FileScan]) -> None:
    """Merges every file's nodes, made again where the file changed or a name it calls did."""
    names = set[str]().union(*(scan.names for scan in scans))
    # Not `^`: its result keeps the table of a large set, which every disjointness test walks.
    changed = (names - project.names) | (project.names - names)
    nodes: dict[Path, tuple[_FileScan, dict[str, CellNode]]] = {}
    cells: dict[str, CellNode] = {}
    unparsed: dict[Path, SyntaxError] = {}
    count = 0
    for file, scan in zip(files, scans, strict=True):
        if scan.error is not None:
            unparsed[file] = scan.error
        previous = project.nodes.get(file)
        if previous is not None and previous[0] is scan and scan.called.isdisjoint(changed):
            file_nodes = previous[1]
        else:
            file_nodes = _file_nodes(file, scan, names)
        nodes[file] = (scan, file_nodes)
        cells.update(file_nodes)
        count += len(file_nodes)
    shared: set[str] = set()
    if count != len(cells):
        # A name defined in several files: the last definition wins, in the place of its file.
        # Walked backwards, the first sighting of a name is that place.
        backwards: dict[str, CellNode] = {}
        seen: set[str] = set()
        for _, file_nodes in reversed(nodes.values()):
            shared.update(seen.intersection(file_nodes))
            seen.update(file_nodes)
            backwards.update(reversed(file_nodes.items()))
        backwards.update(cells)  # the values of the last definitions
        cells = dict(reversed(backwards.items()))
    placed = {}
    for file, (_, file_nodes) in nodes.items():
        if shared.isdisjoint(file_nodes):
            placed[file] = tuple(file_nodes)
        else:
            placed[file] = tuple(n for n in file_nodes if cells[n].path == file)
    project.order = files
    project.scans = scans
    project.position = {file: i for i, file in enumerate(files)}
    project.nodes = nodes
    project.names = names
    project.shared = shared
    project.cells = cells
    project.placed = placed
    project.lengths = [len(names) for names in placed.values()]
    project.unparsed = unparsed


def _patch(project: _Project, scans: list[_FileScan]) -> bool:
    """Updates the last graph's parts for the few files that changed, in the order a merge of
    every file gives; False, changing nothing, where only a merge can tell that order."""
    files = project.order
    nodes = project.nodes
    pairs = zip(project.scans, scans, strict=True)
    changed_files = [i for i, (old, new) in enumerate(pairs) if old is not new]
    if len(changed_files) > _PATCH_LIMIT:
        return False
    added: set[str] = set()
    removed: set[str] = set()
    for i in changed_files:
        old_names, new_names = project.scans[i].names, scans[i].names
        added |= new_names - old_names
        removed |= old_names - new_names
    # A name that comes or goes while another file defines it moves the place of its cell; a name
    # moving between the changed files does too.
    if not added.isdisjoint(project.names) or not removed.isdisjoint(project.shared):
        return False
    names = project.names
    names.difference_update(removed)
    names.update(added)
    changed_names = added | removed
    redo = set(changed_files)
    if changed_names:
        redo.update(i for i, scan in enumerate(scans) if not scan.called.isdisjoint(changed_names))
    cells = project.cells
    placed = project.placed
    splices = []
    for i in sorted(redo):
        file, scan = files[i], scans[i]
        file_nodes = _file_nodes(file, scan, names)
        nodes[file] = (scan, file_nodes)
        old_placed = placed[file]
        if project.shared.isdisjoint(file_nodes):
            new_placed = tuple(file_nodes)
        else:
            # Unchanged shared names: whether a later file defines them again is unchanged.
            keep = set(old_placed)
            new_placed = tuple(n for n in file_nodes if n not in project.shared or n in keep)
        if new_placed == old_placed:
            for name in new_placed:
                cells[name] = file_nodes[name]
        else:
            splices.append((i, old_placed, new_placed, file_nodes))
        placed[file] = new_placed
    if splices:
        items = list(cells.items())
        lengths = project.lengths
        # From the last file back, so that the offsets of earlier files stay right.
        for i, old_placed, new_placed, file_nodes in reversed(splices):
            start = sum(lengths[:i])
            items[start : start + len(old_placed)] = [(n, file_nodes[n]) for n in new_placed]
        for i, _, new_placed, _ in splices:
            lengths[i] = len(new_placed)
        project.cells = dict(items)
    if changed_files:
        position = project.position
        places = sorted({position[file] for file in project.unparsed}.union(changed_files))
        project.unparsed = {
            files[i]: error for i in places if (error := scans[i].error) is not None
        }
    project.scans = scans
    return True


def _file_nodes(file: Path, scan: _FileScan, names: AbstractSet[str]) -> dict[str, CellNode]:
    nodes: dict[str, CellNode] = {}
    for name, line, called in scan.cells:
        calls = tuple(dict.fromkeys(n for n in called if n in names and n != name))
        nodes.pop(name, None)
        nodes[name] = CellNode(name, file, line, calls)
    return nodes


def _path_key(text: str) -> list[str]:
    # Paths compare part by part, in their case-normalised form.
    return os.path.normcase(text).split(os.sep)


def _python_files(package_dir: str) -> list[str]:
    """What `sorted(Path(package_dir).rglob("*.py"))` lists, as text, several times faster."""
    return sorted(_walk(package_dir), key=_path_key)


def _walk(package_dir: str) -> list[str]:
    """The files `Path(package_dir).rglob("*.py")` lists, as text, in no particular order.

    Like the glob, the walk does not descend into linked folders, skips folders it cannot list,
    and takes entries of any kind whose name ends in ".py".
    """
    found = []
    stack = [package_dir]
    while stack:
        folder = stack.pop()
        try:
            with os.scandir(folder) as listing:
                entries = list(listing)
        except OSError:
            continue
        for entry in entries:
            if entry.name.endswith(".py"):
                found.append(entry.path)
            try:
                if entry.is_dir(follow_symlinks=False):
                    stack.append(entry.path)
            except OSError:
                pass
    return found


def get_static_records(G: CallGraph, paths: Iterable[PurePath] = ()) -> dict[str, FactoryRecord]:
    """One fresh record per cell, status "UNKNOWN", for every file or only for those in `paths`.

    `source` is the file's path relative to the project directory, in posix form. A file is
    selected by an element equal to its record's `absolute_source()`, as the registration's import
    step compares them; an element that cannot be equal to one (not a path, a relative or an
    unresolved path) is refused with `TypeError` or `ValueError`. A file that does not exist
    selects nothing.
    """
    wanted = set(map(_wanted, paths))
    index = G._index
    if wanted and index is not None and index.real and index.epoch == resolved.epoch():
        return _records_of(G, index, wanted)
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


def _wanted(path: object) -> PurePath:
    """`path`, if it is a path a record's `absolute_source()` can equal."""
    if not isinstance(path, PurePath):
        problem = f"is of type {type(path).__name__}"
        raise TypeError(_REFUSED.format(path=path, problem=problem))
    if not path.is_absolute():
        raise ValueError(_REFUSED.format(path=path, problem="is relative"))
    real = resolved.resolve(Path(path))
    if real != path:
        raise ValueError(_REFUSED.format(path=path, problem=f"resolves to {str(real)!r}"))
    return path


_REFUSED = (
    "paths element {path!r} {problem}: expected an absolute, resolved pathlib.Path,"
    " such as Path(p).resolve()"
)


def _records_of(G: CallGraph, index: "_Index", wanted: set[PurePath]) -> dict[str, FactoryRecord]:
    """The records of the files in `wanted`, looked up by file instead of walking every cell.

    Below a package folder that is its own resolved path, a file that is no link resolves to
    itself (as remembered by the build this graph's resolved paths still date from).
    """
    placed = index.placed
    files = {file for file in wanted if file in placed and file not in index.links}
    files.update(link for link in index.links if resolved.resolve(link) in wanted)
    records: dict[str, FactoryRecord] = {}
    for file in sorted(files, key=index.position.__getitem__):
        source = _source(G, file)
        for name in placed[file]:
            records[name] = FactoryRecord(name=name, source=source)
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
