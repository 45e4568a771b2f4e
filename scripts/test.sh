#!/usr/bin/env bash
# Tests: the same set-up as run.sh, then the C++ GoogleTest suite (build/cpp, through CTest) and
# the whole pytest suite against the installed module. Extra arguments go to pytest. Fails if
# either fails. `python3 scripts/zel.py test`, which see.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/py.sh"
exec "$ZEL_HOST_PY" "$(dirname "${BASH_SOURCE[0]}")/zel.py" test "$@"
