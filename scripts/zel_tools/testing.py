"""Running the whole pytest suite against an installed wheel, wherever its interpreter runs:
in a fresh venv on this machine, inside a Debian 11 tree (glibc 2.31), or under qemu with the
target's own interpreter. The suite always runs from a scratch directory and checks
(ZEL_EXPECT_MODULE_DIR) that the module it imports is the wheel's, not a build in the checkout.
"""

from __future__ import annotations

import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

from . import pythons
from .requirements import group
from .common import (CACHE, NATIVE_MACHINE, PLATFORMS, ROOT, Platform, debian_tree, host_python, log, run,
                     python_tarball)

TEST_TOOLS = tuple(group("test"))


@dataclass
class Outcome:
    where: str
    counts: dict[str, int]  # "passed", "failed", "skipped", "error", ...
    ok: bool

    def __str__(self) -> str:
        shown = ", ".join(f"{n} {k}" for k, n in self.counts.items()) or "no result"
        return f"{shown} ({self.where})"


def pytest(argv: list[str | os.PathLike[str]], cwd: Path | None, env: dict[str, str], where: str,
           tests: str | os.PathLike[str] | list[Path] = ROOT / "tests/python", log_file: Path | None = None) -> Outcome:
    """Runs pytest on `tests` (argv: the command line that runs the interpreter, up to its own
    arguments) and reads its final counts; its output goes to `log_file` (standard output when
    None)."""
    paths = tests if isinstance(tests, list) else [tests]
    command = ([str(a) for a in argv] + ["-m", "pytest", "-q", "-p", "no:cacheprovider"]
               + [str(p) for p in paths])
    log(f"pytest ({where})" + (f", output in {log_file}" if log_file else ""))
    tail: list[str] = []
    out = open(log_file, "a", buffering=1) if log_file else sys.stdout
    try:
        with subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace") as child:
            assert child.stdout is not None
            for line in child.stdout:
                out.write(line)
                tail = (tail + [line])[-5:]
            status = child.wait()
        out.flush()
    finally:
        if log_file:
            out.close()
    counts: dict[str, int] = {}
    for line in reversed(tail):
        found = re.findall(r"(\d+) (passed|failed|skipped|errors?|xfailed|xpassed)", line)
        if found:
            counts = {kind: int(n) for n, kind in found}
            break
    return Outcome(where, counts, status == 0 and counts.get("passed", 0) > 0)


def check_gil_stays_off(python: Path, cwd: Path, env: dict[str, str]) -> None:
    run(python, "-c", "import sys, sysconfig\n"
        "assert sysconfig.get_config_var('Py_GIL_DISABLED') == 1, 'not a free-threaded build'\n"
        "import _zel_core\n"
        "assert not sys._is_gil_enabled(), 'importing _zel_core turned the GIL on'",
        cwd=cwd, env=env)


def clean_env(**extra: str) -> dict[str, str]:
    """This environment without what would change the interpreter under test, and unbuffered, so
    that a test log shows how far a run got."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHON_GIL", "PYTHONPATH")}
    return env | {"PYTHONUNBUFFERED": "1"} | extra


def in_venv(wheel: Path, version: str, log_file: Path | None = None) -> Outcome:
    """The suite in a fresh venv of this machine's CPython `version`, the wheel installed by pip
    (mypy too: the stub checks run)."""
    from .common import build_interpreter

    scratch = Path(tempfile.mkdtemp(prefix="zel-test-"))
    try:
        venv = scratch / "venv"
        run(build_interpreter(version), "-m", "venv", venv)
        python = venv / "bin/python"
        run(python, "-m", "pip", "install", "-q", "--only-binary=:all:", wheel, *TEST_TOOLS,
            *group("typecheck"), env=clean_env())
        site = run(python, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))",
                   capture_output=True, cwd=scratch).stdout.strip()
        env = clean_env(ZEL_EXPECT_MODULE_DIR=site)
        if version.endswith("t"):
            check_gil_stays_off(python, scratch, env)
        return pytest([python], scratch, env, f"venv, {platform_text()}", log_file=log_file)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def platform_text() -> str:
    try:
        fields = dict(line.split("=", 1) for line in Path("/etc/os-release").read_text().split("\n") if "=" in line)
        name = fields.get("PRETTY_NAME", "Linux").strip('"')
    except OSError:
        name = "Linux"
    return f"{name}, glibc {os.confstr('CS_GNU_LIBC_VERSION').split()[-1]}"


def install_test_tools(dest: Path, version: str, platform: Platform) -> None:
    """pytest and hypothesis for an interpreter that has no pip of its own (or no TLS), fetched
    by this machine's pip as wheels for the target's tags."""
    minor = version.rstrip("t")
    abi = "cp" + version.replace(".", "")
    platforms = ([f"manylinux_2_17_{platform.machine}", f"manylinux2014_{platform.machine}"]
                 if platform.libc == "gnu" else [platform.policy])
    args = [f"--platform={p}" for p in platforms]
    run(host_python(), "-m", "pip", "install", "-q", "--target", dest, *args,
        "--python-version", minor, "--implementation", "cp", "--abi", abi, "--abi", "none",
        "--only-binary=:all:", *TEST_TOOLS, env=clean_env())


def with_interpreter(wheel: Path, interpreter: "pythons.Interpreter",
                     log_file: Path | None = None) -> Outcome:
    """The suite on `interpreter` (emulated or not), the wheel unpacked beside pytest and
    hypothesis on its path."""
    scratch = Path(tempfile.mkdtemp(prefix="zel-test-"))
    try:
        site = scratch / "site"
        run(sys.executable, "-m", "zipfile", "-e", wheel, site)
        tools = scratch / "tools"
        install_test_tools(tools, interpreter.version, interpreter.platform)
        env = clean_env(PYTHONPATH=f"{site}:{tools}", ZEL_EXPECT_MODULE_DIR=str(site))
        if interpreter.platform.machine != NATIVE_MACHINE:
            # Every round of the kill test starts an emulated interpreter: fewer rounds.
            env["ZEL_KILL_ROUNDS"] = os.environ.get("ZEL_KILL_ROUNDS", "25")
        run(interpreter.program, "-c", "import platform, sys, _zel_core; "
            "print('[zel]', platform.machine(), sys.version.split()[0], _zel_core.__file__)",
            cwd=scratch, env=env)
        if interpreter.version.endswith("t"):
            check_gil_stays_off(interpreter.program, scratch, env)
        if interpreter.platform.machine == NATIVE_MACHINE:
            return pytest([interpreter.program], scratch, env, interpreter.description,
                          log_file=log_file)
        return emulated_in_halves(interpreter, scratch, env, log_file)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def emulated_in_halves(interpreter: "pythons.Interpreter", scratch: Path, env: dict[str, str],
                       log_file: Path | None) -> Outcome:
    """The suite under an emulator, which runs one guest thread on one core: the test files in
    two halves, each in its own pytest beside the other, their counts added up."""
    files = sorted((ROOT / "tests/python").glob("test_*.py"), key=lambda f: f.stat().st_size,
                   reverse=True)
    halves = [files[0::2], files[1::2]]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        outcomes = list(pool.map(
            lambda i: pytest([interpreter.program], scratch, env,
                             f"{interpreter.description}, half {i + 1} of 2",
                             tests=halves[i],
                             log_file=log_file.with_suffix(f".{i + 1}.log") if log_file else None),
            range(2)))
    counts: dict[str, int] = {}
    for outcome in outcomes:
        for kind, n in outcome.counts.items():
            counts[kind] = counts.get(kind, 0) + n
    return Outcome(interpreter.description, counts, all(o.ok for o in outcomes))


def bullseye_python() -> Path:
    """A Debian 11 (glibc 2.31) x86-64 root file system with a CPython 3.13 compiled in it from
    the same verified tarball as the other interpreters, so that the glibc wheel is tested on a
    C library older than the one it was built on."""
    root = CACHE / "amd64-bullseye"
    packages = ["build-essential", "zlib1g-dev", "libffi-dev", "ca-certificates"]
    tarball = python_tarball("3.13")
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
        " --disable-test-modules >/tmp/configure.log && nice -n 10 make -j2 >/tmp/make.log 2>&1"
        " && make altinstall >/tmp/install.log 2>&1")
    shutil.rmtree(source)
    (partial / ".zel-packages").write_text(want + "\n")
    shutil.rmtree(root, ignore_errors=True)
    partial.rename(root)
    return root


def on_bullseye(wheel: Path, log_file: Path | None = None) -> Outcome:
    """The suite inside the Debian 11 tree (chroot), against the wheel unpacked there."""
    root = bullseye_python()
    scratch = Path(tempfile.mkdtemp(prefix="zel-bullseye-", dir=root / "tmp"))
    inside = Path("/tmp") / scratch.name
    try:
        run(sys.executable, "-m", "zipfile", "-e", wheel, scratch / "site")
        shutil.copytree(ROOT / "tests", scratch / "tests")
        install_test_tools(scratch / "tools", "3.13", PLATFORMS["x86_64-manylinux"])
        glibc = run("chroot", root, "ldd", "--version", capture_output=True).stdout.split()[3]
        where = f"Debian 11 chroot, glibc {glibc}"
        command = ["chroot", root, "/usr/bin/env", f"PYTHONPATH={inside}/site:{inside}/tools",
                   f"ZEL_EXPECT_MODULE_DIR={inside}/site", "HOME=/tmp", "/bin/sh", "-c",
                   f'cd {inside} && exec /opt/python3.13/bin/python3.13 "$@"', "python"]
        return pytest(command, None, clean_env(), where, tests=f"{inside}/tests/python",
                      log_file=log_file)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

