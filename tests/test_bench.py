"""The benchmark: its workloads give the same results on both sides, and the runner reports."""

from __future__ import annotations

import copy
import gc
from pathlib import Path
from types import ModuleType
from typing import Any

import pytest

import quorin.core.pdk as extension
from bench import baseline, endtoend, run, stacks
from bench.fakes import Models, Record, Services, installed
from bench.workloads import WORKLOADS, Case, FileTree, Workload
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
}


def outcome(workload: Workload, module: Any, tree: FileTree) -> Any:
    services = Services()
    case = workload.build(services, TINY[workload.name], tree)
    with installed([module], services):
        args = case.fresh()
        return case.outcome(case.call(module, args), args)


@pytest.mark.parametrize("workload", WORKLOADS, ids=lambda w: w.name)
def test_extension_agrees_with_baseline(workload: Workload, tmp_path: Path) -> None:
    tree = FileTree(tmp_path)
    expected = outcome(workload, baseline, tree)
    try:
        got = outcome(workload, extension, tree)
    except NotImplementedError:
        pytest.skip(f"{workload.name} is not implemented in the extension yet")
    assert got == expected


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


def test_fakes_are_removed_after_use() -> None:
    before = dict(vars(baseline))
    with installed([baseline], Services()):
        assert baseline.get_pdk() is not before["get_pdk"]
    assert vars(baseline) == before


def test_file_tree_makes_files_once_and_removes_them() -> None:
    tree = FileTree()
    small = tree.paths(10)
    large = tree.paths(30)
    assert large[:10] == small and all(p.is_file() for p in large)
    root = tree.root
    tree.close()
    assert not root.exists()


def test_runner_prints_the_table_and_the_smallest_speedup(
    capsys: pytest.CaptureFixture[str],
) -> None:
    assert run.main(["--only", "_clean_containers", "--size", "small", "--repeats", "2"]) == 0
    out = capsys.readouterr().out.splitlines()
    row = next(line for line in out if line.startswith("_clean_containers_also_in_cells"))
    assert "20,000+20,000, 5,000 clashes" in row
    if "pending" in row:
        assert out[-1] == "smallest speed-up: none measured"
    else:
        assert out[-1].startswith("smallest speed-up: ")
        assert out[-1].endswith("(_clean_containers_also_in_cells, 20,000+20,000, 5,000 clashes)")


def test_runner_rejects_an_unknown_workload() -> None:
    with pytest.raises(SystemExit, match="no workload matches nothing"):
        run.main(["--only", "nothing"])


PERF_SCRIPT = """\
python 1 1.0: 1 cpu-clock:
\t    a1 compare_unicode_unicode+0x1 (/lib/libpython.so)
\t    a2 quorin::py::contains+0x2 (/x/pdk.so)
\t    a3 quorin::pdk::clean_containers_also_in_cells+0x3 (/x/pdk.so)
\t    a4 quorin::pdk::register_cells+0x4 (/x/pdk.so)

python 1 1.1: 1 cpu-clock:
\t    b1 quorin::pdk::register_cells+0x9 (/x/pdk.so)
\t    b2 _PyEval_EvalFrameDefault+0x1 (/lib/libpython.so)

python 1 1.2: 1 cpu-clock:
\t    c1 main+0x1 (/bin/python)
"""


def test_stacks_sums_samples_by_callee_leaf_and_step() -> None:
    lines = PERF_SCRIPT.splitlines(keepends=True)
    inside, callees, leaves = stacks.summarise(lines, "quorin::pdk::register_cells")
    assert inside == 2
    assert callees == {"quorin::pdk::clean_containers_also_in_cells": 1, "(itself)": 1}
    assert leaves == {"compare_unicode_unicode": 1, "quorin::pdk::register_cells": 1}
    assert stacks.steps(lines, "quorin::pdk::register_cells") == {
        "quorin::pdk::clean_containers_also_in_cells": 1,
        "quorin::pdk::register_cells": 1,
    }


@pytest.mark.parametrize(
    "seconds, growth, expected",
    [
        ((3.0, 1.0), None, "ok"),
        ((2.95, 1.0), 10.5, "borderline (within noise)"),
        ((2.0, 1.0), None, "MISS speed-up"),
        ((2.95, 1.0), 11.5, "MISS speed-up+growth"),
        ((4.0, 1.0), 11.5, "MISS growth"),
        ((1.0, None), None, ""),
    ],
)
def test_verdict_against_the_targets(
    seconds: tuple[float, float | None], growth: float | None, expected: str
) -> None:
    workload = next(w for w in WORKLOADS if w.target == 3.0)
    row = run.Row(workload, workload.small, *seconds)
    assert run.verdict(row, growth) == expected


@pytest.mark.parametrize("workload", WORKLOADS, ids=lambda w: w.name)
def test_each_run_starts_from_the_same_inputs(workload: Workload, tmp_path: Path) -> None:
    """A run that changed what the next run gets would time a different workload."""
    services = Services()
    case = workload.build(services, TINY[workload.name], FileTree(tmp_path))
    with installed([baseline], services):
        outcomes = []
        for _ in range(2):
            args = case.fresh()
            outcomes.append(case.outcome(case.call(baseline, args), args))
    assert outcomes[0] == outcomes[1]


def test_a_function_the_extension_lacks_is_pending(
    monkeypatch: pytest.MonkeyPatch, capsys: pytest.CaptureFixture[str]
) -> None:
    def unfinished(*args: Any) -> None:
        raise NotImplementedError("_clean_containers_also_in_cells")

    stand_in = ModuleType("stand_in")
    stand_in._clean_containers_also_in_cells = unfinished  # type: ignore[attr-defined]
    monkeypatch.setattr(run, "extension", stand_in)
    workload = next(w for w in WORKLOADS if w.name == "_clean_containers_also_in_cells")

    row = run.measure(workload, 40, run.Budget(2, 0.0), FileTree())
    assert row.extension is None and row.speedup is None and row.baseline > 0
    run.print_table([row])
    out = capsys.readouterr().out.splitlines()
    assert "pending" in out[2] and out[-1] == "smallest speed-up: none measured"
    assert out[-2] == "pending (extension raises NotImplementedError): " + workload.name


def test_table_shows_growth_from_the_small_to_the_large_size(
    capsys: pytest.CaptureFixture[str],
) -> None:
    workload = next(w for w in WORKLOADS if w.name == "_find_cells")
    rows = [run.Row(workload, 50_000, 0.3, 0.1), run.Row(workload, 500_000, 3.6, 1.5)]
    run.print_table(rows)
    small, large = capsys.readouterr().out.splitlines()[2:4]
    assert "3.00x" in small and "15.0x" not in small
    assert large.split()[-6:] == ["2.40x", "15.0x", "12.0x", ">=3x", "MISS", "speed-up+growth"]


def test_budget_runs_at_least_the_repeats_and_more_while_quick() -> None:
    budget = run.Budget(repeats=3, seconds=1.0, most=5)
    assert budget.more(2, 10.0) and not budget.more(3, 10.0)
    assert budget.more(4, 0.5) and not budget.more(5, 0.5)


def test_installed_puts_back_what_was_there_even_after_an_error() -> None:
    module = ModuleType("target")
    module.log = "original log"  # type: ignore[attr-defined]
    before = set(vars(module))
    with pytest.raises(RuntimeError), installed([module], Services()):
        assert module.log != "original log"  # type: ignore[attr-defined]
        raise RuntimeError
    assert vars(module).keys() == before
    assert module.log == "original log"  # type: ignore[attr-defined]


def test_fake_record_compares_fields_and_copies_deeply() -> None:
    path = Path("/p/a.py")
    record = Record("a", "/p/a.py", path=path)
    twin = Record("a", "/p/a.py", path=Path("/elsewhere.py"))
    assert record == twin and record.absolute_source() is path
    assert record != Record("a", "/p/a.py", status="ERROR") and record != ("a",)
    copied = copy.deepcopy(record)
    copied.status = "ERROR"
    assert record.status == "UNKNOWN" and copied.absolute_source() is path
    made = Models.FactoryRecord(name="b", source="/p/b.py", status="ERROR", message="boom")
    assert made.absolute_source() == Path("/p/b.py")


def test_only_selects_by_name_or_part_of_it() -> None:
    names = [w.name for w in run.selected(["_find_cells", "register"])]
    assert names == ["_find_cells", "register_cells", "register_cells, PDK project"]
    assert len(run.selected(None)) == len(WORKLOADS)


def test_a_timed_run_that_fails_leaves_garbage_collection_on() -> None:
    class Failing(Case):
        def call(self, module: Any, args: Any) -> Any:
            raise ValueError("boom")

    with pytest.raises(ValueError, match="boom"):
        run.timed(baseline, Failing())
    assert gc.isenabled()


def test_end_to_end_sides_agree_on_a_generated_project(tmp_path: Path) -> None:
    # 1,600 cells: among the 160 files, two fail to import and one does not parse.
    measured = endtoend.measure(1_600, rounds=1, repeats=1, before=None, workdir=tmp_path)
    counts = measured.counts
    # The pattern search adds the cell of the file that does not parse; the edit renames one.
    assert (
        counts["extension"]
        == counts["baseline"]
        == {
            "first": [1_601, 0],
            "again": [0, 0],
            "one file": [10, 1],
        }
    )
    lines = endtoend.report([measured])
    assert any(line.startswith("1,600 cells, baseline / extension: first: ") for line in lines)
    # The edited file is put back for the next side.
    edited = endtoend.edited_file(160)
    path = endtoend.file_of(tmp_path / "project1600", edited)
    assert path.read_text() == endtoend.source_text(edited)


def test_end_to_end_is_run_after_the_table_or_alone(monkeypatch: pytest.MonkeyPatch) -> None:
    calls: list[list[str]] = []
    monkeypatch.setattr(endtoend, "main", lambda argv: calls.append(argv) or 0)
    assert run.main(["--only", "end-to-end", "--quick", "--size", "small"]) == 0
    assert run.main(["--only", "_clean", "--size", "small", "--repeats", "1"]) == 0
    assert calls == [["--size", "small", "--quick"]]


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
