#!/usr/bin/env bash
# Tests: the same set-up as run.sh, then the C++ GoogleTest suite (build/cpp) and the whole
# pytest suite against the installed module. Extra arguments go to pytest. Fails if either fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zel_setup
cd "$ZEL_ROOT"

failed=()

zel_log "C++ unit tests (build/cpp)"
# Configured every time (a second of work): the options given here always take effect, even in
# a build directory configured earlier with others.
if cmake -S . -B build/cpp -G Ninja -DZEL_PYTHON=OFF -DZEL_BUILD_TESTS=ON -DZEL_SANITIZE=OFF \
    -DZEL_TEST_HOOKS=ON -DZEL_FUZZ=OFF >/dev/null; then
    if cmake --build build/cpp -j 2; then
        zel_ctest build/cpp || failed+=("C++ tests")
    else
        failed+=("C++ test build")
    fi
else
    failed+=("C++ test configure")
fi

zel_log "Python tests"
"$ZEL_PY" -m pytest tests/python "$@" || failed+=("pytest")

if ((${#failed[@]})); then
    printf 'FAILED: %s\n' "${failed[@]}" >&2
    exit 1
fi
zel_log "all tests passed"
