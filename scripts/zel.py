#!/usr/bin/env python3
"""The project's one command for building, testing and provisioning (standard library only; runs
on any Python 3.11 or newer, the interpreters it provisions aside).

    python3 scripts/zel.py run                    set up what is missing, build and install the
                                                  module into .venv, run examples/quickstart.py
    python3 scripts/zel.py test [PYTEST ARGS]     the same set-up, then the C++ tests (CTest) and
                                                  the whole pytest suite
    python3 scripts/zel.py stages [--list] [STAGE...]
                                                  the stages (every one by default), each even
                                                  after a failure, with a summary of durations
    python3 scripts/zel.py STAGE [ARGS]           one stage's command (see `stages --list`)
    python3 scripts/zel.py interpreter [--debug] [--no-module] VERSION...
                                                  provide interpreters (3.13t, 3.14, 3.15t,
                                                  3.13t-debug, 3.13t-tsan, ...), print their
                                                  venv's python, one per line

`bash scripts/run.sh` and `bash scripts/test.sh` are the first two; `.ci/run` runs `stages`.
"""

from __future__ import annotations

import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from zel_tools import provision  # noqa: E402
from zel_tools.provision import ROOT, log  # noqa: E402


def run_quickstart(args: list[str]) -> int:
    python = provision.setup()
    sys.stdout.flush()
    os.execv(python, [str(python), str(ROOT / "examples/quickstart.py"), *args])


def test(pytest_args: list[str]) -> int:
    """The C++ GoogleTest suite (build/cpp, through CTest) and the whole pytest suite against the
    module installed into .venv. Fails if either fails."""
    python = provision.setup()
    failed = []
    log("C++ unit tests (build/cpp)")
    build = ROOT / "build/cpp"
    # Configured every time (a second of work): the options given here always take effect, even
    # in a build directory configured earlier with others.
    configure = provision.run(
        "cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DZEL_PYTHON=OFF",
        "-DZEL_BUILD_TESTS=ON", "-DZEL_SANITIZE=OFF", "-DZEL_TEST_HOOKS=ON", "-DZEL_FUZZ=OFF",
        stdout=subprocess.DEVNULL, check=False)
    if configure.returncode:
        failed.append("C++ test configure")
    elif provision.run("cmake", "--build", build, "-j", "2", check=False).returncode:
        failed.append("C++ test build")
    elif not provision.ctest(build):
        failed.append("C++ tests")
    log("Python tests")
    if provision.run(python, "-m", "pytest", "tests/python", *pytest_args,
                     check=False).returncode:
        failed.append("pytest")
    if failed:
        print("FAILED: " + ", ".join(failed), file=sys.stderr)
        return 1
    log("all tests passed")
    return 0


def _quiet_stdout(work):
    """Runs `work` with everything written to standard output, by us or by the programs it runs,
    sent to standard error instead; returns its result. Standard output is kept for results."""
    sys.stdout.flush()
    saved = os.dup(1)
    os.dup2(2, 1)
    try:
        return work()
    finally:
        sys.stdout.flush()
        os.dup2(saved, 1)
        os.close(saved)


def interpreters(args: list[str]) -> int:
    debug = "--debug" in args
    module = "--no-module" not in args
    versions = [a for a in args if a not in ("--debug", "--no-module")]
    if not versions or any(v.startswith("-") for v in versions):
        print("usage: zel.py interpreter [--debug] [--no-module] VERSION...", file=sys.stderr)
        return 2
    for version in versions:
        if debug and not version.endswith(("-debug", "-tsan")):
            version += "-debug"
        print(_quiet_stdout(lambda: provision.interpreter(version, module=module)), flush=True)
    return 0


def _suites():
    from zel_tools import suites
    return suites


def _tsan(args: list[str]) -> int:
    from zel_tools import tsan
    return tsan.main(args)


def _release(args: list[str]) -> int:
    return subprocess.run([sys.executable, str(ROOT / "scripts/release.py"), *args],
                          stdin=subprocess.DEVNULL).returncode


# name -> (what runs it, the command's fixed arguments, what it does). Every stage is also a
# command of its own: `zel.py NAME [ARGS]`.
STAGES = {
    "tests": (test, [], "the README's test command: the C++ tests (CTest) and the whole pytest "
              "suite"),
    "sanitizers": (lambda a: _suites().sanitizers(a), [],
                   "both suites under AddressSanitizer and UndefinedBehaviorSanitizer"),
    "free-threaded": (lambda a: _suites().python_suite("3.13t", a), [],
                      "the suite on a free-threaded CPython 3.13, thread stress tests included"),
    "tsan": (_tsan, [], "the thread tests under ThreadSanitizer (interpreter and module built "
             "with it)"),
    "refleaks": (lambda a: _suites().refleaks(a), [],
                 "the reference-leak tests on a debug free-threaded build"),
    "py3.14": (lambda a: _suites().python_suite("3.14", a), [], "the suite on CPython 3.14"),
    "py3.15": (lambda a: _suites().python_suite("3.15", a), [], "the suite on CPython 3.15"),
    "armhf": (lambda a: _suites().armhf(a), [],
              "both suites cross-built for 32-bit ARM, run under qemu-arm"),
    "fuzz": (lambda a: _suites().fuzz(a), [], "short fuzzing runs of every reader"),
    "wheels": (_release, ["--ci", "--jobs", "2"],
               "the sdist and the portable wheels for x86-64 and ARM64 (cp313), and the "
               "free-threaded x86-64 one, each audited and tested"),
}

# Commands that are not stages.
COMMANDS = {
    "run": run_quickstart,
    "test": test,
    "interpreter": interpreters,
    "python": lambda a: _suites().python_suite(a[0], a[1:]) if a else 2,
    # The verified source tarball of CPython MINOR (for the release's cross builds).
    "source": lambda a: print(_quiet_stdout(lambda: provision.fetch_source(a[0])[0])) or 0,
}


def stages(args: list[str]) -> int:
    """Runs the stages named (all by default) in order, each in a process of its own and each
    even when an earlier one failed; a summary with each stage's result and duration follows,
    and the exit status is 1 when any failed."""
    if "--list" in args:
        for name, (_, fixed, what) in STAGES.items():
            shown = ("bash scripts/test.sh" if name == "tests"
                     else f"python3 scripts/zel.py {' '.join([name, *fixed])}")
            print(f"{name:14} {what}\n{'':14} {shown}")
        return 0
    unknown = [a for a in args if a not in STAGES]
    if unknown:
        print(f"unknown stage(s): {', '.join(unknown)}; --list names them", file=sys.stderr)
        return 2
    summary, failed = [], []
    for name in args or list(STAGES):
        command = [sys.executable, str(Path(__file__).resolve()), name]
        if name == "tests":  # the README's own test command
            command = ["bash", str(ROOT / "scripts/test.sh")]
        print(f"\n===== stage {name}: {' '.join(command[1:])} =====", flush=True)
        start = time.monotonic()
        code = subprocess.run(command, cwd=ROOT, stdin=subprocess.DEVNULL).returncode
        result = "passed" if code == 0 else f"FAILED (exit {code})"
        if code:
            failed.append(name)
        elapsed = int(time.monotonic() - start)
        line = f"{name:<14} {result:<18} {elapsed // 60}m{elapsed % 60:02d}s"
        summary.append(line)
        print(f"===== stage {line}", flush=True)
    print("\n===== summary =====")
    print("\n".join(summary), flush=True)
    return 1 if failed else 0


def main(argv: list[str]) -> int:
    if not argv or argv[0] in ("-h", "--help"):
        print(__doc__)
        return 0 if argv else 2
    name, args = argv[0], argv[1:]
    if name == "stages":
        return stages(args)
    if name in STAGES:
        runner, fixed, _ = STAGES[name]
        return runner([*fixed, *args])
    if name in COMMANDS:
        return COMMANDS[name](args)
    print(f"unknown command {name!r}; `zel.py --help` lists them", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
