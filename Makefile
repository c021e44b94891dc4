# Every target bootstraps .venv with a CPython 3.13 that has its C headers.
# A python3.13 on PATH may be a pyenv shim that fails because pyenv selected
# another version, so candidates are probed: PYTHON=..., pyenv's 3.13 builds,
# then the system's python3.13.

# A failing command on the left of a pipe fails the recipe.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -ec

VENV := .venv
PY := $(VENV)/bin/python
PIP := $(PY) -m pip --disable-pip-version-check
# Requirements come from pyproject.toml: `deps python GROUP...` prints those of
# the build backends ("build": the module's, with the CMake and ninja that a
# build without isolation needs, and the stand-ins'), the package ("run") and
# its extras, one per line for pip.
deps = $(1) -c 'import sys, tomllib; p = tomllib.load(open("pyproject.toml", "rb")); \
  s = tomllib.load(open("$(STANDINS)/pyproject.toml", "rb")); \
  groups = {"build": [*p["build-system"]["requires"], *s["build-system"]["requires"], "cmake>=3.26", "ninja"], \
            "run": p["project"]["dependencies"], **p["project"]["optional-dependencies"]}; \
  print(*(r for g in sys.argv[1:] for r in groups[g]), sep="\n")'
# `$(call install_deps,python,GROUP...)`
install_deps = $(call deps,$(1)) $(2) | $(1) -m pip --disable-pip-version-check install -q -r /dev/stdin
# Two distributions: the module's own (the repository root: the extension and its stub, what
# the product's environment gets) and the stand-ins for the product's packages and its layout
# library (python/), which the tests, the benchmarks and the demo run against.
# `$(call install_both,python,PIP-ARGS...)` builds and installs the two from the checkout,
# without isolation (the build backends come with the build group above). An environment made
# before the split holds one distribution "quorin" with the files of both: it is removed first,
# as its uninstall would later take their files with it.
STANDINS := python
install_both = $(1) -m pip --disable-pip-version-check uninstall -q -y quorin 2>/dev/null; \
  $(1) -m pip --disable-pip-version-check install -q --no-build-isolation --no-deps $(2) . ./$(STANDINS)
# WERROR=ON (as .ci/run sets it) makes every compiler warning an error.
WERROR ?= OFF
CMAKE_ARGS := -Ccmake.define.QUORIN_WERROR=$(WERROR)
CXX_SOURCES = $(shell find src -name '*.cpp' -o -name '*.hpp' | sort)

probe = $(shell "$(1)" -c 'import os, sys, sysconfig; ok = sys.version_info[:2] == (3, 13) and os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")); print(sys.executable if ok else "")' 2>/dev/null)
candidates = $(PYTHON) $(wildcard $(shell pyenv root 2>/dev/null)/versions/3.13*/bin/python3.13) $(shell command -v python3.13 2>/dev/null) /usr/bin/python3.13 /usr/local/bin/python3.13
find_python = $(firstword $(foreach c,$(candidates),$(call probe,$(c))))

.PHONY: test demo install bench asan lint wheel docs clean
.PHONY: test-slow-paths test-newest bench-shares

# Made again when either distribution's requirements change (the venv itself is kept).
$(VENV)/.ready: pyproject.toml $(STANDINS)/pyproject.toml
	@[ -x $(PY) ] && exit 0; \
	py="$(find_python)"; \
	if [ -z "$$py" ]; then \
	  echo "error: no CPython 3.13 with its C headers found (tried: $(strip $(candidates)))." >&2; \
	  echo "Install one (for example with pyenv) or pass PYTHON=/path/to/python3.13." >&2; \
	  exit 1; \
	fi; \
	echo "using $$py"; \
	"$$py" -m venv $(VENV)
	$(call install_deps,$(PY),build run test)
	touch $@

install: $(VENV)/.ready
	$(call install_both,$(PY),$(CMAKE_ARGS))

test: install
	$(PY) -m pytest -q

# The whole suite again with every fast path switched off, as a user can switch
# them off: the answers must be the same without them.
test-slow-paths: install
	QUORIN_PDK_FAST_PATHS=0 $(PY) -m pytest -q -p no:cacheprovider

# The whole suite on the newest CPython 3.13 that the machine's Debian archive
# serves as a source package, built into a cache outside the checkout (reused
# when there) by tools/newest-python.sh, in a virtual environment and a build
# directory of its own. Without a source package it says so and succeeds.
test-newest:
	@py="$$(tools/newest-python.sh 3.13)"; \
	if [ -n "$$py" ]; then \
	  SKBUILD_BUILD_DIR=build/newest $(MAKE) --no-print-directory test VENV=.venv-newest PYTHON="$$py"; \
	fi

demo: install
	$(PY) examples/demo.py

# The benchmark on pyperf (bench/README.md): every workload timed on each side, the plain-Python
# baseline, its Cython build and the extension, in pyperf's worker processes and compared with
# `pyperf compare_to`; then end to end on a generated project. BENCH_ARGS=--quick for a short
# run. Last, the extension against a second build without its monitoring events, built in a
# build directory of its own.
NO_MONITORING := build/no-monitoring
bench: install
	$(call install_deps,$(PY),bench)
	$(PY) -m bench $(BENCH_ARGS)
	$(PIP) install -q --no-build-isolation --no-deps --upgrade $(CMAKE_ARGS) -Ccmake.define.QUORIN_MONITORING=OFF \
	  -Cbuild-dir=$(NO_MONITORING) --target $(NO_MONITORING)/site .
	$(PY) -m bench $(BENCH_ARGS) --sides extension,extension:$(NO_MONITORING)/site --no-end-to-end

# What each fast path saves of whole registration runs, counted by callgrind (about 7 minutes).
bench-shares: install
	$(PY) -m bench.shares

# The extension built with AddressSanitizer and UndefinedBehaviorSanitizer, in
# a virtual environment of its own, and the whole suite run under it. The
# interpreter is not instrumented, so the sanitizer runtime is preloaded and
# the allocator is switched to malloc for the sanitizer to see every block.
ASAN_VENV := .venv-asan
ASAN_LIB := $(shell $${CXX:-g++} -print-file-name=libasan.so) $(shell $${CXX:-g++} -print-file-name=libstdc++.so)
asan: $(VENV)/.ready
	[ -x $(ASAN_VENV)/bin/python ] || $(PY) -m venv $(ASAN_VENV)
	$(call install_deps,$(ASAN_VENV)/bin/python,build run test)
	$(call install_both,$(ASAN_VENV)/bin/python, \
	  $(CMAKE_ARGS) -Ccmake.define.QUORIN_SANITIZE=ON -Cbuild-dir=build/asan -Ccmake.build-type=Debug)
	LD_PRELOAD="$(ASAN_LIB)" PYTHONMALLOC=malloc \
	  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_init_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(ASAN_VENV)/bin/python -m pytest -q -p no:cacheprovider

# clang-format and clang-tidy for the C++ sources (clang-tidy reads the compile
# commands of the build), ruff for the Python files, mypy on the stubs.
lint: install
	$(call install_deps,$(PY),lint)
	$(VENV)/bin/ruff check .
	$(VENV)/bin/ruff format --check .
	$(VENV)/bin/clang-format --dry-run --Werror $(CXX_SOURCES)
	$(VENV)/bin/clang-tidy --quiet -p $(firstword $(wildcard build/cp313-*)) $(filter %.cpp,$(CXX_SOURCES))
	cd python && ../$(PY) -m mypy --strict -p quorin -p lumset
	$(PY) -m mypy --strict examples/usage.py
	cd /tmp && $(CURDIR)/$(PY) -m mypy.stubtest quorin.core.pdk

# The distributions as users get them, into dist/, each built in an isolated environment
# (scikit-build-core brings CMake and ninja from the registry when the machine has none):
# the stand-ins' wheel; the module's sdist, and its wheel built from that sdist in a new virtual
# environment and installed there (what `pip install` of the sdist does); then that wheel
# repaired by auditwheel to the manylinux tag its symbol versions allow (package indexes refuse
# a plain linux tag). The two wheels then go into a new virtual environment in each order, with
# nothing else but the module's dependency, and the demo runs there from another directory;
# last, the suite's test of the two distributions runs on the wheels installed product first.
WHEEL_VENV := .venv-wheel
MODULE_DIST := quorin_core_pdk
STANDINS_DIST := quorin_standins
wheel_pip = $(1)/bin/python -m pip --disable-pip-version-check install -q
wheel: $(VENV)/.ready
	rm -rf dist $(WHEEL_VENV)*
	$(call install_deps,$(PY),wheel)
	$(PIP) wheel -q --no-deps -w dist ./$(STANDINS)
	$(PY) -m build -q --sdist -o dist .
	$(PY) -m venv $(WHEEL_VENV)-sdist
	$(WHEEL_VENV)-sdist/bin/python -m pip --disable-pip-version-check wheel -q --no-deps $(CMAKE_ARGS) \
	  -w dist/raw dist/$(MODULE_DIST)-*.tar.gz
	$(call wheel_pip,$(WHEEL_VENV)-sdist) dist/raw/$(MODULE_DIST)-*.whl dist/$(STANDINS_DIST)-*.whl
	cd /tmp && $(CURDIR)/$(WHEEL_VENV)-sdist/bin/python -c "import quorin.core.pdk as p, inspect; \
	  print('sdist ok:', p.__file__, inspect.signature(p.register_cells))"
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" $(VENV)/bin/auditwheel repair -w dist dist/raw/$(MODULE_DIST)-*.whl
	rm -rf dist/raw
	$(VENV)/bin/auditwheel show dist/$(MODULE_DIST)-*.whl
	$(PY) -m zipfile -l dist/$(MODULE_DIST)-*.whl
	for order in "$(MODULE_DIST) $(STANDINS_DIST)" "$(STANDINS_DIST) $(MODULE_DIST)"; do \
	  venv=$(WHEEL_VENV)-$${order%% *}-first; \
	  $(PY) -m venv $$venv; \
	  for dist in $$order; do $(call wheel_pip,$$venv) dist/$$dist-*.whl; done; \
	  (cd /tmp && $(CURDIR)/$$venv/bin/python $(CURDIR)/examples/demo.py >/dev/null); \
	  echo "wheels ok, $${order/ / then }: demo ran with $$($$venv/bin/python -c \
	    'import quorin.core.pdk as p; print(p.__file__)')"; \
	done
	$(call install_deps,$(WHEEL_VENV)-$(STANDINS_DIST)-first/bin/python,test)
	cd /tmp && $(CURDIR)/$(WHEEL_VENV)-$(STANDINS_DIST)-first/bin/python -m pytest -q -p no:cacheprovider \
	  $(CURDIR)/tests/test_distributions.py

# The API pages of the installed package, in build/docs, every warning an
# error. Sphinx runs the .pyi stub in place of the native module; the second
# build makes it import the module itself and read the functions' own
# signatures and docstrings, which must come out as clean.
SPHINX := $(PY) -m sphinx -E -q -W --keep-going -b html
docs: install
	$(call install_deps,$(PY),docs)
	$(SPHINX) docs build/docs
	SPHINX_AUTODOC_IGNORE_NATIVE_MODULE_TYPE_STUBS=1 $(SPHINX) docs build/docs-native
	@echo "docs: build/docs/index.html"

clean:
	rm -rf build dist $(VENV) $(ASAN_VENV) $(WHEEL_VENV)* .venv-newest .pytest_cache
