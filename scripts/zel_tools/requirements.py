"""The project's tool lists, kept once in pyproject.toml's [dependency-groups] and read here by
every script that installs tools (the provisioning through the command line below, the release and
test modules through `group`).

    python3 scripts/zel_tools/requirements.py [--missing] GROUP...

prints the requirements of the groups, one per line; with --missing, only those whose
distribution the running interpreter does not have installed.
"""

from __future__ import annotations

import importlib.metadata
import re
import sys
import tomllib
from pathlib import Path

PYPROJECT = Path(__file__).resolve().parents[2] / "pyproject.toml"


def group(name: str, _seen: tuple[str, ...] = ()) -> list[str]:
    """The requirements of a dependency group, included groups expanded, in order."""
    if name in _seen:
        raise ValueError(f"dependency group {name!r} includes itself")
    groups = tomllib.loads(PYPROJECT.read_text())["dependency-groups"]
    found: list[str] = []
    for entry in groups[name]:
        if isinstance(entry, dict):
            found += group(entry["include-group"], (*_seen, name))
        elif entry not in found:
            found.append(entry)
    return found


def distribution(requirement: str) -> str:
    match = re.match(r"[A-Za-z0-9][A-Za-z0-9._-]*", requirement)
    if not match:
        raise ValueError(f"not a requirement: {requirement!r}")
    return match.group(0)


def installed(requirement: str) -> bool:
    try:
        importlib.metadata.version(distribution(requirement))
    except importlib.metadata.PackageNotFoundError:
        return False
    return True


def main(argv: list[str]) -> int:
    missing = "--missing" in argv
    names = [a for a in argv if a != "--missing"]
    if not names:
        print(__doc__, file=sys.stderr)
        return 2
    wanted: list[str] = []
    for name in names:
        wanted += [r for r in group(name) if r not in wanted]
    for requirement in wanted:
        if not (missing and installed(requirement)):
            print(requirement)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
