"""Resolved paths, remembered from one call-graph build to the next.

Resolving a path asks the file system about every one of its components, and a registration run
asks for the same few hundred files many times over. Each answer is kept until the next call
graph is built (every registration run builds one first), so that a run sees the file system as
it was when the run started: a symlink changed between two runs is seen by the second.
"""

from collections.abc import Container
from pathlib import Path

# Bounds the memory a long session can hold; overflowing empties the table, which only costs
# resolving again.
LIMIT = 1 << 17

_resolved: dict[Path, Path] = {}
_sources: dict[tuple[Path | None, str], Path] = {}
_texts: dict[str, Path] = {}
# Collections of paths known to be resolved, each with the exceptions among them.
_files: list[tuple[Container[Path], Container[Path]]] = []
# Counts the calls of `forget`: answers given under one epoch all describe the same file system.
_epoch = 0


def epoch() -> int:
    """The number of times every remembered answer was dropped."""
    return _epoch


def resolve(path: Path) -> Path:
    """`path.resolve()` of an absolute path, as it was at the last call-graph build or later."""
    try:
        return _resolved[path]
    except KeyError:
        pass
    for files, links in _files:
        if path in files and path not in links:
            return path
    result = path.resolve()
    if path.is_absolute():
        remember(path, result)
    return result


def remember(path: Path, result: Path) -> None:
    """Records that absolute `path` resolves to `result`, a resolved path."""
    if len(_resolved) >= LIMIT:
        _resolved.clear()
    _resolved[path] = result
    # A resolved path resolves to itself.
    _resolved.setdefault(result, result)


def remember_files(files: Container[Path], links: Container[Path]) -> None:
    """Records that each absolute path in `files` but not in `links` is resolved already.

    Both are kept as given, not copied: neither may change until the next `forget`.
    """
    _files.append((files, links))


def resolve_text(text: str) -> Path:
    """`Path(text).resolve()` of an absolute path given as text."""
    try:
        return _texts[text]
    except KeyError:
        pass
    result = resolve(Path(text))
    if len(_texts) >= LIMIT:
        _texts.clear()
    _files.clear()
    _texts[text] = result
    return result


def source(project_dir: Path | None, text: str) -> Path:
    """The resolved path of a record's `source`: absolute, or relative to `project_dir`."""
    key = (project_dir, text)
    try:
        return _sources[key]
    except KeyError:
        pass
    result = resolve(Path(text) if project_dir is None else project_dir / text)
    if len(_sources) >= LIMIT:
        _sources.clear()
    _sources[key] = result
    return result


def forget() -> None:
    """Drops every remembered answer: the next ones come from the file system as it is now."""
    global _epoch
    _epoch += 1
    _resolved.clear()
    _sources.clear()
    _texts.clear()
    _files.clear()
