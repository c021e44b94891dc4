"""Sphinx configuration: the README as the introduction, the pages it links, the API pages.

Autodoc documents the installed package. For the native module it runs the `.pyi` stub that
sits next to it (Sphinx 9 does, unless SPHINX_AUTODOC_IGNORE_NATIVE_MODULE_TYPE_STUBS is set,
when it imports the module and reads each function's `__signature__` and `__doc__`); the two
carry the same signatures and docstrings.
"""

from pathlib import Path
from typing import Any

from docutils import nodes
from sphinx import addnodes

project = "quorin"
author = "quorin developers"
extensions = ["sphinx.ext.autodoc", "sphinx.ext.napoleon", "myst_parser"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build"]
# Anchors for `page.md#a-heading` links, spelled as GitHub spells them, so the
# links between the README and these pages work in both places.
myst_heading_anchors = 3

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


def _link_repository_files(app: Any, doctree: nodes.document) -> None:
    # A link to a Markdown file of the repository outside docs/ (bench/README.md)
    # works on GitHub; here MyST takes it for a page, named by its absolute path
    # without the suffix, that is not part of the documentation. It becomes a
    # download of the file instead. Runs before Sphinx collects the page's
    # downloads (priority 500).
    srcdir = Path(app.srcdir)
    for node in list(doctree.findall(addnodes.pending_xref)):
        if node.get("reftype") != "myst" or node.get("refdomain") != "doc":
            continue
        name = Path(node["reftarget"])
        if not name.is_absolute() or name.is_relative_to(srcdir):
            continue
        path = name.with_name(name.name + ".md")
        if not path.is_file():
            continue
        download = addnodes.download_reference(
            refdoc=node["refdoc"],
            refexplicit=True,
            reftarget="/" + path.relative_to(srcdir, walk_up=True).as_posix(),
        )
        download += node.children
        node.replace_self(download)


def setup(app: Any) -> None:
    app.connect("autodoc-process-docstring", _drop_signature_line)
    app.connect("doctree-read", _link_repository_files, priority=400)
