"""Eight threads calling into the module at once: no crash, no deadlock, consistent results."""

from __future__ import annotations

import copy
import sys
import threading
import time
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests import fakes
from tests.fakes import Record, module_with

THREADS = 8
SECONDS = 2.0


def static_records() -> dict[str, Record]:
    path = Path("/proj/demo/cells.py")
    return {f"c{i}": Record(f"c{i}", "demo/cells.py", path=path) for i in range(50)}


class LockedDatabase(fakes.FakeDatabase):
    """The fake database, made safe for several threads as a real one is."""

    def __init__(self, calls: Any) -> None:
        super().__init__(calls)
        self.lock = threading.Lock()

    def get_factories_by_name(self, *names: str) -> dict[str, Any]:
        with self.lock:
            return super().get_factories_by_name(*names)

    def get_all_factories(self) -> dict[str, Any]:
        with self.lock:
            return super().get_all_factories()

    def update_factories(self, **kwargs: Any) -> None:
        with self.lock:
            super().update_factories(**kwargs)


@pytest.fixture
def threaded(
    pdk: Any, pdk_project: SimpleNamespace, monkeypatch: pytest.MonkeyPatch
) -> SimpleNamespace:
    services = pdk_project
    path = Path("/proj/demo/cells.py")
    services.imports.modules = {
        path: module_with("demo.cells", **{f"c{i}": print for i in range(50)})
    }
    services.cg.records = static_records
    services.db = LockedDatabase(services.calls)
    monkeypatch.setattr(pdk, "db", services.db)
    services.db.records = {f"c{i}": Record(f"c{i}", "demo/cells.py") for i in range(0, 50, 2)}
    services.db.records["gone"] = Record("gone", "demo/gone.py")
    # The shared call log is not what is tested here, and would grow without bound.
    services.calls.recording = False
    return services


def test_concurrent_calls(pdk: Any, threaded: SimpleNamespace) -> None:
    stored = copy.deepcopy(threaded.db.records)
    expected_updates = pdk._get_database_updates(static_records(), copy.deepcopy(stored), [])
    expected_names = ([r.name for r in expected_updates[0]], expected_updates[1])
    errors: list[BaseException] = []
    results: list[Any] = []
    deadline = time.monotonic() + SECONDS
    old_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # switch threads as often as possible

    def work(i: int) -> None:
        try:
            count = 0
            while time.monotonic() < deadline:
                assert pdk.get_pdk() is threaded.active
                if i % 2:
                    adds, removes = pdk._get_database_updates(
                        static_records(), copy.deepcopy(stored), []
                    )
                    assert ([r.name for r in adds], removes) == expected_names
                else:
                    pdk.register_cells()
                count += 1
            results.append(count)
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(THREADS)]
    try:
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=SECONDS * 20)
    finally:
        sys.setswitchinterval(old_interval)
    assert not any(t.is_alive() for t in threads), "deadlock"
    assert errors == []
    assert len(results) == THREADS and min(results) > 0
    # Every run writes the same cells: the registry ends consistent.
    assert sorted(threaded.active.cells) == sorted(static_records())
