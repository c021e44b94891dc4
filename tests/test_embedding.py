"""A program that embeds the interpreter may finalise it and initialise it again in one process.

Each runtime imports a working module of its own; a second interpreter alive at the same time is
still refused. The program is built here with the compiler and flags of the interpreter's own
build, and runs a script in two rounds of initialise, import, call, finalise.
"""

from __future__ import annotations

import os
import shlex
import shutil
import site
import subprocess
import sys
import sysconfig
import textwrap
from pathlib import Path
from typing import Any

import pytest

PROGRAM = r"""
#include <Python.h>
#include <stdio.h>

/* Two runtimes, one after the other, each running the script argv[1]. */
int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    for (int round = 1; round <= 2; ++round) {
        Py_Initialize();
        printf("round %d\n", round);
        fflush(stdout);
        const int failed = PyRun_SimpleString(argv[1]);
        if (Py_FinalizeEx() < 0 || failed)
            return 1;
    }
    return 0;
}
"""


def config(name: str) -> str:
    return str(sysconfig.get_config_var(name) or "")


def build_command(source: Path, program: Path) -> list[str]:
    """What `python3-config --embed` would give a C compiler for `source`; skips the test where
    there is no compiler or no library of the interpreter to link against."""
    compiler = shlex.split(config("CC"))
    if not compiler or shutil.which(compiler[0]) is None:
        pytest.skip(f"no C compiler (the interpreter was built with {config('CC')!r})")
    shared = bool(sysconfig.get_config_var("Py_ENABLE_SHARED"))
    libdir, library = (
        (config("LIBDIR"), config("LDLIBRARY")) if shared else (config("LIBPL"), config("LIBRARY"))
    )
    if not (Path(libdir) / library).exists():
        pytest.skip(
            f"no {'shared' if shared else 'static'} library of the interpreter: {libdir}/{library}"
        )
    version = f"{sys.version_info.major}.{sys.version_info.minor}{sys.abiflags}"
    paths = sysconfig.get_paths()
    return [
        *compiler,
        *shlex.split(config("CFLAGS")),
        f"-I{paths['include']}",
        f"-I{paths['platinclude']}",
        str(source),
        "-o",
        str(program),
        f"-L{libdir}",
        f"-Wl,-rpath,{libdir}",
        # A static library gives the program every object of the interpreter, not only those it
        # calls itself: extension modules such as `_interpreters` need the others.
        *(
            [f"-lpython{version}"]
            if shared
            else ["-Wl,--whole-archive", f"-lpython{version}", "-Wl,--no-whole-archive"]
        ),
        *shlex.split(config("LIBS")),
        *shlex.split(config("SYSLIBS")),
        # Extension modules find the interpreter's symbols in the program when it is linked
        # statically.
        *shlex.split(config("LINKFORSHARED")),
        *shlex.split(config("LDFLAGS")),
    ]


@pytest.fixture(scope="module")
def embedding_program(tmp_path_factory: Any) -> Path:
    folder = tmp_path_factory.mktemp("embedding")
    source = folder / "embed.c"
    source.write_text(PROGRAM)
    program = folder / "embed"
    built = subprocess.run(
        build_command(source, program), capture_output=True, text=True, timeout=300
    )
    assert built.returncode == 0, built.stderr
    return program


# The calls reach what the module keeps in static storage: the interned names and keyword
# tuples, the function type, the code objects of traceback entries, the warning helper and the
# path shortcut's scope. A second interpreter alive at the same time is refused.
CALLS = """
import sys, traceback, warnings, _interpreters
from pathlib import PosixPath
from types import SimpleNamespace as NS
from quorin.core import pdk

def import_modules(**kw):
    print(sorted(kw), kw["paths"])
    return {p: "module" for p in kw["paths"]}, {}

pdk.imports = NS(import_modules=import_modules)
pdk.settings = NS(get_project_dir=lambda: PosixPath("/proj"), get_project_name=lambda: "demo",
                  get_pdk_name=lambda: "generic")
pdk.get_pdk = lambda: "the pdk"
records = {"a": NS(absolute_source=lambda: PosixPath("/proj/demo/a.py")),
           "b": NS(absolute_source=lambda: PosixPath("/elsewhere/b.py"))}
print(pdk._sort_paths(["/b/c", "/a"]))
print(pdk._import_modules(records, [], reload=True))
print(list(pdk._filter_records_for_non_pdk_project(records, NS(cells={}))))
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    print(pdk.activate_pdk_by_name("generic"), caught[0].category.__name__)
try:
    pdk._sort_paths(None)
except TypeError as e:
    print(e, "in", traceback.extract_tb(e.__traceback__)[-1].name)
del sys.modules["quorin.core.pdk"]
import quorin.core.pdk as again
print(again is pdk)
interp = _interpreters.create("legacy")
failure = _interpreters.run_string(interp, "import quorin.core.pdk")
_interpreters.destroy(interp)
print(failure.msg)
"""
CALLS_OUTPUT = [
    "[PosixPath('/a'), PosixPath('/b/c')]",
    "['from_project', 'paths', 'reload'] [PosixPath('/elsewhere/b.py'), PosixPath('/proj/demo/a.py')]",
    "({PosixPath('/proj/demo/a.py'): 'module', PosixPath('/elsewhere/b.py'): 'module'}, {})",
    "['a']",
    "the pdk DeprecationWarning",
    "'NoneType' object is not iterable in _sort_paths",
    "True",
    "Interpreter change detected - this module can only be loaded into one interpreter per process.",
]

# An interpreter that imported the module and ended leaves the next one free to import it.
ENDED_SUBINTERPRETER = """
import _interpreters
interp = _interpreters.create("legacy")
_interpreters.run_string(
    interp, "from quorin.core import pdk; print(pdk._sort_paths(['/b', '/a']), flush=True)")
_interpreters.destroy(interp)
from quorin.core import pdk
print(pdk._sort_paths(["/d", "/c"]))
"""

# A reference nobody drops keeps the module object from being freed with its runtime: what it
# kept is then left alone, and the next runtime starts afresh all the same.
OUTLIVING_MODULE = """
import ctypes
from quorin.core import pdk
ctypes.pythonapi.Py_IncRef(ctypes.py_object(pdk))
print(pdk._sort_paths(["/b/c", "/a"]))
try:
    pdk._sort_paths(None)
except TypeError as e:
    print(e)
"""

# The interpreter's registry of warnings is cleared after the interpreter's own dict, where
# the module learns that the interpreter ends: the finaliser calls the module after that, when
# its namespace has been cleared as every module's is, and gets what Python code would get.
LATE_FINALISER = """
import os, _warnings
from quorin.core import pdk

class Late:
    def __init__(self):
        self.calls = [(pdk._sort_paths, ([],)), (pdk._sort_paths, (["/a"],)),
                      (pdk._import_modules, ({}, []))]
        self.write, self.error = os.write, Exception

    def __del__(self):
        for function, args in self.calls:
            try:
                result = function(*args)
            except self.error as e:
                result = e.args
            self.write(1, b"late: %a\\n" % (result,))

_warnings._onceregistry["late"] = Late()
"""


@pytest.mark.parametrize(
    ("script", "output"),
    [
        pytest.param(CALLS, CALLS_OUTPUT, id="calls"),
        pytest.param(
            ENDED_SUBINTERPRETER,
            ["[PosixPath('/a'), PosixPath('/b')]", "[PosixPath('/c'), PosixPath('/d')]"],
            id="ended-subinterpreter",
        ),
        pytest.param(
            OUTLIVING_MODULE,
            ["[PosixPath('/a'), PosixPath('/b/c')]", "'NoneType' object is not iterable"],
            id="outliving-module",
        ),
        pytest.param(
            LATE_FINALISER,
            # By then the builtins, as every module's namespace, hold None: Python code that
            # calls `sorted` or `list` fails so.
            3 * ["late: (\"'NoneType' object is not callable\",)"],
            id="late-finaliser",
        ),
    ],
)
def test_each_runtime_imports_a_working_module(
    embedding_program: Path, tmp_path: Path, script: str, output: list[str]
) -> None:
    # The installed module and its stand-ins come from this environment's site-packages; the
    # sanitizer run's preloaded runtime and allocator setting pass on with the environment.
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(site.getsitepackages())}
    done = subprocess.run(
        [str(embedding_program), textwrap.dedent(script)],
        capture_output=True,
        text=True,
        timeout=300,
        cwd=tmp_path,
        env=env,
    )
    assert (done.returncode, done.stdout.splitlines()) == (
        0,
        ["round 1", *output, "round 2", *output],
    ), done.stderr
