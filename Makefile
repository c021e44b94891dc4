# Every target bootstraps .venv with a CPython 3.13 that has its C headers.
# A python3.13 on PATH may be a pyenv shim that fails because pyenv selected
# another version, so candidates are probed: PYTHON=..., pyenv's 3.13 builds,
# then the system's python3.13.

VENV := .venv
PY := $(VENV)/bin/python
PIP := $(PY) -m pip --disable-pip-version-check
BUILD_DEPS := "scikit-build-core>=0.10" "cmake>=3.26" "ninja>=1.11"
TEST_DEPS := "frozendict>=2.4" "pytest>=8" "hypothesis>=6"
LINT_DEPS := "ruff>=0.6" "mypy>=1.11" "clang-format>=18" "clang-tidy>=18"
CXX_SOURCES = $(shell find src -name '*.cpp' -o -name '*.hpp' | sort)

probe = $(shell "$(1)" -c 'import os, sys, sysconfig; ok = sys.version_info[:2] == (3, 13) and os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")); print(sys.executable if ok else "")' 2>/dev/null)
candidates = $(PYTHON) $(wildcard $(shell pyenv root 2>/dev/null)/versions/3.13*/bin/python3.13) $(shell command -v python3.13 2>/dev/null) /usr/bin/python3.13 /usr/local/bin/python3.13
find_python = $(firstword $(foreach c,$(candidates),$(call probe,$(c))))

.PHONY: test demo install bench asan lint wheel clean

$(VENV)/.ready:
	@py="$(find_python)"; \
	if [ -z "$$py" ]; then \
	  echo "error: no CPython 3.13 with its C headers found (tried: $(strip $(candidates)))." >&2; \
	  echo "Install one (for example with pyenv) or pass PYTHON=/path/to/python3.13." >&2; \
	  exit 1; \
	fi; \
	echo "using $$py"; \
	"$$py" -m venv $(VENV)
	$(PIP) install -q $(BUILD_DEPS) $(TEST_DEPS)
	touch $@

install: $(VENV)/.ready
	$(PIP) install -q --no-build-isolation --no-deps .

test: install
	$(PY) -m pytest -q

demo: install
	$(PY) examples/demo.py

# The extension against the plain-Python baseline in bench/, then end to end on a generated
# project; BENCH_ARGS=--quick for fewer runs, BENCH_ARGS="--before REV" to add older stand-ins.
bench: install
	$(PY) -m bench $(BENCH_ARGS)

# The extension built with AddressSanitizer and UndefinedBehaviorSanitizer, in
# a virtual environment of its own, and the whole suite run under it. The
# interpreter is not instrumented, so the sanitizer runtime is preloaded and
# the allocator is switched to malloc for the sanitizer to see every block.
ASAN_VENV := .venv-asan
ASAN_LIB := $(shell $${CXX:-g++} -print-file-name=libasan.so) $(shell $${CXX:-g++} -print-file-name=libstdc++.so)
asan: $(VENV)/.ready
	[ -x $(ASAN_VENV)/bin/python ] || $(PY) -m venv $(ASAN_VENV)
	$(ASAN_VENV)/bin/python -m pip --disable-pip-version-check install -q $(BUILD_DEPS) $(TEST_DEPS)
	$(ASAN_VENV)/bin/python -m pip --disable-pip-version-check install -q --no-build-isolation --no-deps \
	  -Ccmake.define.QUORIN_SANITIZE=ON -Cbuild-dir=build/asan -Ccmake.build-type=Debug .
	LD_PRELOAD="$(ASAN_LIB)" PYTHONMALLOC=malloc \
	  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_init_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(ASAN_VENV)/bin/python -m pytest -q -p no:cacheprovider

# clang-format and clang-tidy for the C++ sources (clang-tidy reads the compile
# commands of the build), ruff for the Python files, mypy on the stubs.
lint: install
	$(PIP) install -q $(LINT_DEPS)
	$(VENV)/bin/ruff check .
	$(VENV)/bin/ruff format --check .
	$(VENV)/bin/clang-format --dry-run --Werror $(CXX_SOURCES)
	$(VENV)/bin/clang-tidy --quiet -p $(firstword $(wildcard build/cp313-*)) $(filter %.cpp,$(CXX_SOURCES))
	cd python && ../$(PY) -m mypy --strict -p quorin -p lumset
	$(PY) -m mypy --strict examples/usage.py
	cd /tmp && $(CURDIR)/$(PY) -m mypy.stubtest quorin.core.pdk

# The wheel as users get it: built in an isolated environment (scikit-build-core
# brings CMake and ninja from the registry when the machine has none), installed
# into a new virtual environment with nothing else but its dependency.
wheel: $(VENV)/.ready
	rm -rf dist .venv-wheel
	$(PIP) wheel -q --no-deps -w dist .
	$(PY) -m venv .venv-wheel
	.venv-wheel/bin/python -m pip --disable-pip-version-check install -q dist/quorin-*.whl
	cd /tmp && $(CURDIR)/.venv-wheel/bin/python -c "import quorin.core.pdk as p, inspect; \
	  print('wheel ok:', p.__file__, inspect.signature(p.register_cells))"

clean:
	rm -rf build dist $(VENV) $(ASAN_VENV) .venv-wheel .pytest_cache
