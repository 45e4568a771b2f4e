#!/usr/bin/env bash
# Main job: set up everything that is missing (Debian packages, .venv, tools), build and install
# _zel_core into the venv when its sources changed, then run examples/quickstart.py.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zel_setup
cd "$ZEL_ROOT"
exec "$ZEL_PY" examples/quickstart.py
