#!/usr/bin/env bash
# Reference leaks: tests/python/test_refleaks.py on a debug free-threaded CPython 3.13 (its
# sys.gettotalrefcount counts every reference taken and dropped). Builds or reuses the
# interpreter and its venv through `build-python.sh 3.13t-debug`, builds the module for it with the
# test hooks (so the panic path is measured too) in build/refleaks, and runs the test file
# against that build. Extra arguments go to pytest.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$ZEL_ROOT"

py="$(bash scripts/build-python.sh --no-module 3.13t-debug | tail -n1)"
[[ -x "$py" ]] || zel_die "build-python.sh gave no interpreter"
"$py" -c 'import sys; sys.exit(not hasattr(sys, "gettotalrefcount"))' ||
    zel_die "$py has no sys.gettotalrefcount: not a debug build"
export PATH="$(dirname "$py"):$PATH" # cmake and ninja of that venv

build=build/refleaks
site="$ZEL_ROOT/$build/site"
# The build directory belongs to one interpreter: start afresh when it was made for another.
if [[ -f "$build/.python" && "$(<"$build/.python")" != "$py" ]]; then
    rm -rf "$build"
fi
mkdir -p "$build"
printf '%s\n' "$py" >"$build/.python"

zel_log "module with test hooks for the debug interpreter ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_TEST_HOOKS=ON \
    -DPython_EXECUTABLE="$py" >/dev/null
nice -n 10 cmake --build "$build" -j 2
cmake --install "$build" --prefix "$site" >/dev/null

export PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}"
imported="$("$py" -c 'import _zel_core; print(_zel_core.__file__)')"
[[ "$imported" == "$site"/* ]] || zel_die "the tests would import $imported, not the build in $site"

zel_log "reference-leak tests on $py"
"$py" -m pytest -p no:cacheprovider tests/python/test_refleaks.py "$@"
