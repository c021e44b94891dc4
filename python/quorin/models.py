"""Records shared between the product's services."""

from dataclasses import dataclass
from pathlib import Path

from quorin import settings


@dataclass
class FactoryRecord:
    """One cell factory: its name, the file that defines it, and how loading it went.

    `source` is stored relative to the project directory for files inside the project, so that
    records survive moving the project; files elsewhere keep their absolute path.
    """

    name: str
    source: str
    status: str = "UNKNOWN"
    message: str = ""

    def absolute_source(self) -> Path:
        # Resolved, so that it compares equal to the keys of the import service.
        source = Path(self.source)
        if not source.is_absolute():
            source = settings.get_project_dir() / source
        return source.resolve()
