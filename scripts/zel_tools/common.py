"""What every step of the release shares: paths, logging, running programs, tool venvs, Debian
root file systems, and the platforms a wheel is built for."""

from __future__ import annotations

import hashlib
import os
import shutil
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

from . import provision
from .requirements import group

ROOT = provision.ROOT
CACHE = provision.CACHE
ZIG_VERSION = "0.17.1"

# The interpreters a wheel is built for ("t": free-threaded).
VERSIONS = ("3.13", "3.13t", "3.14", "3.14t", "3.15", "3.15t")


@dataclass(frozen=True)
class Platform:
    """Where a wheel runs."""

    name: str
    zig: str  # Zig's -target
    machine: str  # uname -m, as in the wheel's platform tag
    libc: str  # "gnu" or "musl"
    policy: str  # the tag auditwheel must give
    triplet: str  # the multiarch name, as in the extension suffix


PLATFORMS = {
    p.name: p
    for p in (
        Platform("x86_64-manylinux", "x86_64-linux-gnu.2.17", "x86_64", "gnu",
                 "manylinux_2_17_x86_64", "x86_64-linux-gnu"),
        Platform("aarch64-manylinux", "aarch64-linux-gnu.2.17", "aarch64", "gnu",
                 "manylinux_2_17_aarch64", "aarch64-linux-gnu"),
        Platform("x86_64-musllinux", "x86_64-linux-musl", "x86_64", "musl",
                 "musllinux_1_2_x86_64", "x86_64-linux-musl"),
        Platform("aarch64-musllinux", "aarch64-linux-musl", "aarch64", "musl",
                 "musllinux_1_2_aarch64", "aarch64-linux-musl"),
    )
}

NATIVE_MACHINE = os.uname().machine


def log(text: str) -> None:
    print(f"[zel] {text}", flush=True)


def run(*args: str | os.PathLike[str], **kwargs) -> subprocess.CompletedProcess[str]:
    return subprocess.run([str(a) for a in args], check=True, text=True, **kwargs)


def ensure_debs(*packages: str) -> None:
    provision.ensure_debs(*packages)


def host_python() -> Path:
    """The machine's CPython 3.13 (the one scripts/test.sh uses)."""
    return provision.find_python()


def zel_command(*args: str) -> str:
    """Runs `python3 scripts/zel.py ARGS` in a process of its own (its failures are exit
    statuses, whichever thread asks) and returns the last line it printed."""
    out = subprocess.run([sys.executable, str(ROOT / "scripts/zel.py"), *args], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    lines = out.split()
    if not lines:
        raise subprocess.CalledProcessError(1, ["zel.py", *args])
    return lines[-1]


def tools_venv(name: str, *requirements: str, base: Path | None = None) -> Path:
    """A venv under the cache made from `base` (the machine's CPython 3.13 by default), holding
    `requirements` (wheels only); returns its python. The name gets a hash of the base
    interpreter's path, so that venvs of different interpreters never replace each other."""
    base = base or host_python()
    venv = CACHE / f"{name}-{hashlib.sha256(str(base).encode()).hexdigest()[:8]}"
    stamp = venv / ".zel-requirements"
    want = "\n".join([str(base), *requirements])
    if not (stamp.is_file() and stamp.read_text() == want):
        log(f"creating {venv} ({', '.join(requirements)})")
        shutil.rmtree(venv, ignore_errors=True)
        run(base, "-m", "venv", venv)
        run(venv / "bin/python", "-m", "pip", "install", "-q", "--only-binary=:all:",
            *requirements)
        stamp.write_text(want)
    return venv / "bin/python"


def zig_python() -> Path:
    """A Python that runs Zig (`python -m ziglang`), from PyPI's ziglang package."""
    return tools_venv("venv-zig", f"ziglang=={ZIG_VERSION}")


def zig_wrappers(platform: Platform, directory: Path) -> dict[str, Path]:
    """cc, c++, ar and ranlib for `platform` as programs (CMake and configure take a compiler
    path, not a command line)."""
    zig = zig_python()
    directory.mkdir(parents=True, exist_ok=True)
    tools = {}
    for tool in ("cc", "c++", "ar", "ranlib"):
        extra = f" -target {platform.zig}" if tool in ("cc", "c++") else ""
        path = directory / f"zig-{tool}"
        # PYTHONHOME of a Debian-tree interpreter's launcher must not reach Zig's Python.
        path.write_text(f'#!/bin/sh\nexec env -u PYTHONHOME "{zig}" -m ziglang {tool}{extra} "$@"\n')
        path.chmod(0o755)
        tools[tool] = path
    return tools


def debian_tree(root: Path, suite: str, options: list[str], packages: list[str]) -> Path:
    """A Debian `suite` root file system with `packages`, made by mmdebstrap from the machine's
    own mirror beside `root` (at <root>.tmp, which the caller moves into place when complete)."""
    mirror = provision.debian_mirror()
    ensure_debs("mmdebstrap")
    log(f"building the Debian {suite} tree in {root} from {mirror}")
    partial = root.with_name(root.name + ".tmp")
    shutil.rmtree(partial, ignore_errors=True)
    run("mmdebstrap", "--mode=root", *options, "--include=" + ",".join(packages), suite,
        partial, mirror)
    return partial


def python_tarball(version: str) -> Path:
    """The verified upstream source tarball of CPython `version` ("3.13", "3.14", "3.15"), as the
    provisioning fetches it from Debian's source package."""
    return Path(zel_command("source", version.rstrip("t")))


def build_interpreter(version: str) -> Path:
    """The x86-64 CPython `version` of this machine: the machine's own 3.13, the others from
    the provisioning (compiled, or Debian's packages run from an extracted tree)."""
    if version == "3.13":
        return host_python()
    return Path(os.path.realpath(build_venv(version)))


def build_venv(version: str) -> Path:
    """The python of a venv of the x86-64 CPython `version` holding the build frontend: made
    here for the machine's 3.13, the provisioning's own venv (which has the build tools)
    for the others, whose Debian-tree launchers cannot make a venv with pip."""
    if version == "3.13":
        return tools_venv("venv-build-3.13", *group("release"))
    python = Path(zel_command("interpreter", "--no-module", version))
    # Not every one of those venvs has the frontend itself (and run from the checkout, its
    # build/ directory would pass for it).
    found = subprocess.run([python, "-c", "import importlib.util as u; "
                            "print(u.find_spec('build.__main__') is not None)"],
                           cwd="/", stdout=subprocess.PIPE, text=True).stdout.strip()
    if found != "True":
        log(f"installing the build frontend into {python.parent.parent}")
        run(python, "-m", "pip", "install", "-q", "--only-binary=:all:", "build", cwd="/")
    return python
