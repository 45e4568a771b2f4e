#!/usr/bin/env bash
# The whole pytest suite, thread stress tests included, on a free-threaded CPython 3.13 with the
# GIL left at its default (off): builds or reuses the interpreter, its venv and the module
# through build-python-ft.sh. Extra arguments go to pytest. Fails if any test fails, or if
# importing the module turns the GIL on.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

py="$(bash scripts/build-python-ft.sh | tail -n1)"
[[ -x "$py" ]] || { printf 'error: build-python-ft.sh gave no interpreter\n' >&2; exit 1; }

# PYTHON_GIL=1 would force the GIL back on and make the run meaningless.
unset PYTHON_GIL

# Checked here as well as by tests/python/test_free_threading.py, which skips itself when the
# interpreter is not a free-threaded build.
"$py" -c '
import sys, sysconfig
assert sysconfig.get_config_var("Py_GIL_DISABLED") == 1, "not a free-threaded build"
import _zel_core
assert not sys._is_gil_enabled(), "importing _zel_core turned the GIL on"
' || { printf 'error: %s is not running free-threaded with _zel_core\n' "$py" >&2; exit 1; }

printf '[zel] pytest on %s (GIL disabled)\n' "$py"
"$py" -m pytest -p no:cacheprovider tests/python "$@"
