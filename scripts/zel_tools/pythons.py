"""The interpreters a wheel is built for and tested with: the headers to compile against for every
version and platform, and an interpreter to run the tests, on this machine or under qemu.

Where the headers come from:
  - x86-64 glibc: the include directory of the interpreter itself (the machine's 3.13, the
    free-threaded 3.13 of the provisioning (zel.py interpreter), Debian's 3.14 and 3.15 of its amd64 tree;
    Debian's pyconfig.h, which only includes the machine's own, is replaced by that one).
  - the other platforms, for versions whose source tarball can be had (3.13): Include/ of the
    verified tarball with the pyconfig.h that CPython's own configure writes for the target,
    cross compiling with the platform's Zig compiler (cached under CACHE/headers).
  - versions whose source cannot be had (the mirror serves only Debian's binary packages of
    3.14 and 3.15, and Debian builds neither free-threaded): Debian's headers of the same
    machine, with every setting that configure gives 3.13 differently for the free-threaded
    build and for musl (measured here) carried over; see derived_headers().

Where the interpreters come from:
  - x86-64 glibc: the provisioning (zel.py interpreter) (the machine's own for 3.13).
  - ARM64 glibc: Debian's arm64 packages (3.13 of trixie, 3.14 and 3.15 of sid), and 3.13t
    compiled here by Debian's cross GCC against the sid tree; run under qemu-aarch64.
  - musl: 3.13 compiled here, dynamically linked (a static interpreter cannot load extension
    modules) and with zlib: by musl-gcc for x86-64, by Zig for ARM64 (run under qemu-aarch64
    with the sid tree's musl).
  - none for 3.14t and 3.15t, nor for 3.14 and 3.15 on musl: no source to compile them from.
"""

from __future__ import annotations

import functools
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
    from zel_tools.common import (CACHE, NATIVE_MACHINE, PLATFORMS, VERSIONS, Platform,
                                    debian_tree, ensure_debs, host_python, log, python_tarball,
                                    run, zel_command, zig_wrappers)
    from zel_tools import provision
else:
    from .common import (CACHE, NATIVE_MACHINE, PLATFORMS, VERSIONS, Platform, debian_tree,
                         ensure_debs, host_python, log, python_tarball, run, zel_command,
                         zig_wrappers)
    from . import provision


# ---------------------------------------------------------------------------------------------
# Debian arm64 trees

TRIXIE_PACKAGES = ["base-files", "python3.13", "libpython3.13-dev", "python3.13-dev",
                   "python3-pytest", "python3-hypothesis"]

# Debian's 3.14 and 3.15, and the libraries (with headers) that a CPython cross-compiled against
# this tree links to.
SID_PACKAGES = ["base-files", "musl", "python3.14", "libpython3.14-dev", "python3.14-dev",
                "python3.15", "libpython3.15-dev", "python3.15-dev",
                "libc6-dev", "zlib1g-dev", "libffi-dev", "libssl-dev", "libbz2-dev",
                "liblzma-dev", "libsqlite3-dev", "libexpat1-dev", "uuid-dev"]


def _tree(name: str, suite: str, packages: list[str]) -> Path:
    root = CACHE / name
    want = f"{suite} " + " ".join(packages)
    marker = root / ".zel-packages"
    if marker.is_file() and marker.read_text().strip() == want:
        return root
    ensure_debs("qemu-user")
    # The development suite's index may be past its Valid-Until date on a mirror that no longer
    # updates it; its signature is still checked.
    partial = debian_tree(root, suite, ["--arch=arm64", "--variant=extract",
                                        '--aptopt=Acquire::Check-Valid-Until "false"'], packages)
    (partial / ".zel-packages").write_text(want + "\n")
    shutil.rmtree(root, ignore_errors=True)
    partial.rename(root)
    return root


def arm64_trixie() -> Path:
    """Debian 13 arm64 with CPython 3.13 (the same tree as portable_wheel.py's)."""
    return _tree("arm64-trixie", "trixie", TRIXIE_PACKAGES)


def arm64_sid() -> Path:
    """Debian sid arm64 with CPython 3.14 and 3.15 and the -dev packages of the libraries that
    CPython's standard modules use."""
    return _tree("arm64-sid", "sid", SID_PACKAGES)


def _byte_compiled(root: Path, minor: str, compiler: Path) -> None:
    """Byte-compiles the tree's standard library with a native interpreter of the same minor
    version (the bytecode is the same on every machine): the packages were extracted, never
    configured, and an emulated interpreter compiling every module it imports at each start
    takes seconds per module (and writes nothing where PYTHONDONTWRITEBYTECODE is set)."""
    lib = root / f"usr/lib/python{minor}"
    stamp = lib / ".zel-compiled"
    if stamp.is_file():
        return
    log(f"byte-compiling {lib} with {compiler}")
    subprocess.run([str(compiler), "-m", "compileall", "-q", "-j2", "-x", r"(test|idlelib)/",
                    str(lib)], check=False, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, PYTHONDONTWRITEBYTECODE=""))
    stamp.write_text("")


# ---------------------------------------------------------------------------------------------
# Headers

@dataclass(frozen=True)
class Headers:
    include: Path  # Python.h and the target's own pyconfig.h
    ext_suffix: str  # e.g. ".cpython-313t-aarch64-linux-gnu.so"


def split(version: str) -> tuple[str, bool]:
    """"3.13t" -> ("3.13", True)."""
    if version not in VERSIONS:
        raise ValueError(f"unknown interpreter version {version!r} (known: {', '.join(VERSIONS)})")
    return version.rstrip("t"), version.endswith("t")


def ext_suffix(version: str, platform: Platform) -> str:
    minor, ft = split(version)
    return f".cpython-{minor.replace('.', '')}{'t' if ft else ''}-{platform.triplet}.so"


# Answers to the questions that CPython's configure cannot find out by running a program when
# it cross-compiles: every Linux this is built for has /dev/ptmx and a working getaddrinfo, and
# both machines read unaligned memory (else pyhash.h picks another hash algorithm); wchar_t is
# signed on x86-64 and unsigned on ARM64 (HAVE_USABLE_WCHAR_T).
CONFIG_SITE = """\
ac_cv_file__dev_ptmx=yes
ac_cv_file__dev_ptc=no
ac_cv_buggy_getaddrinfo=no
ac_cv_aligned_required=no
"""
WCHAR_T_SIGNED = {"x86_64": "yes", "aarch64": "no"}


def config_site(platform: Platform) -> str:
    return CONFIG_SITE + f"ac_cv_wchar_t_signed={WCHAR_T_SIGNED[platform.machine]}\n"

_DEFINE = re.compile(r"^[ \t]*#[ \t]*define[ \t]+(\w+)(?:[ \t]+(.*?))?[ \t]*$")
_UNDEF = re.compile(r"^[ \t]*/\*[ \t]*#[ \t]*undef[ \t]+(\w+)[ \t]*\*/[ \t]*$")


def defines(text: str) -> dict[str, str | None]:
    """The macros of a pyconfig.h as configure writes it: name -> value ("" when defined
    without a value), None for the ones it leaves undefined (`/* #undef NAME */`)."""
    result: dict[str, str | None] = {}
    for line in text.splitlines():
        if m := _DEFINE.match(line):
            result[m[1]] = m[2] or ""
        elif m := _UNDEF.match(line):
            result.setdefault(m[1], None)
    return result


def differences(a: dict[str, str | None], b: dict[str, str | None]) -> dict[str, str | None]:
    """The macros whose setting in `b` is not the one in `a`, with b's setting."""
    return {k: b.get(k) for k in sorted(set(a) | set(b)) if a.get(k) != b.get(k)}


def with_changes(text: str, changes: dict[str, str | None]) -> str:
    """`text` (a pyconfig.h) with each macro of `changes` defined to its value or left
    undefined (None); macros it did not mention are added before its closing #endif."""
    left = dict(changes)
    out = []
    for line in text.splitlines():
        m = _DEFINE.match(line) or _UNDEF.match(line)
        if m and m[1] in left:
            value = left.pop(m[1])
            line = f"/* #undef {m[1]} */" if value is None else f"#define {m[1]} {value}".rstrip()
        out.append(line)
    added = [f"#define {k} {v}".rstrip() for k, v in left.items() if v is not None]
    if added:
        last_endif = max((i for i, line in enumerate(out) if line.startswith("#endif")),
                         default=len(out))
        out[last_endif:last_endif] = added
    return "\n".join(out) + "\n"


# What an extension's binary interface depends on: the sizes and alignments of C types, byte
# order, and the interpreter's own build options.
ABI_MACRO = re.compile(r"^(SIZEOF_|ALIGNOF_|Py_|WORDS_BIGENDIAN$|DOUBLE_IS_|HAVE_GCC_UINT128_T$)")


def abi_differences(a: str, b: str) -> dict[str, tuple[str | None, str | None]]:
    """The macros that matter to an extension on which two pyconfig.h texts disagree."""
    da, db = defines(a), defines(b)
    return {k: (da.get(k), db.get(k)) for k in sorted(set(da) | set(db))
            if ABI_MACRO.match(k) and da.get(k) != db.get(k)}


def _install_headers(include: Path, pyconfig: str, dest: Path, suffix: str) -> Headers:
    """Copies the header tree `include` and the text `pyconfig` into the cache entry `dest`
    (made complete beside it, then moved into place)."""
    dest.parent.mkdir(parents=True, exist_ok=True)
    partial = Path(tempfile.mkdtemp(prefix=dest.name + ".", dir=dest.parent))
    shutil.copytree(include, partial / "include", symlinks=False,
                    ignore=shutil.ignore_patterns("pyconfig.h"))
    (partial / "include/pyconfig.h").write_text(pyconfig)
    (partial / "ext_suffix").write_text(suffix + "\n")
    partial.chmod(0o755)
    if found := _cached(dest):  # another run made it meanwhile
        shutil.rmtree(partial)
        return found
    shutil.rmtree(dest, ignore_errors=True)
    partial.rename(dest)
    return Headers(dest / "include", suffix)


def _cached(dest: Path) -> Headers | None:
    if (dest / "ext_suffix").is_file() and (dest / "include/Python.h").is_file():
        return Headers(dest / "include", (dest / "ext_suffix").read_text().strip())
    return None


def configure(source: Path, platform: Platform, ft: bool, build_python: Path,
              *args: str, env: dict[str, str] | None = None,
              tools: dict[str, Path] | None = None) -> float:
    """Runs CPython's configure in `source` for `platform` with its Zig compiler, or with
    `tools` (cc, c++, ar, ranlib), cross compiling from this machine; returns the seconds it
    took."""
    tools = tools or zig_wrappers(platform, source / ".zel-zig")
    (source / "config.site").write_text(config_site(platform))
    if platform.libc == "musl":
        _tell_musl(source)
    command = ["nice", "-n", "10", "./configure", "-q", f"--host={platform.triplet}",
               f"--build={NATIVE_MACHINE}-linux-gnu", f"CC={tools['cc']}", f"CXX={tools['c++']}",
               f"AR={tools['ar']}", f"RANLIB={tools['ranlib']}",
               f"--with-build-python={build_python}", "--without-ensurepip",
               "--disable-test-modules", *(["--disable-gil"] if ft else []), *args]
    start = time.monotonic()
    with open(source / "zel-configure.log", "w") as out:
        result = subprocess.run(command, cwd=source, stdout=out, stderr=subprocess.STDOUT,
                                env=dict(env or os.environ, CONFIG_SITE=str(source / "config.site")))
    if result.returncode != 0:
        tail = (source / "config.log").read_text(errors="replace").splitlines()[-40:]
        raise RuntimeError(f"configure for {platform.name} failed in {source}:\n" + "\n".join(tail))
    return time.monotonic() - start


def _tell_musl(source: Path) -> None:
    """CPython's configure recognises musl by a macro that musl's own <stdarg.h> defines; Zig's
    compiler brings its own <stdarg.h>, so the triplet (and with it the extension suffix) would
    lose its C library. The target is musl: the check is made to say so."""
    triplet_c = source / "Misc/platform_triplet.c"
    text = triplet_c.read_text()
    if "#  ifdef __DEFINED_va_list" not in text:
        raise RuntimeError(f"{triplet_c} no longer recognises musl as expected")
    triplet_c.write_text(text.replace("#  ifdef __DEFINED_va_list", "#  if 1", 1))


def _check_suffix(source: Path, version: str, platform: Platform) -> str:
    suffix = makefile_var(source, "EXT_SUFFIX")
    if suffix != ext_suffix(version, platform):
        raise RuntimeError(f"configure for {version} {platform.name} gave the extension suffix "
                           f"{suffix}, not {ext_suffix(version, platform)}")
    return suffix


def makefile_var(source: Path, name: str) -> str:
    for line in (source / "Makefile").read_text().splitlines():
        if m := re.match(rf"^{name}=\s*(.*?)\s*$", line):
            return m[1]
    raise KeyError(name)


def _build_python(minor: str) -> Path:
    """An interpreter of this machine of the `minor` version: configure requires one of the
    same version for a cross build (any build of it: only its version is checked, and it runs
    nothing of the target's)."""
    if minor == "3.13":
        return host_python()
    return _built_python(minor)


def configured_headers(version: str, platform: Platform) -> Headers:
    """Include/ of the verified source tarball and the pyconfig.h that CPython's configure
    writes for `platform` (cached by tarball, version and platform)."""
    minor, ft = split(version)
    tarball = _source_tarball(minor)
    if tarball is None:
        raise RuntimeError(f"no source of CPython {minor} to configure")
    stem = tarball.name.removesuffix(".orig.tar.xz")
    # The answers given to configure are part of the key: changing them configures anew.
    answers = hashlib.sha256(config_site(platform).encode()).hexdigest()[:8]
    dest = CACHE / "headers" / stem / f"{version}-{platform.name}-{answers}"
    if found := _cached(dest):
        return found
    work = Path(tempfile.mkdtemp(prefix=f"zel-headers-{version}-{platform.name}-"))
    try:
        run("tar", "-xf", tarball, "-C", work)
        (source,) = work.glob("Python-*")
        # The free-threaded and the default build of a platform ask the same questions: the
        # second configure takes the first one's answers from its cache file.
        cache_file = dest.parent / f"config-{platform.name}-{answers}.cache"
        dest.parent.mkdir(parents=True, exist_ok=True)
        # The compiler's path is among the settings a cache file must agree with: a fixed one.
        tools = zig_wrappers(platform, dest.parent / f"zig-{platform.name}")
        seconds = configure(source, platform, ft, _build_python(minor),
                            f"--cache-file={cache_file}", tools=tools)
        suffix = _check_suffix(source, version, platform)
        log(f"configure of {source.name} for {version} {platform.name}: {seconds:.0f} s")
        return _install_headers(source / "Include", (source / "pyconfig.h").read_text(), dest,
                                suffix)
    finally:
        shutil.rmtree(work, ignore_errors=True)


@functools.cache
def _source_tarball(minor: str) -> Path | None:
    """The verified tarball of `minor`, or None when the mirror has no source for it."""
    try:
        return python_tarball(minor)
    except subprocess.CalledProcessError:
        log(f"no source tarball of CPython {minor} can be had (see above): its headers come from "
            "Debian's binary packages")
        return None


@functools.cache
def _built_python(version: str) -> Path | None:
    """The venv python the provisioning makes for `version` (None when it cannot make it: the
    free-threaded builds need a source tarball)."""
    try:
        return Path(zel_command("interpreter", "--no-module", version))
    except subprocess.CalledProcessError as error:
        log(f"the interpreter {version} could not be provided (exit {error.returncode})")
        return None


def _interpreter_headers(python: Path, version: str, platform: Platform) -> Headers:
    """The include directory of a native interpreter. Debian's pyconfig.h only includes the
    one of the machine's multiarch directory beside it: such a tree is copied whole with the
    real pyconfig.h."""
    include, suffix = run(python, "-c", "import sysconfig; print(sysconfig.get_paths()['include']);"
                          "print(sysconfig.get_config_var('EXT_SUFFIX'))",
                          stdout=subprocess.PIPE).stdout.split()
    if suffix != ext_suffix(version, platform):
        raise RuntimeError(f"{python} has the extension suffix {suffix}, not "
                           f"{ext_suffix(version, platform)}")
    include_dir = Path(include)
    pyconfig = (include_dir / "pyconfig.h").read_text()
    minor, _ = split(version)
    wrapped = include_dir.parent / f"{platform.triplet}/python{minor}/pyconfig.h"
    if f"<{platform.triplet}/python{minor}/pyconfig.h>" not in pyconfig:
        return Headers(include_dir, suffix)
    dest = CACHE / "headers" / f"interpreter-{_patchlevel(include_dir)}" / f"{version}-{platform.name}"
    return _cached(dest) or _install_headers(include_dir, wrapped.read_text(), dest, suffix)


def _patchlevel(include: Path) -> str:
    m = re.search(r'#define PY_VERSION\s+"([^"]+)"', (include / "patchlevel.h").read_text())
    if not m:
        raise RuntimeError(f"{include}/patchlevel.h gives no PY_VERSION")
    return m[1]


def _debian_pyconfig(platform: Platform, minor: str) -> tuple[Path, Path]:
    """Debian's include directory and real pyconfig.h of CPython `minor` for the machine of
    `platform` (the amd64 tree of the provisioning (zel.py interpreter), or the arm64 sid tree)."""
    if platform.machine == NATIVE_MACHINE:
        if minor == "3.13":
            raise RuntimeError("CPython 3.13's headers come from its source, not from Debian")
        _built_python(minor)  # makes the tree
        root = CACHE / "amd64-sid"
    else:
        root = arm64_trixie() if minor == "3.13" else arm64_sid()
    include = root / f"usr/include/python{minor}"
    return include, root / f"usr/include/{platform.machine}-linux-gnu/python{minor}/pyconfig.h"


def _gnu(platform: Platform) -> Platform:
    (gnu,) = (p for p in PLATFORMS.values() if p.machine == platform.machine and p.libc == "gnu")
    return gnu


def derived_headers(version: str, platform: Platform) -> Headers:
    """For a version whose source cannot be had: Debian's headers of the platform's machine,
    with every macro that CPython 3.13's configure sets differently for the free-threaded
    build and for musl (measured here: 3.13 for glibc against 3.13[t] for `platform`) set
    the way it sets them. The sizes, alignments and byte order are the machine's and equal
    on both sides; what changes are Py_GIL_DISABLED and the C library's features."""
    minor, ft = split(version)
    include, real = _debian_pyconfig(platform, minor)
    suffix = ext_suffix(version, platform)
    changes: dict[str, str | None] = {}
    if ft or platform.libc != "gnu":
        plain = configured_headers("3.13", _gnu(platform))
        target = configured_headers("3.13t" if ft else "3.13", platform)
        changes = differences(defines((plain.include / "pyconfig.h").read_text()),
                              defines((target.include / "pyconfig.h").read_text()))
    if not changes:
        return _interpreter_headers_from(include, real, version, platform)
    dest = CACHE / "headers" / f"debian-{_patchlevel(include)}" / f"{version}-{platform.name}"
    if found := _cached(dest):
        return found
    text = (f"/* Debian's {platform.machine} pyconfig.h of CPython {_patchlevel(include)}, with "
            f"the settings that configure gives 3.13{'t' if ft else ''} for {platform.triplet} "
            "where they differ from its glibc build. */\n" + with_changes(real.read_text(), changes))
    return _install_headers(include, text, dest, suffix)


def _interpreter_headers_from(include: Path, real: Path, version: str,
                              platform: Platform) -> Headers:
    dest = CACHE / "headers" / f"debian-{_patchlevel(include)}" / f"{version}-{platform.name}"
    return _cached(dest) or _install_headers(include, real.read_text(), dest,
                                             ext_suffix(version, platform))


def headers(version: str, platform: Platform) -> Headers:
    """The headers to compile an extension for CPython `version` on `platform` against."""
    minor, ft = split(version)
    if platform.machine == NATIVE_MACHINE and platform.libc == "gnu":
        python = host_python() if version == "3.13" else _built_python(version)
        if python is not None:
            return _interpreter_headers(python, version, platform)
        return derived_headers(version, platform)
    if _source_tarball(minor) is not None:
        return configured_headers(version, platform)
    return derived_headers(version, platform)


# ---------------------------------------------------------------------------------------------
# Interpreters

@dataclass(frozen=True)
class Interpreter:
    version: str
    platform: Platform
    program: Path  # runs the interpreter on this machine (under qemu for another machine)
    description: str  # e.g. "CPython 3.13.5 (Debian 13 arm64) under qemu-aarch64"


PROBE = ("import sys, platform, zlib, hashlib; print(sys.version.split()[0], platform.machine(), "
         "sys._is_gil_enabled() if hasattr(sys, '_is_gil_enabled') else True)")


def _launcher(name: str, python: Path, home: Path | None, qemu: str | None = None,
              root: Path | None = None, loader: Path | None = None,
              library_path: str | None = None) -> Path:
    """A program in CACHE/bin that starts `python`: under qemu (with `root` for the dynamic
    loader and libraries) or through an explicit dynamic `loader`. argv[0] is the launcher
    itself, so that the interpreter takes it for sys.executable and a test that starts
    sys.executable goes through it again."""
    path = CACHE / "bin" / name
    path.parent.mkdir(parents=True, exist_ok=True)
    env = f"PYTHONHOME='{home}' " if home else ""
    if qemu:
        command = f"exec {qemu} {f'-L {root} ' if root else ''}-0 \"$0\" '{python}' \"$@\""
    elif loader:
        command = (f"exec '{loader}' {f'--library-path {library_path} ' if library_path else ''}"
                   f"--argv0 \"$0\" '{python}' \"$@\"")
    else:
        command = f"exec '{python}' \"$@\""
    partial = path.with_name(path.name + ".tmp")
    partial.write_text(f"#!/bin/sh\n{env}{command}\n")
    partial.chmod(0o755)
    partial.rename(path)
    return path


def _probe(program: Path) -> str | None:
    """Runs PROBE; returns its output, None (logged) when the interpreter fails it."""
    result = subprocess.run([str(program), "-c", PROBE], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, cwd="/")
    if result.returncode != 0:
        log(f"{program} does not work: {result.stderr.strip().splitlines()[-1:]}")
        return None
    return result.stdout.strip()


def _checked(version: str, platform: Platform, program: Path, origin: str) -> Interpreter | None:
    out = _probe(program)
    if out is None:
        return None
    full, machine, gil = out.split()
    minor, ft = split(version)
    if not full.startswith(minor + ".") or machine != platform.machine or (gil == "True") == ft:
        log(f"{program} is CPython {full} on {machine} (GIL enabled: {gil}), not {version} "
            f"for {platform.name}")
        return None
    emulated = "" if platform.machine == NATIVE_MACHINE else f" under qemu-{platform.machine}"
    return Interpreter(version, platform, program, f"CPython {full} ({origin}){emulated}")


def _debian_arm64(version: str, platform: Platform) -> Interpreter | None:
    minor, _ = split(version)
    if minor == "3.13":
        root, origin, compiler = arm64_trixie(), "Debian 13 arm64", host_python()
    else:
        root, origin, compiler = arm64_sid(), "Debian sid arm64", _built_python(minor)
    if compiler is not None:
        _byte_compiled(root, minor, compiler)
    program = _launcher(f"python{version}-{platform.name}", root / f"usr/bin/python{minor}",
                        root / "usr", qemu=f"qemu-{platform.machine}", root=root)
    return _checked(version, platform, program, origin)


def interpreter(version: str, platform: Platform) -> Interpreter | None:
    """An interpreter of `version` for `platform` that runs here, or None (logged) when none
    can be had."""
    minor, ft = split(version)
    if platform.machine == NATIVE_MACHINE and platform.libc == "gnu":
        python = host_python() if version == "3.13" else _built_python(version)
        if python is None:
            log(f"no CPython {version} for {platform.name}: the provisioning (zel.py interpreter) cannot make it")
            return None
        return _checked(version, platform, python, "the provisioning (zel.py interpreter)"
                        if version != "3.13" else "this machine's")
    if platform.libc == "gnu":
        if not ft:
            return _debian_arm64(version, platform)
        if _source_tarball(minor) is None:
            log(f"no CPython {version} for {platform.name}: Debian has no free-threaded build and "
                "its source cannot be had")
            return None
        return _cross_gnu(version, platform)
    if _source_tarball(minor) is None:
        log(f"no CPython {version} for {platform.name}: its source cannot be had")
        return None
    return _musl(version, platform)


def _upstream(tarball: Path) -> str:
    """python3.13_3.13.5.orig.tar.xz -> 3.13.5"""
    return tarball.name.split("_", 1)[1].removesuffix(".orig.tar.xz")


def _make_install(source: Path, prefix: Path, make_env: dict[str, str] | None = None) -> None:
    """make and make install into a staging directory, then the staged prefix into place."""
    env = dict(make_env or os.environ)
    with open(source / "zel-make.log", "w") as out:
        for step in (["make", "-j2"], ["make", "-j2", "install", f"DESTDIR={source}/stage"]):
            start = time.monotonic()
            result = subprocess.run(["nice", "-n", "10", *step], cwd=source, stdout=out,
                                    stderr=subprocess.STDOUT, env=env)
            if result.returncode != 0:
                tail = (source / "zel-make.log").read_text(errors="replace").splitlines()[-40:]
                raise RuntimeError(f"{' '.join(step)} failed in {source}:\n" + "\n".join(tail))
            log(f"  {' '.join(step)}: {time.monotonic() - start:.0f} s")
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    shutil.move(source / "stage" / prefix.relative_to("/"), prefix)


def _cross_gnu(version: str, platform: Platform) -> Interpreter | None:
    """CPython compiled here for ARM64 glibc by Debian's cross GCC against the sid tree (its
    C library and the -dev packages of zlib, libffi, OpenSSL and the rest), run under qemu
    with that tree as its root."""
    minor, ft = split(version)
    tarball = _source_tarball(minor)
    assert tarball is not None
    root = arm64_sid()
    prefix = CACHE / f"python-{_upstream(tarball)}{'-ft' if ft else ''}-{platform.name}"
    python = prefix / f"bin/python{version}"
    build_python = _built_python(version)
    if not python.exists():
        if build_python is None:
            log(f"no CPython {version} for {platform.name}: no build interpreter")
            return None
        gnu = f"{platform.machine}-linux-gnu"
        ensure_debs(f"gcc-{gnu}", "pkg-config")
        work = Path(tempfile.mkdtemp(prefix=f"zel-cpython-{version}-{platform.name}-"))
        try:
            run("tar", "-xf", tarball, "-C", work)
            (source,) = work.glob("Python-*")
            cc = work / "cc"
            cc.write_text(f'#!/bin/sh\nexec {gnu}-gcc --sysroot={root} "$@"\n')
            cc.chmod(0o755)
            tools = {"cc": cc, "c++": cc, "ar": Path(f"/usr/bin/{gnu}-ar"),
                     "ranlib": Path(f"/usr/bin/{gnu}-ranlib")}
            env = dict(os.environ, PKG_CONFIG_SYSROOT_DIR=str(root),
                       PKG_CONFIG_LIBDIR=f"{root}/usr/lib/{gnu}/pkgconfig:{root}/usr/share/pkgconfig")
            log(f"compiling {source.name} ({version}) for {platform.name} with {gnu}-gcc into {prefix}")
            seconds = configure(source, platform, ft, build_python, f"--prefix={prefix}",
                                "OPT=-DNDEBUG -O2", env=env, tools=tools)
            log(f"  configure: {seconds:.0f} s")
            _check_suffix(source, version, platform)
            _make_install(source, prefix, env)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    program = _launcher(f"python{version}-{platform.name}", python, prefix,
                        qemu=f"qemu-{platform.machine}", root=root)
    return _checked(version, platform, program, f"compiled here, Debian sid {platform.machine} libraries")


def _sha256(path: Path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def debian_orig_tarball(package: str, suite: str = "trixie") -> Path:
    """The upstream tarball of Debian's source package `package` in CACHE/src, checked against
    the sha256 that the suite's signed source index gives for it."""
    src = CACHE / "src"
    for found in sorted(src.glob(f"{package}_*.orig.tar.*"), reverse=True):
        if found.suffix == ".sha256":
            continue
        sums = found.with_name(found.name + ".sha256")
        if sums.is_file() and sums.read_text().strip() == _sha256(found):
            return found
    mirror = provision.debian_mirror()
    apt = Path(tempfile.mkdtemp(prefix="zel-apt-"))
    try:
        for d in ("lists/partial", "cache/archives/partial", "sources.list.d", "dl"):
            (apt / d).mkdir(parents=True)
        (apt / "sources.list").write_text(f"deb-src {mirror} {suite} main\n")
        for d in (apt, apt / "dl", apt / "lists/partial", apt / "cache/archives/partial"):
            d.chmod(0o777)
        opts = [f"-oDir::Etc::sourcelist={apt}/sources.list",
                f"-oDir::Etc::sourceparts={apt}/sources.list.d", f"-oDir::State::Lists={apt}/lists",
                f"-oDir::Cache={apt}/cache", "-oAcquire::Languages=none"]
        run("apt-get", *opts, "update", "-q", stdout=subprocess.DEVNULL)
        record = run("apt-cache", *opts, "showsrc", "--only-source", package,
                     stdout=subprocess.PIPE).stdout
        sums = {}
        in_sums = False
        for line in record.splitlines():
            if line.startswith("Checksums-Sha256:"):
                in_sums = True
            elif not line.startswith(" "):
                in_sums = False
            elif in_sums:
                digest, _, name = line.split()
                sums[name] = digest
        (name,) = [n for n in sums if ".orig.tar." in n][:1]
        # The mirror may lack the .dsc and Debian's changes; only the upstream tarball is used.
        subprocess.run(["apt-get", *opts, "source", "--download-only", "-q", package],
                       cwd=apt / "dl", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        got = apt / "dl" / name
        if not got.is_file() or _sha256(got) != sums[name]:
            raise RuntimeError(f"{name} of Debian {suite} could not be fetched and verified")
        log(f"verified {name} against Debian {suite}'s source index (sha256 {sums[name]})")
        src.mkdir(parents=True, exist_ok=True)
        shutil.copy(got, src / (name + ".part"))
        (src / (name + ".part")).rename(src / name)
        (src / (name + ".sha256")).write_text(sums[name] + "\n")
        return src / name
    finally:
        shutil.rmtree(apt, ignore_errors=True)


def _zlib(tools: dict[str, Path], work: Path) -> Path:
    """zlib as a static library of position-independent code, compiled by tools["cc"] into
    work/zlib (CPython's zlib module links it in); returns that prefix."""
    tarball = debian_orig_tarball("zlib")
    run("tar", "-xf", tarball, "-C", work)
    (source,) = [d for d in work.glob("zlib-*") if d.is_dir()]
    prefix = work / "zlib"
    env = dict(os.environ, CC=str(tools["cc"]), AR=str(tools["ar"]), RANLIB=str(tools["ranlib"]),
               CFLAGS="-O2 -fPIC")
    with open(work / "zlib.log", "w") as out:
        for step in (["./configure", "--static", f"--prefix={prefix}"], ["make", "-j2"],
                     ["make", "install"]):
            subprocess.run(["nice", "-n", "10", *step], cwd=source, env=env, stdout=out,
                           stderr=subprocess.STDOUT, check=True)
    return prefix


def _musl(version: str, platform: Platform) -> Interpreter | None:
    """CPython compiled here against musl, dynamically linked (a static one cannot load
    extension modules), with zlib: by Debian's musl-gcc for this machine (run by the machine's
    musl), by Zig for ARM64 (run under qemu with the sid tree's musl, which is as new as Zig's:
    the machine's is older than the symbols Zig's musl links to)."""
    minor, ft = split(version)
    tarball = _source_tarball(minor)
    assert tarball is not None
    native = platform.machine == NATIVE_MACHINE
    prefix = CACHE / f"python-{_upstream(tarball)}{'-ft' if ft else ''}-{platform.name}"
    python = prefix / f"bin/python{version}"
    root = None if native else arm64_sid()
    # The build runs the source's own Lib/ with the build interpreter: it must be the same
    # release (the machine's 3.13 may be an older one), of either kind.
    build_python = _built_python(f"{minor}t")
    if not python.exists():
        if build_python is None:
            log(f"no CPython {version} for {platform.name}: no build interpreter")
            return None
        work = Path(tempfile.mkdtemp(prefix=f"zel-cpython-{version}-{platform.name}-"))
        try:
            if native:
                ensure_debs("musl", "musl-dev", "musl-tools", "pkg-config")
                # CPython's configure compares the compiler's multiarch name with the triplet
                # it detects; musl-gcc reports the machine's glibc one.
                cc = work / "musl-cc"
                cc.write_text('#!/bin/sh\nfor a in "$@"; do [ "$a" = --print-multiarch ] && '
                              f'{{ echo {platform.triplet}; exit 0; }}; done\nexec musl-gcc "$@"\n')
                cc.chmod(0o755)
                tools = {"cc": cc, "c++": cc, "ar": Path("/usr/bin/ar"),
                         "ranlib": Path("/usr/bin/ranlib")}
                ldflags = cflags = ""
            else:
                ensure_debs("pkg-config")
                tools = zig_wrappers(platform, work / "zig")
                ldflags = "-dynamic"
                # Zig makes __DATE__ an error (reproducible builds); the interpreter records
                # its build time with it.
                cflags = "-Wno-error=date-time"
            zlib = _zlib(tools, work)
            run("tar", "-xf", tarball, "-C", work)
            (source,) = work.glob("Python-*")
            # Only our zlib: the machine's pkg-config would offer glibc-side libraries whose
            # headers the musl compiler does not see.
            env = dict(os.environ, PKG_CONFIG_LIBDIR=str(zlib / "lib/pkgconfig"))
            log(f"compiling {source.name} ({version}) for {platform.name} into {prefix}")
            seconds = configure(source, platform, ft, build_python, f"--prefix={prefix}",
                                "OPT=-DNDEBUG -O2", f"CFLAGS={cflags}", f"LDFLAGS={ldflags}",
                                env=env, tools=tools)
            log(f"  configure: {seconds:.0f} s")
            _check_suffix(source, version, platform)
            _make_install(source, prefix, env)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    if native:
        return _checked(version, platform, python, "compiled here with musl-gcc")
    program = _launcher(f"python{version}-{platform.name}", python, prefix,
                        qemu=f"qemu-{platform.machine}", root=root)
    return _checked(version, platform, program, "compiled here with Zig, Debian sid's musl")


def compare_with_debian() -> dict[str, tuple[str | None, str | None]]:
    """The macros that matter to an extension on which the pyconfig.h configured here for
    aarch64 glibc 3.13 and Debian's own for arm64 disagree (none, when all is well)."""
    mine = configured_headers("3.13", PLATFORMS["aarch64-manylinux"]).include / "pyconfig.h"
    debian = arm64_trixie() / "usr/include/aarch64-linux-gnu/python3.13/pyconfig.h"
    return abi_differences(mine.read_text(), debian.read_text())


def main(argv: list[str]) -> int:
    import argparse
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("what", choices=["headers", "interpreters", "compare"])
    parser.add_argument("--version", action="append", choices=VERSIONS)
    parser.add_argument("--platform", action="append", choices=sorted(PLATFORMS))
    args = parser.parse_args(argv)
    if args.what == "compare":
        diff = compare_with_debian()
        for name, (mine, debian) in diff.items():
            print(f"{name}: configured {mine!r}, Debian {debian!r}")
        print(f"{len(diff)} differences in the macros that matter to an extension")
        return 1 if diff else 0
    for platform in args.platform or PLATFORMS:
        for version in args.version or VERSIONS:
            start = time.monotonic()
            if args.what == "headers":
                h = headers(version, PLATFORMS[platform])
                print(f"{version:6} {platform:18} {h.ext_suffix:40} {h.include} "
                      f"({time.monotonic() - start:.0f} s)", flush=True)
            else:
                i = interpreter(version, PLATFORMS[platform])
                print(f"{version:6} {platform:18} "
                      f"{'-' if i is None else f'{i.program}  [{i.description}]'}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))


def libgcc_s(platform: Platform) -> Path:
    """The glibc platform's shared unwinder, which a Zig build links against by path (see
    ZEL_SHARED_UNWINDER in CMakeLists.txt)."""
    if platform.machine == NATIVE_MACHINE:
        found = run("gcc", "-print-file-name=libgcc_s.so.1", capture_output=True).stdout.strip()
        return Path(found).resolve()
    return arm64_trixie() / f"usr/lib/{platform.triplet}/libgcc_s.so.1"
