"""ThreadSanitizer stage: the thread tests against a ThreadSanitizer build of everything.

1. The free-threaded CPython 3.13 built with --with-thread-sanitizer:
   `python3 scripts/zel.py interpreter 3.13t-tsan` (cached under /var/cache/zel like the other
   interpreters; a cold build takes about twenty minutes on two cores, eight of them compiling
   the standard library's bytecode under the sanitizer). pip would run several times slower on
   it, so it gets no venv: pytest (pure Python) goes into build/tsan/tools through the
   repository's own .venv, whose cmake and ninja also do the build.
2. The module and the C++ tests built with -fsanitize=thread in build/tsan (CMake option
   ZEL_SANITIZE_THREAD), the module installed into build/tsan/site.
3. The C++ lock tests, then the Python thread tests (free threading, stress, fork and exit),
   with every process writing its reports to a log directory.

Fails when a test fails or when any report is in our code: one of its racing accesses (or lock
operations) happened in the module or the C++ test binary (see is_ours). Reports whose accesses
are all inside the interpreter are not ours (for instance a daemon thread still detaching, in
the interpreter's own code, while the finalizing thread frees its thread state, our call that
detached merely on its stack): they are counted and listed, not failed on. The interpreter's own
suppression list (Tools/tsan/suppressions_free_threading.txt of its source, installed with it)
keeps its known races out of the logs.

    python3 scripts/zel.py tsan [extra pytest arguments]
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from . import provision
from .requirements import distribution, group

ROOT = provision.ROOT
BUILD = ROOT / "build" / "tsan"
SITE = BUILD / "site"
TOOLS = BUILD / "tools"
PY_TESTS = ["tests/python/test_free_threading.py", "tests/python/test_stress.py",
            "tests/python/test_fork_and_exit.py"]
CPP_FILTER = "rw_lock.*:engine_locks.*:text_buffer.*:crash_states.*:file_io.*:value_region.*"
SEPARATOR = "=================="


def log(message: str) -> None:
    print(f"[zel] {message}", flush=True)


def run(cmd: list[str], **kwargs) -> subprocess.CompletedProcess:
    log("$ " + " ".join(str(c) for c in cmd))
    return subprocess.run(cmd, **kwargs)


def host_venv() -> Path:
    """The repository's .venv python (made or reused, module left alone)."""
    return provision.ensure_repo_venv()


def tools(host: Path) -> None:
    """pytest for the sanitized interpreter, installed once into TOOLS."""
    if (TOOLS / "pytest").is_dir():
        return
    cmd = [str(host), "-m", "pip", "install", "-q", "--only-binary", ":all:", "--target",
           str(TOOLS), "--python-version", "3.13",
           *[r for r in group("test") if distribution(r) == "pytest"]]
    if run(cmd, stdin=subprocess.DEVNULL).returncode != 0:
        shutil.rmtree(TOOLS, ignore_errors=True)
        sys.exit("error: could not install pytest for the sanitized interpreter")


def interpreter() -> Path:
    """The sanitized interpreter, built or reused by the provisioning."""
    return provision.interpreter("3.13t-tsan")


def build(py: Path, host: Path, env: dict[str, str]) -> None:
    venv_bin = str(host.parent)
    # CMake runs the interpreter to learn about it: its own reports are not wanted there.
    env = dict(env, PATH=venv_bin + os.pathsep + env.get("PATH", ""),
               TSAN_OPTIONS="report_bugs=0:exitcode=0")
    configure = ["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
                 "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DZEL_SANITIZE_THREAD=ON",
                 "-DZEL_BUILD_TESTS=ON", f"-DPython_EXECUTABLE={py}"]
    steps = [configure, ["cmake", "--build", str(BUILD), "-j", "2"],
             ["cmake", "--install", str(BUILD), "--prefix", str(SITE)]]
    for step in steps:
        if run(step, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL
               if step is configure else None).returncode != 0:
            sys.exit("error: the ThreadSanitizer build failed")


def suppressions(py: Path, logdir: Path) -> Path:
    """The interpreter's suppression list (installed beside it by the provisioning)."""
    base = Path(subprocess.run([str(py), "-c", "import sys; print(sys.base_prefix)"],
                               capture_output=True, text=True, check=True,
                               env=dict(os.environ, TSAN_OPTIONS="report_bugs=0")).stdout.strip())
    source = base / "share" / "tsan" / "suppressions_free_threading.txt"
    if not source.is_file():
        sys.exit(f"error: {source} is missing; rebuild the interpreter (remove {base})")
    target = logdir / "suppressions.txt"
    shutil.copyfile(source, target)
    return target


def reports(logdir: Path) -> list[str]:
    found = []
    for path in sorted(logdir.glob("tsan.*")):
        text = path.read_text(errors="replace")
        for block in text.split(SEPARATOR):
            if "WARNING: ThreadSanitizer" in block or "ERROR: ThreadSanitizer" in block:
                found.append(f"{path.name}:{block.rstrip()}")
    return found


OUR_MODULE = re.compile(r"\((_zel_core\.cpython[^+]*|zel_cpp_tests)\+0x")
# The header of a stack that shows where an access (or a lock operation) happened, as opposed
# to where a thread, a mutex or a heap block was created.
ACCESS = re.compile(r"^  (Previous )?(atomic )?(Atomic )?(write|read|Write|Read)\b|"
                    r"^  Mutex \S+ acquired here")
RUNTIME = re.compile(r"\((libtsan|libc|libstdc\+\+|libgcc_s|ld-linux)[^+]*\+0x")
FRAME = re.compile(r"^\s+#\d+ ")


def is_ours(report: str) -> bool:
    """Whether one of the racing accesses happened in our code: the innermost frame of an
    access stack, the sanitizer's and the C and C++ runtimes' own frames skipped, lies in the
    module or the C++ test binary. A race between two accesses inside the interpreter (our
    call into it merely on the stack) is the interpreter's. A report of another kind counts as
    ours when any of its frames is."""
    lines = report.splitlines()
    if not any(ACCESS.match(line) for line in lines):
        return any(OUR_MODULE.search(line) for line in lines)
    in_access = looking = False
    for line in lines:
        if FRAME.match(line):
            if in_access and looking and not RUNTIME.search(line):
                if OUR_MODULE.search(line):
                    return True
                looking = False
        else:
            in_access = bool(ACCESS.match(line))
            looking = in_access
    return False


def main(pytest_args: list[str]) -> int:
    py = interpreter()
    host = host_venv()
    tools(host)
    build(py, host, os.environ.copy())
    logdir = Path(tempfile.mkdtemp(prefix="zel-tsan."))
    try:
        supp = suppressions(py, logdir)
        options = (f"suppressions={supp}:halt_on_error=0:exitcode=0:second_deadlock_stack=1"
                   f":log_path={logdir}/tsan")
        env = {k: v for k, v in os.environ.items() if k not in ("PYTHON_GIL", "PYTHONPATH")}
        env.update(TSAN_OPTIONS=options, PYTHONPATH=f"{SITE}{os.pathsep}{TOOLS}")
        failed = []

        log("C++ lock tests under ThreadSanitizer")
        if run([str(BUILD / "zel_cpp_tests"), f"--gtest_filter={CPP_FILTER}", "--gtest_brief=1"],
               env=env, stdin=subprocess.DEVNULL).returncode != 0:
            failed.append("C++ tests")

        log("Python thread tests under ThreadSanitizer")
        check = ("import sys, _zel_core; assert not sys._is_gil_enabled(), 'GIL on'; "
                 f"assert _zel_core.__file__.startswith({str(SITE)!r}), _zel_core.__file__")
        if run([str(py), "-c", check], env=env).returncode != 0:
            failed.append("module check")
        cmd = [str(py), "-m", "pytest", "-p", "no:cacheprovider", "-q", *PY_TESTS, *pytest_args]
        if run(cmd, env=env, cwd=ROOT, stdin=subprocess.DEVNULL).returncode != 0:
            failed.append("pytest")

        found = reports(logdir)
        ours = [r for r in found if is_ours(r)]
        log(f"ThreadSanitizer reports: {len(found)} in all, {len(ours)} in our code, "
            f"{len(found) - len(ours)} between accesses inside the interpreter (not failed on)")
        for r in found:
            if r not in ours:
                first = next((line for line in r.splitlines() if "SUMMARY" in line), "")
                print("    interpreter-only:", first.strip())
        for r in ours:
            print(r)
            print(SEPARATOR)
        if ours:
            failed.append(f"{len(ours)} ThreadSanitizer report(s) in our code")
        if failed:
            print("FAILED: " + "; ".join(failed), file=sys.stderr)
            return 1
        log("ThreadSanitizer stage passed")
        return 0
    finally:
        shutil.rmtree(logdir, ignore_errors=True)

