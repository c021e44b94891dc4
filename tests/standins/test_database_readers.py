"""A reader in another process sees either the old or the new records, never a mix."""

import subprocess
import sys
import textwrap
from pathlib import Path

from quorin.core import database as db
from quorin.models import FactoryRecord

SIZE = 2000


def state(prefix: str) -> list[FactoryRecord]:
    return [FactoryRecord(f"{prefix}{i}", f"demo/{prefix}.py", "OK", "") for i in range(SIZE)]


def test_reader_never_sees_a_partial_write(project: Path) -> None:
    db.update_factories(add=state("old"), remove=[])
    reader = subprocess.Popen(
        [
            sys.executable,
            "-c",
            textwrap.dedent(
                """
                import sys
                from quorin.core import database as db
                seen = set()
                for _ in range(150):
                    names = db.get_all_factories()
                    prefixes = {n.rstrip("0123456789") for n in names}
                    assert len(names) == SIZE and len(prefixes) == 1, (len(names), prefixes)
                    seen |= prefixes
                print(sorted(seen))
                """
            ).replace("SIZE", str(SIZE)),
        ],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
    )
    names = {"old": [r.name for r in state("old")], "new": [r.name for r in state("new")]}
    current = "old"
    while reader.poll() is None:
        following = "new" if current == "old" else "old"
        db.update_factories(add=state(following), remove=names[current])
        current = following
    out, err = reader.communicate()
    assert reader.returncode == 0, err
    assert out.strip() in ("['new', 'old']", "['old']", "['new']")
