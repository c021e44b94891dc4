"""The benchmark measures right answers: every workload gives the same outcome on every side, on
inputs of the product's shape, and its pyperf scripts write a result for every benchmark."""

from __future__ import annotations

import copy
import dataclasses
import subprocess
import sys
import textwrap
from pathlib import Path
from types import ModuleType
from typing import Any

import pytest

import lumset
import quorin.core.pdk as extension
import quorin.models
from bench import baseline, endtoend, fakes, shares
from bench.fakes import Services, installed
from bench.side import CHECKOUT, compile_baseline, load
from bench.workloads import WORKLOADS, FileTree, Workload
from tests.shared import run_python

# Small enough to be quick, large enough that every kind of input of each workload occurs.
TINY = {
    "_sort_paths": 300,
    "_get_database_updates": 1000,
    "_find_cells": 1000,
    "_filter_records_for_non_pdk_project": 400,
    "_handle_import_errors": 10,
    "_clean_containers_also_in_cells": 48,
    "register_cells": 1000,
    "register_cells, PDK project": 1000,
    "calls of _sort_paths(())": 10,
}


def outcome(workload: Workload, module: Any, tree: FileTree) -> Any:
    services = Services()
    case = workload.build(services, TINY[workload.name], tree)
    with installed(module, services):
        args = case.fresh()
        return case.outcome(case.call(module, args), args)


@pytest.fixture(scope="session")
def cython_side(tmp_path_factory: pytest.TempPathFactory) -> str:
    """The baseline compiled by Cython, as the benchmark builds it (about ten seconds)."""
    pytest.importorskip("Cython", reason="Cython comes with the bench extra")
    folder = tmp_path_factory.mktemp("cython")
    compile_baseline(folder)
    return f"cython:{folder}"


@pytest.fixture(params=["extension", "cython"])
def side(request: pytest.FixtureRequest) -> ModuleType:
    if request.param == "extension":
        return extension
    return load(request.getfixturevalue("cython_side"))


@pytest.mark.parametrize("workload", WORKLOADS, ids=lambda w: w.name)
def test_side_agrees_with_baseline(workload: Workload, side: ModuleType, tmp_path: Path) -> None:
    tree = FileTree(tmp_path)
    assert outcome(workload, side, tree) == outcome(workload, baseline, tree)


def test_workloads_cover_every_branch(tmp_path: Path) -> None:
    """The baseline's results show that the rare inputs of each workload are there."""
    by_name = {w.name: w for w in WORKLOADS}
    tree = FileTree(tmp_path)

    paths = outcome(by_name["_sort_paths"], baseline, tree)
    assert {p.count("/") - str(tmp_path).count("/") for p in paths} == {2, 3, 4}

    add, remove, records = outcome(by_name["_get_database_updates"], baseline, tree)
    statuses = [fields[2] for _, fields in records]
    assert (len(add), len(remove)) == (400, 200) and {"OK", "ERROR", "UNKNOWN"} <= set(statuses)

    cells, _, _ = outcome(by_name["_find_cells"], baseline, tree)
    kinds = {cell[0] if cell[0] == "cell" else cell[3] for _, cell in cells}
    assert kinds == {"cell", "ImportError", "ModuleNotFoundError"}

    kept = outcome(by_name["_filter_records_for_non_pdk_project"], baseline, tree)
    assert 0 < len(kept) < TINY["_filter_records_for_non_pdk_project"]

    cells, records, _ = outcome(by_name["_handle_import_errors"], baseline, tree)
    assert {cell[3] for _, cell in cells} == {"SyntaxError", "ImportError", "NameError"}
    assert len(records) == 9 * 50 + 45  # the tenth file's pattern search fails

    _, cells, containers = outcome(by_name["_clean_containers_also_in_cells"], baseline, tree)
    clashes = [n for n in cells if n.startswith("x")]
    assert len(clashes) + len([n for n in containers if n.startswith("x")]) == 12

    (added, removed), cells, containers, _ = outcome(by_name["register_cells"], baseline, tree)
    assert added and removed and {cell[0] for _, cell in cells} == {"cell", "error"}
    assert not set(cells) & set(containers)


@pytest.mark.parametrize("workload", WORKLOADS, ids=lambda w: w.name)
def test_each_run_starts_from_the_same_inputs(workload: Workload, tmp_path: Path) -> None:
    """A run that changed what the next run gets would time a different workload."""
    services = Services()
    case = workload.build(services, TINY[workload.name], FileTree(tmp_path))
    with installed(baseline, services):
        outcomes = []
        for _ in range(2):
            args = case.fresh()
            outcomes.append(case.outcome(case.call(baseline, args), args))
    assert outcomes[0] == outcomes[1]


@pytest.mark.parametrize(
    "fake, product",
    [
        (fakes.Record("a", "/p/a.py"), quorin.models.FactoryRecord("a", "/p/a.py")),
        (fakes.Pdk("p", {}, {}), lumset.Pdk("p", {}, {})),
    ],
    ids=["record", "pdk"],
)
def test_fakes_have_the_shape_of_the_products_objects(fake: Any, product: Any) -> None:
    """The module takes other paths through slotted objects than through the product's."""
    assert dataclasses.is_dataclass(fake) == dataclasses.is_dataclass(product)
    assert not hasattr(type(fake), "__slots__") and not hasattr(type(product), "__slots__")
    assert list(vars(fake)) == list(vars(product))
    # Compared by fields (records) or by identity (PDKs), as the product's objects are.
    assert (fake == copy.copy(fake)) == (product == copy.copy(product))


def test_installed_puts_back_what_was_there_even_after_an_error() -> None:
    module = ModuleType("target")
    module.log = "original log"  # type: ignore[attr-defined]
    before = dict(vars(module))
    with pytest.raises(RuntimeError), installed(module, Services()):
        assert module.log is fakes.log  # type: ignore[attr-defined]
        raise RuntimeError
    assert vars(module) == before


def test_the_fast_paths_change_no_outcome(tmp_path: Path) -> None:
    """Every workload gives the same outcome with the fast paths on and off, each side in a
    process of its own with the same string hashes (set orders decide some outcomes)."""
    code = f"""
        from pathlib import Path
        import quorin.core.pdk as extension
        from bench.workloads import WORKLOADS, FileTree
        from tests.test_bench import outcome
        tree = FileTree(Path({str(tmp_path)!r}))
        print(repr([outcome(w, extension, tree) for w in WORKLOADS]))
    """
    on, off = (run_python(code, QUORIN_PDK_FAST_PATHS=s, PYTHONHASHSEED="1") for s in "10")
    assert (on.returncode, off.returncode) == (0, 0), on.stderr + off.stderr
    assert on.stdout.startswith("[[") and on.stdout == off.stdout


def test_end_to_end_sides_agree_on_a_generated_project(tmp_path: Path) -> None:
    # 1,600 cells: among the 160 files, two fail to import and one does not parse.
    project = tmp_path / "project"
    endtoend.generate(project, 1_600)
    code = textwrap.dedent("""
        import sys
        from bench.endtoend import Registration
        run = Registration(*sys.argv[1:])
        counts = [run.first()]
        run.settle()
        counts += [run.again(), run.one_file()]
        print([[len(added), len(removed)] for added, removed in counts])
    """)
    counts = []
    for side in ("extension", "baseline"):
        argv = [sys.executable, "-c", code, side, str(project), str(tmp_path / f"{side}.db")]
        done = subprocess.run(argv, capture_output=True, text=True, cwd=CHECKOUT)
        assert done.returncode == 0, done.stderr
        counts.append(done.stdout.strip())
        endtoend.restore(project)
    # The pattern search adds the cell of the file that does not parse; the edit renames one.
    assert counts == ["[[1601, 0], [0, 0], [10, 1]]"] * 2


@pytest.mark.parametrize(
    "argv, setting, names",
    [
        (["bench.side", "baseline", "--only", "_handle"], None, ["_handle_import_errors"]),
        (
            ["bench.side", "extension", "--only", "calls", "--size", "both"],
            None,
            ["calls of _sort_paths(())", "calls of _sort_paths(()) x10"],
        ),
        (
            [
                "bench.side",
                "extension",
                "--only",
                "calls",
                "--inherit-environ=QUORIN_PDK_FAST_PATHS",
            ],
            "0",
            ["calls of _sort_paths(())"],
        ),
        (
            ["bench.endtoend", "extension", "--cells", "200"],
            None,
            [f"register 200 cells: {phase}" for phase in endtoend.PHASES],
        ),
    ],
    ids=["workload", "sizes", "fast-paths-off", "end-to-end"],
)
def test_pyperf_scripts_write_a_result_per_benchmark(
    argv: list[str], setting: str | None, names: list[str], tmp_path: Path
) -> None:
    """The workers, started by pyperf from another directory, find the bench package and get
    the side and the fast-path switch; each benchmark has its value."""
    pyperf = pytest.importorskip("pyperf", reason="pyperf comes with the bench extra")
    out = tmp_path / "result.json"
    command = [sys.executable, "-m", *argv, "--debug-single-value", "--quiet", "-o", str(out)]
    env = {"PYTHONPATH": str(CHECKOUT), "PATH": ""}
    if setting is not None:
        env["QUORIN_PDK_FAST_PATHS"] = setting
    done = subprocess.run(command, capture_output=True, text=True, cwd=tmp_path, env=env)
    assert done.returncode == 0, done.stderr
    suite = pyperf.BenchmarkSuite.load(str(out))
    assert suite.get_benchmark_names() == names
    for benchmark in suite.get_benchmarks():
        assert len(benchmark.get_values()) == 1
        if argv[1] == "extension":
            # As the workers saw it.
            assert benchmark.get_metadata()["fast_paths"] == (setting or "all on")


def test_shares_are_each_setting_against_all_on() -> None:
    counts = {"full": 1_000, "one file": 200}
    by_setting = {s: dict(counts) for s in shares.SETTINGS}
    by_setting["relative_to"] = {"full": 1_250, "one file": 199}
    lines = shares.table({"not a PDK": by_setting})
    full, one = lines[2], lines[3]
    assert full.split()[4:7] == ["1,000", "1,250", "+25.00%"]
    assert one.split()[5:8] == ["200", "199", "-0.50%"]
