"""Interim: headers and interpreters for CPython 3.13 only (x86-64 and ARM64 glibc, x86-64
musl), carried over from portable_wheel.py until the full matrix lands."""

from __future__ import annotations

import json
import shutil
from dataclasses import dataclass
from pathlib import Path

from .common import (CACHE, NATIVE_MACHINE, ROOT, Platform, build_interpreter, debian_tree,
                     ensure_debs, run)


@dataclass(frozen=True)
class Headers:
    include: Path
    ext_suffix: str


@dataclass(frozen=True)
class Interpreter:
    version: str
    platform: Platform
    program: Path
    description: str


def aarch64_root() -> Path:
    root = CACHE / "arm64-trixie"
    packages = ["base-files", "python3.13", "libpython3.13-dev", "python3.13-dev",
                "python3-pytest", "python3-hypothesis"]
    want = "trixie " + " ".join(packages)
    marker = root / ".zel-packages"
    if marker.is_file() and marker.read_text().strip() == want:
        return root
    ensure_debs("qemu-user")
    partial = debian_tree(root, "trixie", ["--arch=arm64", "--variant=extract"], packages)
    (partial / ".zel-packages").write_text(want + "\n")
    shutil.rmtree(root, ignore_errors=True)
    partial.rename(root)
    return root


def headers(version: str, platform: Platform) -> Headers:
    if platform.libc == "gnu" and platform.machine == NATIVE_MACHINE:
        info = json.loads(run(build_interpreter(version), "-c", "import json, sysconfig; print(json.dumps("
                              "[sysconfig.get_path('include'), sysconfig.get_config_var('EXT_SUFFIX'),"
                              " sysconfig.get_config_var('MULTIARCH')]))",
                              capture_output=True).stdout)
        include, suffix, multiarch = Path(info[0]), info[1], info[2]
        arch = include.parent / multiarch / include.name if multiarch else None
        if arch is not None and (arch / "pyconfig.h").is_file():
            # Debian's pyconfig.h includes the architecture's own from the system include path,
            # which the cross compiler does not search: a copy with that one in its place.
            copy = ROOT / "build" / f"headers-{version}-{platform.name}"
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(include, copy)
            shutil.copy(arch / "pyconfig.h", copy / "pyconfig.h")
            include = copy
        return Headers(include, suffix)
    if version != "3.13":
        raise SystemExit(f"error: no headers for {version} yet")
    if platform.libc == "musl" and platform.machine == "x86_64":
        prefix = CACHE / "python-3.13-musl"
        return Headers(prefix / "include/python3.13", f".cpython-313-{platform.triplet}.so")
    if platform.libc == "gnu" and platform.machine == "aarch64":
        root = aarch64_root()
        include = ROOT / "build" / "headers-3.13-aarch64-gnu"
        shutil.rmtree(include, ignore_errors=True)
        shutil.copytree(root / "usr/include/python3.13", include)
        arch = root / f"usr/include/{platform.triplet}/python3.13"
        shutil.copytree(arch, include / platform.triplet / "python3.13")
        shutil.copy(arch / "pyconfig.h", include / "pyconfig.h")
        return Headers(include, f".cpython-313-{platform.triplet}.so")
    raise SystemExit(f"error: no headers for {version} on {platform.name} yet")


def interpreter(version: str, platform: Platform) -> Interpreter | None:
    if version != "3.13":
        return None
    if platform.libc == "gnu" and platform.machine == "aarch64":
        root = aarch64_root()
        launcher = CACHE / "bin" / "python3.13-aarch64"
        launcher.parent.mkdir(parents=True, exist_ok=True)
        launcher.write_text(f"#!/bin/sh\nPYTHONHOME='{root}/usr' exec qemu-aarch64 -L '{root}' "
                            f"-0 \"$0\" '{root}/usr/bin/python3.13' \"$@\"\n")
        launcher.chmod(0o755)
        return Interpreter(version, platform, launcher,
                           "CPython 3.13 of Debian 13 arm64 under qemu-aarch64")
    if platform.libc == "musl" and platform.machine == "x86_64":
        python = CACHE / "python-3.13-musl/bin/python3.13"
        return Interpreter(version, platform, python, "CPython 3.13 built against musl")
    return None


def libgcc_s(platform: Platform) -> Path:
    """The platform's shared unwinder, to link against (see ZEL_SHARED_UNWINDER)."""
    if platform.machine == NATIVE_MACHINE:
        return Path(run("gcc", "-print-file-name=libgcc_s.so.1", capture_output=True).stdout.strip()).resolve()
    return aarch64_root() / f"usr/lib/{platform.triplet}/libgcc_s.so.1"
