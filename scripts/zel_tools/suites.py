"""The test stages beyond the README's own test command: the suites under AddressSanitizer and
UndefinedBehaviorSanitizer, on other interpreters, for reference leaks, on 32-bit ARM, and the
fuzzing runs. Each function returns a process exit status (0: passed) and prints what failed.
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from . import provision
from .provision import ROOT, log


def _failed(failures: list[str], passed: str) -> int:
    if failures:
        print("FAILED: " + ", ".join(failures), file=sys.stderr, flush=True)
        return 1
    log(passed)
    return 0


def _imported_from(python: Path, env: dict[str, str], site: Path) -> None:
    """Fails unless `python` with `env` imports the module from `site` (the build under test,
    not one installed in a venv)."""
    imported = provision.output(python, "-c", "import _zel_core; print(_zel_core.__file__)",
                                env=env)
    if not imported.startswith(f"{site}/"):
        provision.die(f"the tests would import {imported}, not the build in {site}")


# --- AddressSanitizer and UndefinedBehaviorSanitizer -----------------------------------------

def _gxx_file(name: str) -> Path | None:
    found = provision.output("g++", f"-print-file-name={name}")
    return Path(os.path.realpath(found)) if found.startswith("/") and Path(found).exists() else None


def sanitizers(pytest_args: list[str]) -> int:
    """Builds the module and the C++ tests with AddressSanitizer and UndefinedBehaviorSanitizer
    in build/asan, runs the C++ tests, then the pytest suite against the sanitized module with
    g++'s libasan preloaded into the venv's interpreter. Fails when a test fails or a sanitizer
    reports an error, or a leak that involves our code."""
    python = provision.setup()
    asan_lib = _gxx_file("libasan.so")
    if asan_lib is None:
        provision.die("g++ has no libasan.so (it comes with g++ through libasan8 / libgcc-*-dev)")
    # The interpreter does not link libstdc++; the module brings it in later with dlopen, too
    # late for ASan's __cxa_throw interceptor to find the real function. Preloading it as well
    # keeps C++ exceptions (used inside the module, never across its boundary) working.
    cxx_lib = _gxx_file("libstdc++.so")
    build = ROOT / "build/asan"
    site = build / "site"
    log(f"sanitized build ({build.relative_to(ROOT)})")
    # Configuring again is cheap and keeps an existing build directory's options current.
    provision.run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                  "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DZEL_SANITIZE=ON", "-DZEL_BUILD_TESTS=ON",
                  "-DZEL_TEST_HOOKS=ON", f"-DPython_EXECUTABLE={python}",
                  stdout=subprocess.DEVNULL)
    provision.run("cmake", "--build", build, "-j", "2")
    # The module and its stub, side by side, in a directory that goes first on PYTHONPATH.
    provision.run("cmake", "--install", build, "--prefix", site, stdout=subprocess.DEVNULL)

    failures = []
    # The C++ tests link the sanitizer runtime themselves; every report there is ours and fails
    # the run through the exit status.
    log("C++ unit tests under ASan/UBSan")
    os.environ["ASAN_OPTIONS"] = "detect_leaks=1"
    os.environ["UBSAN_OPTIONS"] = "halt_on_error=1:print_stacktrace=1"
    try:
        if not provision.ctest(build):
            failures.append("C++ tests under sanitizers")
    finally:
        del os.environ["ASAN_OPTIONS"], os.environ["UBSAN_OPTIONS"]

    # Python tests. PYTHONMALLOC=malloc sends every Python object through malloc, so ASan also
    # sees use-after-free and overflows on Python objects, and LeakSanitizer sees every pointer
    # (memory from the interpreter's own arenas would be invisible to it and give false leaks).
    #
    # Every interpreter leaks at exit (interned strings and other immortal objects), and a
    # LeakSanitizer suppression matches when any frame of a stack matches: `leak:libpython3.13`
    # would also hide our own leaks, whose stacks pass through the interpreter. So leaks do not
    # change exit statuses (exitcode=0); each process writes its reports to a log, and
    # check_sanitizer_logs counts the leaks whose stacks have a frame in our module. Errors
    # other than leaks abort the process at once (abort_on_error=1) and always count.
    logdir = Path(tempfile.mkdtemp(prefix="zel-sanitize."))
    try:
        logdir.chmod(0o1777)  # tests may run subprocesses as another user
        frame_format = "    #%n %p %F %L [%m]"
        common = f"abort_on_error=1:print_summary=1:stack_trace_format='{frame_format}'"
        pythonpath = os.pathsep.join(p for p in [str(site), os.environ.get("PYTHONPATH", "")] if p)
        env = {**os.environ, "PYTHONPATH": pythonpath, "PYTHONMALLOC": "malloc",
               "LD_PRELOAD": f"{asan_lib} {cxx_lib or ''}".strip(),
               "ASAN_OPTIONS": f"detect_leaks=1:exitcode=0:{common}:log_path={logdir}/asan",
               "UBSAN_OPTIONS": f"halt_on_error=1:print_stacktrace=1:{common}"
                                f":log_path={logdir}/ubsan"}
        # The sanitized build must be the one the tests import, not the one in the venv.
        _imported_from(python, env, site)
        log(f"Python tests under ASan/UBSan (libasan: {asan_lib})")
        if provision.run(python, "-m", "pytest", "-p", "no:cacheprovider", "tests/python",
                         *pytest_args, env=env, check=False).returncode:
            failures.append("pytest under sanitizers")
        if not check_sanitizer_logs(logdir):
            failures.append("sanitizer reports")
    finally:
        shutil.rmtree(logdir, ignore_errors=True)
    return _failed(failures, "sanitizer run passed")


# Module paths that mark a stack as ours: the extension, and libraries only it calls.
_OURS = re.compile(r"_zel_core[.]cpython|/libyaml-0[.]2[.]so|/libfyaml[.]so|/libutf8proc[.]so"
                   r"|/libstdc[+][+][.]so")
# Interpreter functions whose allocations the interpreter keeps until exit on purpose: interned
# strings are immortal in 3.13 (PyDict_SetItemString interns its key). Not leaks even when our
# code asked for them; they show up when the interpreter's frames can be unwound.
_KEPT = re.compile(r"PyUnicode_Intern|_PyUnicode_InternImmortal|intern_common"
                   r"|PyDict_SetItemString")
_LEAK_START = re.compile(r"^(Direct|Indirect) leak of ")
_FRAME = re.compile(r"^ *#[0-9]+ ")


def _read_log(text: str) -> tuple[bool, list[str], int]:
    """One process's sanitizer log: whether it reports an error other than leaks, the leak
    reports that involve our code, and how many leak reports do not."""
    error = False
    ours: list[str] = []
    ignored = 0
    block: list[str] = []

    def flush() -> None:
        nonlocal ignored
        if block:
            stack = "\n".join(block)
            if _OURS.search(stack) and not _KEPT.search(stack):
                ours.append(stack)
            else:
                ignored += 1
            block.clear()

    for line in text.splitlines():
        if _LEAK_START.match(line):
            flush()
            block.append(line)
            continue
        if block and _FRAME.match(line):
            block.append(line)
            continue
        flush()
        if "ERROR: " in line and "ERROR: LeakSanitizer: detected memory leaks" not in line:
            error = True
        # UBSan may print its diagnostic to stderr and only the summary to the log.
        if "runtime error: " in line or "SUMMARY: UndefinedBehaviorSanitizer" in line:
            error = True
    flush()
    return error, ours, ignored


def check_sanitizer_logs(logdir: Path) -> bool:
    """Reads the sanitizer logs that the processes of a sanitized run wrote into `logdir`
    (ASAN_OPTIONS/UBSAN_OPTIONS log_path): False when any of them reports an error, or a leak
    whose allocation stack involves our code. Frames must carry their module path ([%m] in
    stack_trace_format)."""
    reports = ignored = 0
    for path in sorted(p for p in logdir.iterdir() if p.is_file()):
        text = path.read_text(errors="replace")
        error, ours, skipped = _read_log(text)
        ignored += skipped
        if error:
            print(f"\n---- sanitizer error ({path.name}) ----\n{text}", file=sys.stderr)
            reports += 1
        elif ours:
            print(f"\n---- {len(ours)} leak(s) involving _zel_core ({path.name}) ----\n"
                  + "\n\n".join(ours), file=sys.stderr)
            reports += 1
    log(f"leak reports outside our code (interpreter, other modules), not counted: {ignored}")
    if reports:
        log(f"sanitizer reports involving our code in {reports} process(es)")
        return False
    return True


# --- Other interpreters ----------------------------------------------------------------------

_GIL_CHECK = """
import sys, sysconfig
version = sys.argv[1].removesuffix("-debug")
assert "%d.%d" % sys.version_info[:2] == version.removesuffix("t"), sys.version
free_threaded = version.endswith("t")
assert bool(sysconfig.get_config_var("Py_GIL_DISABLED")) == free_threaded, "wrong build"
import _zel_core
if free_threaded:
    assert not sys._is_gil_enabled(), "importing _zel_core turned the GIL on"
gil = "GIL disabled" if hasattr(sys, "_is_gil_enabled") and not sys._is_gil_enabled() else "with the GIL"
print(f"[zel] pytest on {sys.executable} ({sys.version.split()[0]}, {gil})", flush=True)
"""


def python_suite(version: str, pytest_args: list[str]) -> int:
    """The whole pytest suite on one of the interpreters of the provisioning (3.13t, 3.14, 3.14t,
    3.15, 3.15t, ...), which builds or reuses the interpreter, its venv and the module. On a
    free-threaded build the GIL stays at its default (off) and the thread stress tests run
    free-threaded. Fails if any test fails, or if importing the module turns the GIL on."""
    python = provision.interpreter(version)
    # PYTHON_GIL=1 would force the GIL back on and make a free-threaded run meaningless.
    env = {k: v for k, v in os.environ.items() if k != "PYTHON_GIL"}
    # Checked here as well as by tests/python/test_free_threading.py, which skips itself when
    # the interpreter is not a free-threaded build.
    if provision.run(python, "-c", _GIL_CHECK, version, env=env, check=False).returncode:
        print(f"error: {python} is not the interpreter asked for", file=sys.stderr)
        return 1
    return provision.run(python, "-m", "pytest", "-p", "no:cacheprovider", "tests/python",
                         *pytest_args, env=env, check=False).returncode


def refleaks(pytest_args: list[str]) -> int:
    """tests/python/test_refleaks.py on a debug free-threaded CPython 3.13 (its
    sys.gettotalrefcount counts every reference taken and dropped), against the module built
    for it with the test hooks (so the panic path is measured too) in build/refleaks."""
    python = provision.interpreter("3.13t-debug", module=False)
    if provision.run(python, "-c", "import sys; sys.exit(not hasattr(sys, 'gettotalrefcount'))",
                     check=False).returncode:
        provision.die(f"{python} has no sys.gettotalrefcount: not a debug build")
    env = provision.venv_env(python.parent.parent)  # cmake and ninja of that venv
    build = ROOT / "build/refleaks"
    site = build / "site"
    # The build directory belongs to one interpreter: start afresh when it was made for another.
    owner = build / ".python"
    if owner.is_file() and owner.read_text().strip() != str(python):
        shutil.rmtree(build)
    build.mkdir(parents=True, exist_ok=True)
    owner.write_text(f"{python}\n")
    log(f"module with test hooks for the debug interpreter ({build.relative_to(ROOT)})")
    provision.run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                  "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DZEL_TEST_HOOKS=ON",
                  f"-DPython_EXECUTABLE={python}", env=env, stdout=subprocess.DEVNULL)
    provision.run("nice", "-n", "10", "cmake", "--build", build, "-j", "2", env=env)
    provision.run("cmake", "--install", build, "--prefix", site, env=env,
                  stdout=subprocess.DEVNULL)
    env["PYTHONPATH"] = os.pathsep.join(p for p in [str(site), env.get("PYTHONPATH", "")] if p)
    _imported_from(python, env, site)
    log(f"reference-leak tests on {python}")
    return provision.run(python, "-m", "pytest", "-p", "no:cacheprovider",
                         "tests/python/test_refleaks.py", *pytest_args, env=env,
                         check=False).returncode


# --- 32-bit ARM ------------------------------------------------------------------------------

# base-files makes the /lib link that the dynamic loader's path goes through.
ARMHF_PACKAGES = ["base-files", "python3.13", "libpython3.13-dev", "python3.13-dev", "libstdc++6",
                  "libyaml-dev", "libfyaml-dev", "libutf8proc-dev", "libgtest-dev",
                  "python3-pytest", "python3-hypothesis"]

_ARMHF_CHECK = """
import platform, struct, sys, _zel_core
assert struct.calcsize("P") == 4 and sys.maxsize == 2**31 - 1, "not a 32-bit interpreter"
print(f"[zel] {platform.machine()}, {sys.version.split()[0]}, {_zel_core.__file__}", flush=True)
"""


def armhf(pytest_args: list[str]) -> int:
    """The C++ and Python suites on 32-bit ARM hard-float (armhf), under user-mode emulation:
    a Debian 13 armhf root file system with Python 3.13 and the libraries (made once), the
    module and the C++ tests cross-compiled against it with arm-linux-gnueabihf-g++, both run
    with qemu-arm. ZEL_ARMHF_ROOT: where the root file system lives (default
    CACHE/armhf-trixie); ZEL_DEBIAN_MIRROR: the mirror to build it from."""
    root = Path(os.environ.get("ZEL_ARMHF_ROOT", provision.CACHE / "armhf-trixie"))
    work = ROOT / "build/armhf"
    # Host tools: the cross compiler, the emulator, the tree builder; cmake and ninja from the
    # venv.
    provision.ensure_debs("mmdebstrap", "qemu-user", "crossbuild-essential-armhf", "pkg-config")
    provision.ensure_repo_venv()
    provision.debian_tree(root, "trixie", ARMHF_PACKAGES, ["--arch=armhf"])

    # The interpreter as a program of the host: tests that start sys.executable run this
    # again. qemu-arm finds files through its -L prefix when opening them but not when testing
    # that they exist, so Python is told where its home is instead of searching for it.
    launcher = work / "bin/python3.13"
    launcher.parent.mkdir(parents=True, exist_ok=True)
    partial = launcher.with_name(launcher.name + ".tmp")
    partial.write_text(f"#!/bin/sh\nPYTHONHOME='{root}/usr' exec qemu-arm -L '{root}' -0 \"$0\" "
                       f"'{root}/usr/bin/python3.13' \"$@\"\n")
    partial.chmod(0o755)
    partial.rename(launcher)
    soabi = provision.output(launcher, "-c",
                             "import sysconfig; print(sysconfig.get_config_var('SOABI'))")

    env = {**os.environ, "ZEL_ARMHF_ROOT": str(root), "PKG_CONFIG_SYSROOT_DIR": str(root),
           "PKG_CONFIG_LIBDIR": f"{root}/usr/lib/arm-linux-gnueabihf/pkgconfig:"
                                f"{root}/usr/share/pkgconfig"}
    build = work / "build"
    log(f"cross-building for armhf in {build} ({soabi})")
    # GoogleTest from the tree's sources: its prebuilt library needs a newer compiler runtime
    # than the cross compiler links.
    provision.run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                  f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/armhf-toolchain.cmake",
                  f"-DPython_EXECUTABLE={launcher}",
                  f"-DPython_INCLUDE_DIR={root}/usr/include/python3.13", f"-DPython_SOABI={soabi}",
                  "-DZEL_BUILD_TESTS=ON", f"-DZEL_GTEST_SOURCE_DIR={root}/usr/src/googletest",
                  env=env, stdout=subprocess.DEVNULL)
    provision.run("cmake", "--build", build, "-j", "2", env=env)
    shutil.rmtree(work / "site", ignore_errors=True)
    provision.run("cmake", "--install", build, "--prefix", work / "site", env=env,
                  stdout=subprocess.DEVNULL)
    env["PYTHONPATH"] = str(work / "site")
    # Every round of the kill test starts an emulated interpreter: fewer rounds than natively.
    env.setdefault("ZEL_KILL_ROUNDS", "25")
    provision.run(launcher, "-c", _ARMHF_CHECK, env=env)

    failures = []
    log("C++ tests under qemu-arm")
    # The toolchain file names the emulator, so ctest runs each test under it.
    if not provision.ctest(build):
        failures.append("C++ tests under qemu-arm")
    log("pytest under qemu-arm")
    if provision.run(launcher, "-m", "pytest", "-p", "no:cacheprovider", "tests/python",
                     *pytest_args, env=env, check=False).returncode:
        failures.append("pytest under qemu-arm")
    return _failed(failures, "armhf: all tests passed")


# --- Fuzzing ---------------------------------------------------------------------------------

FUZZ_TARGETS = ("json", "json5", "toml", "yaml")


def _fuzz_seed(build: Path, target: str) -> Path:
    """The target's working corpus, seeded from the committed inputs and the tests' files
    (regressions included). Alias bombs are left out: each run of one spends a second on the
    expansion bound, and the reader's tests cover them. YAML also starts from the YAML test
    suite's streams. Files already there are kept."""
    corpus = build / f"corpus-{target}"
    corpus.mkdir(parents=True, exist_ok=True)
    seeds = [p for p in (ROOT / "fuzz/corpus" / target).glob("*") if p.is_file()]
    data = ROOT / "tests/data" / target
    if data.is_dir():
        seeds += [p for p in data.rglob("*") if p.is_file() and "bomb" not in p.name]
    for seed in seeds:
        if not (corpus / seed.name).exists():
            shutil.copyfile(seed, corpus / seed.name)
    if target == "yaml":
        suite = ROOT / "tests/data/yaml-test-suite"
        for stream in suite.rglob("in.yaml"):
            name = "suite-" + str(stream.parent.relative_to(suite)).replace("/", "-") + ".yaml"
            if not (corpus / name).exists():
                shutil.copyfile(stream, corpus / name)
    return corpus


def fuzz(argv: list[str]) -> int:
    """Builds the libFuzzer targets with clang in build/fuzz and runs each for a fixed time on a
    working corpus seeded from fuzz/corpus/ and tests/data/. Fails when a target finds a crash,
    a round-trip fault, a timeout or an out-of-memory; the input is kept in build/fuzz/crashes/.
    ZEL_FUZZ_RAW_BYTES=1 (read by the targets) also feeds invalid UTF-8 to the JSON5 and TOML
    readers; ZEL_FUZZ_BUILD: the build directory (default build/fuzz)."""
    parser = argparse.ArgumentParser(prog="zel.py fuzz", description=fuzz.__doc__)
    parser.add_argument("--seconds", type=int, default=30, help="time per target (default 30)")
    parser.add_argument("--jobs", type=int, default=1,
                        help="libFuzzer processes per target (default 1)")
    parser.add_argument("--parallel", type=int, default=1, help="targets run at once (default 1)")
    parser.add_argument("targets", nargs="*", metavar="{json,json5,toml,yaml}")
    args = parser.parse_args(argv)
    if min(args.seconds, args.jobs, args.parallel) < 1:
        parser.error("--seconds, --jobs and --parallel must be positive")
    unknown = [t for t in args.targets if t not in FUZZ_TARGETS]
    if unknown:
        parser.error(f"unknown target(s): {' '.join(unknown)}")
    targets = args.targets or list(FUZZ_TARGETS)

    # Tools: clang with its sanitizer and libFuzzer runtime, the libraries the core links, and
    # cmake and ninja from the venv. The runtime package is versioned like the clang that
    # Debian's unversioned package brings (14 on Debian 12, 19 on Debian 13).
    provision.ensure_debs(*provision.DEBS, "clang")
    major = provision.output("clang", "-dumpversion").split(".")[0]
    if not major.isdigit():
        provision.die("cannot tell clang's version")
    provision.ensure_debs(f"libclang-rt-{major}-dev")
    provision.ensure_repo_venv()

    build = Path(os.environ.get("ZEL_FUZZ_BUILD", ROOT / "build/fuzz"))
    log(f"building the fuzz targets ({' '.join(targets)}) in {build}")
    provision.run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_CXX_COMPILER=clang++",
                  "-DZEL_PYTHON=OFF", "-DZEL_FUZZ=ON", stdout=subprocess.DEVNULL)
    provision.run("cmake", "--build", build, "-j", "2", "--target",
                  *[f"fuzz_{t}" for t in targets])
    (build / "crashes").mkdir(parents=True, exist_ok=True)
    (build / "logs").mkdir(parents=True, exist_ok=True)

    def start(target: str) -> subprocess.Popen:
        corpus = _fuzz_seed(build, target)
        # Larger for YAML, so that anchors defined early can be aliased many times.
        max_len = 8192 if target == "yaml" else 4096
        command = ["nice", "-n", "10", str(build / f"fuzz_{target}"),
                   f"-max_total_time={args.seconds}", f"-max_len={max_len}", "-timeout=10",
                   "-rss_limit_mb=2048", f"-dict={ROOT}/fuzz/{target}.dict",
                   f"-artifact_prefix={build}/crashes/{target}-", "-print_final_stats=1"]
        if args.jobs > 1:
            command += [f"-jobs={args.jobs}", f"-workers={args.jobs}"]
        command.append(str(corpus))
        # With -jobs, libFuzzer writes each worker's log as fuzz-N.log in the working directory.
        workdir = build / f"work-{target}"
        shutil.rmtree(workdir, ignore_errors=True)
        workdir.mkdir()
        log(f"fuzzing {target} for {args.seconds}s (jobs {args.jobs}, "
            f"log {build}/logs/{target}.log)")
        with open(build / "logs" / f"{target}.log", "w") as out:
            return subprocess.Popen(command, cwd=workdir, stdout=out, stderr=subprocess.STDOUT,
                                    stdin=subprocess.DEVNULL)

    # Each target's exit status and CPU seconds (its own and its children's: the rusage of
    # the waited-for process tree).
    results: dict[str, tuple[int, float]] = {}
    running: dict[int, str] = {}
    pending = list(targets)
    while pending or running:
        while pending and len(running) < args.parallel:
            target = pending.pop(0)
            running[start(target).pid] = target
        pid, status, usage = os.wait4(-1, 0)
        if pid not in running:
            continue
        target = running.pop(pid)
        results[target] = (os.waitstatus_to_exitcode(status), usage.ru_utime + usage.ru_stime)

    def logs_of(target: str) -> str:
        texts = [(build / "logs" / f"{target}.log").read_text(errors="replace")]
        texts += [p.read_text(errors="replace")
                  for p in sorted((build / f"work-{target}").glob("fuzz-*.log"))]
        return "\n".join(texts)

    failed = []
    print(f"\n{'target':<6} {'result':<8} {'cpu-s':<10} {'runs':<12} corpus")
    for target in targets:
        code, cpu = results.get(target, (2, 0.0))
        runs = sum(int(m) for m in re.findall(r"stat::number_of_executed_units:\s*(\d+)",
                                              logs_of(target)))
        files = sum(1 for p in (build / f"corpus-{target}").iterdir() if p.is_file())
        result = "ok" if code == 0 else "FAILED"
        if code:
            failed.append(target)
        print(f"{target:<6} {result:<8} {cpu:<10.0f} {runs:<12} {files} files", flush=True)

    for target in failed:
        print(f"\n----- {target}: the report in {build}/logs/{target}.log -----", file=sys.stderr)
        # From the first report line (a fault of ours, a sanitizer, a libFuzzer stop) on.
        shown, on = [], False
        for line in logs_of(target).splitlines():
            if re.search(r"^==== fuzz_|ERROR: |runtime error|ALARM|out-of-memory", line):
                on = True
            if on and len(shown) < 60:
                shown.append(line)
        print("\n".join(shown), file=sys.stderr)
        for kept in sorted((build / "crashes").glob(f"{target}-*")):
            print(f"kept: {kept}", file=sys.stderr)
    if failed:
        print("FAILED: " + " ".join(failed), file=sys.stderr)
        return 1
    log("fuzzing passed")
    return 0

