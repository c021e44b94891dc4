"""Results computed from a file's contents, kept while the file is unchanged.

A file counts as unchanged while its inode, size, modification time and status-change time
(`st_ino`, `st_size`, `st_mtime_ns`, `st_ctime_ns`) are those seen when the result was computed.
File systems stamp times with a coarse clock, so two writes of the same size in quick
succession can leave the same times behind: while a file's times are less than `RACY_NS` old,
its contents are kept as well and compared on the next look, as version control tools do.
"""

import os
import time
from collections.abc import Callable, Iterable, Sequence
from dataclasses import dataclass
from pathlib import Path

# Wider than the timestamp granularity of any common file system (FAT records two seconds).
RACY_NS = 2_000_000_000

type Stamp = tuple[int, int, int, int]


@dataclass(slots=True)
class _Entry[T]:
    stamp: Stamp
    data: bytes | None  # the contents, while the stamp is too recent to be trusted alone
    value: T


class FileCache[T]:
    """`compute(path, contents)` per file, computed again only when the file has changed.

    A `compute` that raises stores nothing. Failures to stat or read the file are raised.
    """

    def __init__(self, compute: Callable[[Path, bytes], T], limit: int) -> None:
        self._compute = compute
        self._limit = limit
        self._entries: dict[Path, _Entry[T]] = {}

    def get(self, path: Path, st: os.stat_result | None = None) -> T:
        """The result for the file at `path`; `st` is its `os.stat` if the caller has it."""
        now = time.time_ns()
        if st is None:
            st = os.stat(path)
        stamp = (st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)
        racy = max(st.st_mtime_ns, st.st_ctime_ns) > now - RACY_NS
        entry = self._entries.get(path)
        if entry is not None and entry.stamp == stamp and entry.data is None:
            return entry.value
        with open(path, "rb") as file:
            data = file.read()
        if entry is not None and entry.stamp == stamp and entry.data == data:
            if not racy:
                entry.data = None
            return entry.value
        value = self._compute(path, data)
        if len(self._entries) >= self._limit and path not in self._entries:
            self._entries.clear()
        self._entries[path] = _Entry(stamp, data if racy else None, value)
        return value

    def get_many(self, paths: Sequence[Path], stats: Sequence[os.stat_result | None]) -> list[T]:
        """`get` of each path with its stat, the unchanged files looked up without a call each."""
        entries = self._entries
        values: list[T] = []
        for path, st in zip(paths, stats, strict=True):
            entry = entries.get(path)
            if (
                st is not None
                and entry is not None
                and entry.data is None
                and entry.stamp == (st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)
            ):
                values.append(entry.value)
            else:
                values.append(self.get(path, st))
        return values

    def keep_only(self, paths: Iterable[Path]) -> None:
        """Forgets every file but `paths`, for example those deleted since the last look."""
        entries = self._entries
        self._entries = {p: e for p in paths if (e := entries.get(p)) is not None}

    def __len__(self) -> int:
        return len(self._entries)
