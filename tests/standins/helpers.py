from pathlib import Path


def write(root: Path, relative: str, text: str = "") -> Path:
    path = root / relative
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def files_under(root: Path) -> dict[str, bytes | None]:
    """Every path under `root` with the contents of the files, to compare before and after."""
    return {str(p): p.read_bytes() if p.is_file() else None for p in sorted(root.rglob("*"))}
