"""Sphinx configuration: the API page of the installed package, the README as its introduction.

Autodoc documents the installed package. For the native module it runs the `.pyi` stub that
sits next to it (Sphinx 9 does, unless SPHINX_AUTODOC_IGNORE_NATIVE_MODULE_TYPE_STUBS is set,
when it imports the module and reads each function's `__signature__` and `__doc__`); the two
carry the same signatures and docstrings.
"""

from typing import Any

project = "quorin"
author = "quorin developers"
extensions = ["sphinx.ext.autodoc", "sphinx.ext.napoleon", "myst_parser"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build"]

# The native functions' docstrings open with a signature line in Cython's
# spelling ("bool reload: bool"), which is not Python and which Sphinx would
# take for the signature; the rendered signature comes from the function.
autodoc_docstring_signature = False
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
# The stand-ins' docstrings quote names in single backticks, meaning code.
default_role = "literal"
napoleon_google_docstring = True
napoleon_numpy_docstring = False

html_theme = "alabaster"
html_static_path: list[str] = []


def _drop_signature_line(
    app: Any, what: str, name: str, obj: Any, options: Any, lines: list[str]
) -> None:
    # The line repeats the signature rendered just above it.
    if lines and "(" in lines[0] and name.endswith(lines[0].split("(", 1)[0]):
        del lines[: 2 if len(lines) > 1 and not lines[1] else 1]


def setup(app: Any) -> None:
    app.connect("autodoc-process-docstring", _drop_signature_line)
