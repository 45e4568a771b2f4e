#!/usr/bin/env bash
# The free-threaded CPython 3.13 of the thread and reference-leak tests: the same as
# `scripts/build-python.sh 3.13t` (with --debug: 3.13t-debug), which see.
#
#   scripts/build-python-ft.sh [--debug] [--no-module]
set -euo pipefail
exec bash "$(dirname "${BASH_SOURCE[0]}")/build-python.sh" "$@" 3.13t
