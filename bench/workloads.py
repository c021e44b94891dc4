"""The measured workloads.

Each builder makes a `Case` for one size: everything it needs is built here, before any clock
starts, and `fresh()` hands out the arguments of one run, rebuilt where the function changes
its inputs in place. `outcome()` reduces a run to plain values, so that the baseline's and the
extension's results can be compared.
"""

from __future__ import annotations

import os
import random
import shutil
import tempfile
from collections.abc import Callable
from dataclasses import astuple, dataclass
from pathlib import Path
from types import ModuleType
from typing import Any

from bench.fakes import Pdk, Record, Services, factory

# Record paths of the workloads that never touch the file system lie under this root; it must
# not exist, so that resolving such a path gives the path back unchanged.
ROOT = Path("/nonexistent-bench")
PROJECT = "proj"

Args = tuple[Any, ...]


class Case:
    """One workload at one size."""

    function = ""
    args: Args = ()

    def fresh(self) -> Args:
        """The arguments of one run; the default suits functions that change nothing."""
        return self.args

    def call(self, module: ModuleType, args: Args) -> Any:
        return getattr(module, self.function)(*args)

    def outcome(self, result: Any, args: Args) -> Any:
        return result


def describe_cell(cell: Any) -> tuple[str, ...]:
    """A found factory by its names; an error cell also by what it raises."""
    try:
        cell()
    except Exception as error:  # noqa: BLE001 - raising is what an error cell is for
        return ("error", cell.__name__, cell.__module__, type(error).__name__, str(error))
    return ("cell", cell.__name__, cell.__module__)


def describe_cells(cells: dict[str, Any]) -> list[tuple[str, tuple[str, ...]]]:
    return [(name, describe_cell(cell)) for name, cell in cells.items()]


def fields(records: dict[str, Record]) -> list[tuple[str, tuple[Any, ...]]]:
    return [(name, astuple(record)) for name, record in records.items()]


def module_path(j: int) -> Path:
    return ROOT / "work" / PROJECT / f"pkg{j % 10}" / f"mod{j}.py"


def module_name(j: int) -> str:
    return f"{PROJECT}.pkg{j % 10}.mod{j}"


# --- _sort_paths -------------------------------------------------------------------------------


def scratch_dir() -> str | None:
    """/dev/shm where there is one and TMPDIR does not say otherwise: making 200,000 files on
    this project's virtual disks takes a minute, in memory a second; resolving them costs the
    same once the kernel has cached them."""
    shm = "/dev/shm"
    if "TMPDIR" not in os.environ and os.path.isdir(shm) and os.access(shm, os.W_OK):
        return shm
    return None


class FileTree:
    """Empty files in a folder, by default a temporary one that `close()` removes."""

    def __init__(self, root: Path | None = None) -> None:
        self.root = root
        self.owned = root is None

    def paths(self, n: int) -> list[Path]:
        if self.root is None:
            # Resolved, so that the files' resolved paths are their plain paths.
            self.root = Path(tempfile.mkdtemp(prefix="quorin-bench-", dir=scratch_dir())).resolve()
        paths = []
        for i in range(n):
            # Three depths, so that the sort compares depth, length and text alike.
            parts = [f"d{i // 5000}", f"s{i // 500 % 10}", f"t{i // 50 % 10}"][: 1 + i % 3]
            path = self.root.joinpath(*parts, f"m{i}.py")
            path.parent.mkdir(parents=True, exist_ok=True)
            path.touch()
            paths.append(path)
        return paths

    def close(self) -> None:
        if self.owned and self.root is not None:
            shutil.rmtree(self.root, ignore_errors=True)


class SortPaths(Case):
    function = "_sort_paths"

    def __init__(self, services: Services, n: int, tree: FileTree) -> None:
        paths = tree.paths(n)
        random.Random(n).shuffle(paths)
        self.args = (paths,)

    def outcome(self, result: Any, args: Args) -> Any:
        return [str(p) for p in result]


# --- _get_database_updates ---------------------------------------------------------------------


class DatabaseUpdates(Case):
    """A full run's comparison (no paths given): new, changed, unchanged and removed records.

    Of every ten static records two are new, two have a moved source, two differ from the
    stored ones only in status and message (unchanged once these are copied) and four are
    identical; a fifth as many stored records are gone from the static ones.
    """

    function = "_get_database_updates"

    def __init__(self, services: Services, n: int) -> None:
        n_modules = max(1, n // 100)
        paths = [module_path(j) for j in range(n_modules)]
        self.static: list[tuple[str, str, str, str]] = []
        stored: dict[str, Record] = {}
        for i in range(n):
            name, path = f"cell{i:07d}", paths[i * n_modules // n]
            source = str(path)
            status, message = ("ERROR", "import failed") if i % 20 == 19 else ("UNKNOWN", "")
            self.static.append((name, source, status, message))
            kind = i % 10
            if kind in (2, 3):
                stored[name] = Record(name, source + ".old", status, message)
            elif kind in (4, 5):
                stored[name] = Record(name, source, "OK", "stored earlier")
            elif kind >= 6:
                stored[name] = Record(name, source, status, message)
        for i in range(n // 5):
            name = f"gone{i:07d}"
            stored[name] = Record(name, f"{ROOT}/old{i}.py", "OK", "")
        self.stored = stored

    def fresh(self) -> Args:
        static = {spec[0]: Record(*spec) for spec in self.static}
        return (static, self.stored, [])

    def outcome(self, result: Any, args: Args) -> Any:
        add, remove = result
        return [astuple(r) for r in add], remove, fields(args[0])


# --- _find_cells -------------------------------------------------------------------------------


class FindCells(Case):
    """Records spread over modules: most found; a few skipped, imported late or missing.

    Of every fifty records one is not "UNKNOWN" and skipped; one in a hundred names a function
    its module lacks. One module in fifty is not among the run's modules but can be imported on
    demand; one in a hundred cannot be imported at all.
    """

    function = "_find_cells"

    def __init__(self, services: Services, n: int) -> None:
        n_modules = max(1, n // 100)
        paths = [module_path(j) for j in range(n_modules)]
        mods = [ModuleType(module_name(j)) for j in range(n_modules)]
        self.records: list[tuple[str, str, str]] = []
        for i in range(n):
            j = i * n_modules // n  # grouped by file, as a call graph walks the files
            name = f"cell{i:07d}"
            if i % 100 != 17:
                setattr(mods[j], name, factory(mods[j].__name__, name))
            status = "ERROR" if i % 50 == 7 else "UNKNOWN"
            self.records.append((name, str(paths[j]), status))
        importable = {paths[j]: mods[j] for j in range(n_modules) if j % 100 != 3}
        late = {mods[j] for j in range(n_modules) if j % 50 == 1}
        services.imports.modules = importable
        self.modules = {p: mod for p, mod in importable.items() if mod not in late}

    def fresh(self) -> Args:
        return ({spec[0]: Record(*spec) for spec in self.records}, dict(self.modules))

    def outcome(self, result: Any, args: Args) -> Any:
        static, modules = args
        return describe_cells(result), fields(static), [str(p) for p in modules]


# --- _filter_records_for_non_pdk_project -------------------------------------------------------


class FilterRecords(Case):
    """Half the records lie in the project's package; the base PDK has a third of the names."""

    function = "_filter_records_for_non_pdk_project"

    def __init__(self, services: Services, n: int) -> None:
        project_dir = services.settings.project_dir
        n_modules = max(4, n // 100)

        def path(j: int) -> Path:
            kind = j % 4
            if kind <= 1:
                return project_dir / PROJECT / f"pkg{j % 10}" / f"mod{j}.py"
            if kind == 2:  # beside the package, inside the project directory
                return project_dir / "scripts" / f"mod{j}.py"
            return ROOT / "lib" / f"mod{j}.py"

        paths = [path(j) for j in range(n_modules)]
        static: dict[str, Record] = {}
        base_cells: dict[str, Any] = {}
        for i in range(n):
            name, p = f"cell{i:07d}", paths[i * n_modules // n]
            static[name] = Record(name, str(p))
            if i % 3 == 0:
                base_cells[name] = None
        services.base_pdk.cells = base_cells
        self.args = (static, services.base_pdk)

    def outcome(self, result: dict[str, Record], args: Args) -> Any:
        static = args[0]
        return [(name, record is static[name]) for name, record in result.items()]


# --- _handle_import_errors ---------------------------------------------------------------------


class HandleImportErrors(Case):
    """Files that fail to import, with 50 names each.

    The call graph knows 45 of a file's names, the pattern search 45 too: 40 of those and 5 of
    its own. For one file in ten the pattern search fails.
    """

    function = "_handle_import_errors"

    def __init__(self, services: Services, n: int) -> None:
        static: dict[str, Record] = {}
        errors: dict[Path, tuple[str, Exception]] = {}
        regex: dict[Path, Any] = {}
        for f in range(n):
            path = ROOT / "work" / PROJECT / f"pkg{f % 10}" / f"broken{f}.py"
            modname = f"{PROJECT}.pkg{f % 10}.broken{f}"
            error: Exception
            if f % 3 == 0:
                error = SyntaxError("invalid syntax", (str(path), 3, 7, "def (", 3, 8))
            elif f % 3 == 1:
                error = ImportError(f"cannot import name 'helper{f}' from 'lib'")
            else:
                error = NameError(f"name 'width{f}' is not defined")
            errors[path] = (modname, error)
            names = [f"b{f:05d}_{k:02d}" for k in range(50)]
            for name in names[:45]:
                static[name] = Record(name, str(path))
            regex[path] = None if f % 10 == 9 else names[5:]
        services.imports.regex = regex
        self.args = (static, errors)

    def outcome(self, result: Any, args: Args) -> Any:
        error_cells, error_records = result
        return describe_cells(error_cells), fields(error_records), fields(args[0])


# --- _clean_containers_also_in_cells -----------------------------------------------------------


class CleanContainers(Case):
    """As many cells as containers; a quarter of the names clash, spread over every rule."""

    function = "_clean_containers_also_in_cells"

    def __init__(self, services: Services, n: int) -> None:
        def clash(i: int) -> tuple[Any, Any]:
            kind = i % 7
            if kind == 0:
                shared = factory("lib.shared")
                return shared, shared
            if kind == 1:
                return factory(None), factory("lib.cells")
            if kind == 2:
                return factory("lib.containers"), object()  # a cell without __module__
            if kind == 3:
                return factory(f"{PROJECT}.containers"), factory("lib.cells")
            if kind == 4:
                return factory("lib.containers"), factory(f"{PROJECT}.cells")
            if kind == 5:  # shares the project's name only as the start of its own
                return factory(f"{PROJECT}ects.containers"), factory("lib.cells")
            return factory("lib.containers"), factory("lib.cells")

        self.cells: dict[str, Any] = {}
        self.containers: dict[str, Any] = {}
        for i in range(n):
            if i % 4 == 0:
                name = f"x{i:07d}"
                self.containers[name], self.cells[name] = clash(i // 4)
            else:
                self.containers[f"k{i:07d}"] = factory("lib.containers")
                self.cells[f"c{i:07d}"] = factory(f"{PROJECT}.cells")

    def fresh(self) -> Args:
        return (Pdk("benchpdk", dict(self.cells), dict(self.containers)),)

    def outcome(self, result: Any, args: Args) -> Any:
        pdk = args[0]
        return result, list(pdk.cells), list(pdk.containers)


# --- register_cells ----------------------------------------------------------------------------


class RegisterCells(Case):
    """A whole run, every outside service faked.

    One module in ten lies outside the project, where (unless the project is a PDK) only the
    base PDK's names are kept; one in forty fails to import. The stored records mix new, moved,
    unchanged and removed ones; some removed names are registered cells, and some names are
    containers as well.
    """

    function = "register_cells"

    def __init__(self, services: Services, n: int, *, is_pdk: bool = False) -> None:
        if ROOT.exists():
            raise RuntimeError(f"{ROOT} must not exist: the run resolves paths below it")
        self.services = services
        services.settings.is_pdk = is_pdk
        project_dir = services.settings.project_dir
        n_modules = max(10, n // 100)
        paths, mods = [], []
        for j in range(n_modules):
            outside = j % 10 == 9
            base = ROOT / "lib" if outside else project_dir / PROJECT / f"pkg{j % 10}"
            paths.append(base / f"mod{j}.py")
            mods.append(ModuleType(f"lib.mod{j}" if outside else module_name(j)))
        imports = services.imports
        imports.modules, imports.errors, imports.regex = {}, {}, {}
        for j in range(n_modules):
            if j % 40 == 5:
                error = ImportError(f"cannot import name 'helper{j}'")
                imports.errors[paths[j]] = (mods[j].__name__, error)
                imports.regex[paths[j]] = [f"extra{j}_{k}" for k in range(2)]
            else:
                imports.modules[paths[j]] = mods[j]

        self.records: list[tuple[str, str]] = []
        base_cells: dict[str, Any] = {}
        stored: dict[str, Record] = {}
        for i in range(n):
            j = i * n_modules // n  # grouped by file, as a call graph walks the files
            name, path = f"cell{i:07d}", paths[j]
            if i % 100 != 13:
                setattr(mods[j], name, factory(mods[j].__name__, name))
            if j % 10 == 9 and i % 2 == 0:
                base_cells[name] = None
            self.records.append((name, str(path)))
            kind = i % 10
            if kind == 1:
                stored[name] = Record(name, str(path) + ".old")
            elif kind == 2:
                stored[name] = Record(name, str(path), "ERROR", "stored earlier")
            elif kind >= 3:
                stored[name] = Record(name, str(path))
        self.cells: dict[str, Any] = {}
        for i in range(n // 10):
            name = f"gone{i:07d}"
            stored[name] = Record(name, f"{ROOT}/old{i}.py", "OK", "")
            if i % 2 == 0:
                self.cells[name] = factory("lib.old", name)
        self.containers: dict[str, Any] = {}
        for i in range(0, n, 10):
            if i % 40 == 0:  # shares its name with a cell of the run
                owner = f"{PROJECT}.containers" if i % 80 == 0 else "lib.containers"
                self.containers[f"cell{i:07d}"] = factory(owner)
            else:
                self.containers[f"box{i:07d}"] = factory("lib.containers")
        services.base_pdk.cells = base_cells
        services.db.records = stored

    def fresh(self) -> Args:
        services = self.services
        services.cg.records = {spec[0]: Record(*spec) for spec in self.records}
        services.pdk.cells = dict(self.cells)
        services.pdk.containers = dict(self.containers)
        return ()

    def call(self, module: ModuleType, args: Args) -> Any:
        return module.register_cells()

    def outcome(self, result: Any, args: Args) -> Any:
        pdk = self.services.pdk
        return (
            result,
            describe_cells(pdk.cells),
            list(pdk.containers),
            fields(self.services.cg.records),
        )


# --- calls ------------------------------------------------------------------------------------


class Calls(Case):
    """Calls of a function whose body has next to nothing to do: the cost of a call itself."""

    def __init__(self, services: Services, n: int) -> None:
        self.n = n

    def call(self, module: ModuleType, args: Args) -> Any:
        sort_paths, nothing = module._sort_paths, ()
        for _ in range(self.n):
            sort_paths(nothing)


# --- the list ----------------------------------------------------------------------------------


@dataclass(frozen=True)
class Workload:
    name: str
    small: int  # the size measured by default; the large one is ten times as much
    build: Callable[[Services, int, FileTree], Case]


WORKLOADS: list[Workload] = [
    Workload("_sort_paths", 20_000, SortPaths),
    Workload("_get_database_updates", 50_000, lambda s, n, t: DatabaseUpdates(s, n)),
    Workload("_find_cells", 50_000, lambda s, n, t: FindCells(s, n)),
    Workload("_filter_records_for_non_pdk_project", 50_000, lambda s, n, t: FilterRecords(s, n)),
    Workload("_handle_import_errors", 200, lambda s, n, t: HandleImportErrors(s, n)),
    Workload("_clean_containers_also_in_cells", 20_000, lambda s, n, t: CleanContainers(s, n)),
    Workload("register_cells", 20_000, lambda s, n, t: RegisterCells(s, n)),
    # A project that is itself a PDK: the run skips the record filter.
    Workload(
        "register_cells, PDK project", 20_000, lambda s, n, t: RegisterCells(s, n, is_pdk=True)
    ),
    Workload("calls of _sort_paths(())", 100_000, lambda s, n, t: Calls(s, n)),
]
