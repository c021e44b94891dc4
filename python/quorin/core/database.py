"""The factory database: the stored `FactoryRecord` of every registered cell factory.

An SQLite file at `$QUORIN_DATABASE`, else `<project dir>/build/quorin.db`, with one table:

    factories(name TEXT PRIMARY KEY, source TEXT, status TEXT, message TEXT)

A new file is marked as a factory database (`PRAGMA application_id`) when the table is created;
any other SQLite file (unmarked, another application's, a table of another shape) is refused and
left as it is.

Every call opens its own connection and closes it before returning: no state is shared between
threads or processes, and the location follows the environment and settings at each call. Writes
run in one transaction, so a failure leaves the stored records as they were. Any failure (a
corrupt or foreign file, a lock held past the busy timeout, a directory that cannot be made) is
raised as `DatabaseError`, naming the file.
"""

import os
import sqlite3
from collections.abc import Iterable, Iterator
from contextlib import contextmanager
from pathlib import Path

from quorin import settings
from quorin.models import FactoryRecord

DATABASE_ENV = "QUORIN_DATABASE"
# Seconds to wait for another connection's lock before giving up.
BUSY_TIMEOUT = 5.0
# Below the historic SQLite default of 999 host parameters per statement.
_CHUNK = 900

_SCHEMA = "CREATE TABLE factories(name TEXT PRIMARY KEY, source TEXT, status TEXT, message TEXT)"
_FIELDS = ("name", "source", "status", "message")
# The table's columns as `pragma_table_info` lists them: name, type, part of the primary key.
_COLUMNS = [
    ("name", "TEXT", 1),
    ("source", "TEXT", 0),
    ("status", "TEXT", 0),
    ("message", "TEXT", 0),
]
# Marks a file as a factory database: "QRNF".
APPLICATION_ID = 0x51524E46


class DatabaseError(RuntimeError):
    """The factory database cannot be read or written."""


def database_path() -> Path:
    configured = os.environ.get(DATABASE_ENV)
    if configured:
        return Path(configured)
    return settings.get_project_dir() / "build" / "quorin.db"


def get_factories_by_name(*names: str) -> dict[str, FactoryRecord]:
    """The stored records of `names` that exist, in the order of `names`."""
    found: dict[str, FactoryRecord] = {}
    if not names:
        return found
    unique = list(dict.fromkeys(names))
    with _transaction(write=False) as conn:
        for chunk in _chunks(unique):
            query = f"SELECT * FROM factories WHERE name IN ({_placeholders(chunk)})"
            for row in conn.execute(query, chunk):
                found[row[0]] = FactoryRecord(*row)
    return {name: found[name] for name in unique if name in found}


def get_factories_by_source(*paths: Path | str) -> dict[str, list[str]]:
    """Stored source -> names of the factories it defines, for the given files.

    A file inside the project directory is matched in the relative posix form the call graph
    stores; any file is also matched by its absolute path, as error records store it.
    """
    if not paths:
        return {}
    project_dir = settings.get_project_dir()
    sources = list(dict.fromkeys(s for p in paths for s in _source_forms(Path(p), project_dir)))
    result: dict[str, list[str]] = {}
    with _transaction(write=False) as conn:
        for chunk in _chunks(sources):
            query = (
                f"SELECT source, name FROM factories WHERE source IN ({_placeholders(chunk)})"
                " ORDER BY name"
            )
            for source, name in conn.execute(query, chunk):
                result.setdefault(source, []).append(name)
    return {source: result[source] for source in sources if source in result}


def get_all_factories() -> dict[str, FactoryRecord]:
    with _transaction(write=False) as conn:
        rows = conn.execute("SELECT * FROM factories ORDER BY name").fetchall()
    return {row[0]: FactoryRecord(*row) for row in rows}


def update_factories(add: list[FactoryRecord], remove: list[str]) -> None:
    """Delete `remove`, then store `add` (replacing records of the same name), all or nothing."""
    with _transaction(write=True) as conn:
        conn.executemany(
            "DELETE FROM factories WHERE name = ?", ((_text("name", n),) for n in remove)
        )
        conn.executemany("INSERT OR REPLACE INTO factories VALUES (?, ?, ?, ?)", map(_row, add))


def _row(record: FactoryRecord) -> tuple[str, str, str, str]:
    name, source, status, message = (getattr(record, f) for f in _FIELDS)
    return (
        _text("name", name),
        _text(f"{name!r} source", source),
        _text(f"{name!r} status", status),
        _text(f"{name!r} message", message),
    )


def _text(what: str, value: object) -> str:
    # SQLite would store other types as they come and hand them back unchanged; keep records str.
    if not isinstance(value, str):
        raise TypeError(f"factory record {what} must be a str, not {type(value).__name__}")
    return value


def _source_forms(path: Path, project_dir: Path) -> Iterator[str]:
    if not path.is_absolute():
        yield path.as_posix()
        path = project_dir / path
    for candidate in (path, path.resolve()):
        yield str(candidate)
        if candidate.is_relative_to(project_dir):
            yield candidate.relative_to(project_dir).as_posix()


@contextmanager
def _transaction(write: bool) -> Iterator[sqlite3.Connection]:
    """A connection inside one transaction: committed on success, rolled back on any error."""
    path = database_path()
    try:
        path.parent.mkdir(parents=True, exist_ok=True)
    except OSError as exc:
        raise DatabaseError(
            f"factory database {path}: cannot make its directory {path.parent}: {exc.strerror}"
        ) from exc
    try:
        conn = sqlite3.connect(path, timeout=BUSY_TIMEOUT, isolation_level=None)
    except sqlite3.Error as exc:
        raise DatabaseError(f"factory database {path}: {exc}") from exc
    try:
        try:
            # IMMEDIATE takes the write lock up front, so a busy database is waited for here
            # rather than failing half-way; reads get one consistent snapshot across chunks.
            begin = "BEGIN IMMEDIATE" if write else "BEGIN"
            conn.execute(begin)
            if not _is_factory_database(conn, path):
                if not write:
                    # Created under the write lock, so that two first calls make one table.
                    conn.execute("COMMIT")
                    conn.execute("BEGIN IMMEDIATE")
                if not _is_factory_database(conn, path):
                    conn.execute(f"PRAGMA application_id = {APPLICATION_ID}")
                    conn.execute(_SCHEMA)
                if not write:
                    conn.execute("COMMIT")
                    conn.execute(begin)
            yield conn
            conn.execute("COMMIT")
        except BaseException:
            if conn.in_transaction:
                try:
                    conn.execute("ROLLBACK")
                except sqlite3.Error:
                    pass  # the original failure is the one to report; SQLite rolls back on close
            raise
    except sqlite3.Error as exc:
        raise DatabaseError(f"factory database {path}: {exc}") from exc
    finally:
        conn.close()


def _is_factory_database(conn: sqlite3.Connection, path: Path) -> bool:
    """True for a factory database, False for an empty file; any other file is refused."""
    (application_id,) = conn.execute("PRAGMA application_id").fetchone()
    if application_id == APPLICATION_ID:
        columns = conn.execute("SELECT name, type, pk FROM pragma_table_info('factories')")
        if columns.fetchall() == _COLUMNS:
            return True
        reason = "its factories table is not of the expected shape"
    else:
        query = "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"
        tables = [name for (name,) in conn.execute(query)]
        if application_id == 0 and not tables:
            return False
        reason = f"application id {application_id:#x}" if application_id else "no factory mark"
        if tables:
            reason += f", tables {', '.join(tables)}"
    raise DatabaseError(
        f"factory database {path}: not a factory database ({reason}): move it away, or set"
        f" {DATABASE_ENV} to another file"
    )


def _chunks(values: list[str]) -> Iterable[list[str]]:
    return (values[i : i + _CHUNK] for i in range(0, len(values), _CHUNK))


def _placeholders(values: list[str]) -> str:
    return ", ".join("?" * len(values))
