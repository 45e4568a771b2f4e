#!/usr/bin/env bash
# Main job: set up everything that is missing (Debian packages, .venv, tools), build and install
# _zel_core into the venv when its sources changed, then run examples/quickstart.py.
# `python3 scripts/zel.py run`, which see.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/py.sh"
exec "$ZEL_HOST_PY" "$(dirname "${BASH_SOURCE[0]}")/zel.py" run "$@"
