#!/usr/bin/env bash
# The whole pytest suite on one of the interpreters of build-python.sh (3.13t, 3.14, 3.14t, 3.15,
# 3.15t, ...), which builds or reuses the interpreter, its venv and the module. On a free-threaded
# build the GIL stays at its default (off) and the thread stress tests run free-threaded. Extra
# arguments go to pytest. Fails if any test fails, or if importing the module turns the GIL on.
#
#   scripts/test-python.sh VERSION [pytest arguments]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

version="${1:?usage: scripts/test-python.sh VERSION [pytest arguments]}"
shift
py="$(bash scripts/build-python.sh "$version" | tail -n1)"
[[ -x "$py" ]] || { printf 'error: build-python.sh gave no interpreter\n' >&2; exit 1; }

# PYTHON_GIL=1 would force the GIL back on and make a free-threaded run meaningless.
unset PYTHON_GIL

# Checked here as well as by tests/python/test_free_threading.py, which skips itself when the
# interpreter is not a free-threaded build.
"$py" - "$version" <<'PY' || { printf 'error: %s is not the interpreter asked for\n' "$py" >&2; exit 1; }
import sys, sysconfig
version = sys.argv[1].removesuffix("-debug")
assert "%d.%d" % sys.version_info[:2] == version.removesuffix("t"), sys.version
free_threaded = version.endswith("t")
assert bool(sysconfig.get_config_var("Py_GIL_DISABLED")) == free_threaded, "wrong build"
import _zel_core
if free_threaded:
    assert not sys._is_gil_enabled(), "importing _zel_core turned the GIL on"
PY

printf '[zel] pytest on %s (%s)\n' "$py" "$("$py" -c 'import sys; print(sys.version.split()[0], "GIL disabled" if hasattr(sys, "_is_gil_enabled") and not sys._is_gil_enabled() else "with the GIL")')"
"$py" -m pytest -p no:cacheprovider tests/python "$@"
