#!/usr/bin/env bash
# The whole pytest suite, thread stress tests included, on the free-threaded CPython 3.13 with
# the GIL left at its default (off): `scripts/test-python.sh 3.13t`, which see. Extra arguments
# go to pytest.
set -euo pipefail
exec bash "$(dirname "${BASH_SOURCE[0]}")/test-python.sh" 3.13t "$@"
