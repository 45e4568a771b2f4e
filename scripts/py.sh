# Sourced by run.sh and test.sh: sets ZEL_HOST_PY to a Python of 3.11 or newer to run
# scripts/zel.py with (python3 first; the orchestration needs only the standard library).
ZEL_HOST_PY=""
for candidate in python3 python3.13 python3.12 python3.11 /usr/bin/python3; do
    if command -v "$candidate" >/dev/null 2>&1 &&
        "$candidate" -c 'import sys; sys.exit(sys.version_info < (3, 11))' >/dev/null 2>&1; then
        ZEL_HOST_PY="$candidate"
        break
    fi
done
if [[ -z "$ZEL_HOST_PY" ]]; then
    printf 'error: no Python 3.11 or newer on PATH to run scripts/zel.py with\n' >&2
    exit 1
fi
