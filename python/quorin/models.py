"""Records shared between the product's services."""

import os
from dataclasses import dataclass
from pathlib import Path

from quorin import resolved, settings


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
        # Resolved, so that it compares equal to the keys of the import service. The answer is
        # remembered by source and project directory, outside the record, so that equality,
        # copies and repr stay those of the fields alone.
        source = self.source
        if type(source) is not str:
            path = Path(source)
            if not path.is_absolute():
                path = settings.get_project_dir() / path
            return path.resolve()
        project_dir = None if os.path.isabs(source) else settings.get_project_dir()
        return resolved.source(project_dir, source)
