# Every target bootstraps .venv with a CPython 3.13 that has its C headers.
# A python3.13 on PATH may be a pyenv shim that fails because pyenv selected
# another version, so candidates are probed: PYTHON=..., pyenv's 3.13 builds,
# then the system's python3.13.

VENV := .venv
PY := $(VENV)/bin/python
PIP := $(PY) -m pip --disable-pip-version-check
BUILD_DEPS := "scikit-build-core>=0.10" "cmake>=3.26" "ninja>=1.11"
TEST_DEPS := "frozendict>=2.4" "pytest>=8" "hypothesis>=6"

probe = $(shell "$(1)" -c 'import os, sys, sysconfig; ok = sys.version_info[:2] == (3, 13) and os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")); print(sys.executable if ok else "")' 2>/dev/null)
candidates = $(PYTHON) $(wildcard $(shell pyenv root 2>/dev/null)/versions/3.13*/bin/python3.13) $(shell command -v python3.13 2>/dev/null) /usr/bin/python3.13 /usr/local/bin/python3.13
find_python = $(firstword $(foreach c,$(candidates),$(call probe,$(c))))

.PHONY: test demo install bench asan lint clean

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

clean:
	rm -rf build $(VENV) .pytest_cache
