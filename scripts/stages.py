"""The project's stages, each one command, run in order by `python3 scripts/stages.py [STAGE ...]`
(every stage by default; `--list` names them). Every stage runs even when an earlier one failed;
a summary with each stage's result and duration follows, and the exit status is 1 when any
failed. `.ci/run` runs them all on a fresh clone.
"""

from __future__ import annotations

import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PYTHON = sys.executable or "python3"

# name -> (command, what it does)
STAGES: dict[str, tuple[list[str], str]] = {
    "tests": (["bash", "scripts/test.sh"],
              "the README's test command: the C++ tests (CTest) and the whole pytest suite"),
    "sanitizers": (["bash", "scripts/test-sanitize.sh"],
                   "both suites under AddressSanitizer and UndefinedBehaviorSanitizer"),
    "free-threaded": (["bash", "scripts/test-ft.sh"],
                      "the suite on a free-threaded CPython 3.13, thread stress tests included"),
    "tsan": ([PYTHON, "scripts/zel.py", "tsan"],
             "the thread tests under ThreadSanitizer (interpreter and module built with it)"),
    "refleaks": (["bash", "scripts/test-refleaks.sh"],
                 "the reference-leak tests on a debug free-threaded build"),
    "py3.14": (["bash", "scripts/test-python.sh", "3.14"], "the suite on CPython 3.14"),
    "py3.15": (["bash", "scripts/test-python.sh", "3.15"], "the suite on CPython 3.15"),
    "armhf": (["bash", "scripts/test-armhf.sh"],
              "both suites cross-built for 32-bit ARM, run under qemu-arm"),
    "fuzz": (["bash", "scripts/fuzz.sh"], "short fuzzing runs of every reader"),
    "wheels": ([PYTHON, "scripts/release.py", "--ci", "--jobs", "2"],
               "the sdist and the portable wheels for x86-64 and ARM64 (cp313), and the "
               "free-threaded x86-64 one, each audited and tested"),
}


def main(argv: list[str]) -> int:
    if "--list" in argv:
        for name, (command, what) in STAGES.items():
            print(f"{name:14} {what}\n{'':14} {' '.join(command)}")
        return 0
    unknown = [a for a in argv if a not in STAGES]
    if unknown:
        print(f"unknown stage(s): {', '.join(unknown)}; --list names them", file=sys.stderr)
        return 2
    summary: list[str] = []
    failed: list[str] = []
    for name in argv or list(STAGES):
        command, _ = STAGES[name]
        print(f"\n===== stage {name}: {' '.join(command)} =====", flush=True)
        start = time.monotonic()
        code = subprocess.run(command, cwd=ROOT, stdin=subprocess.DEVNULL).returncode
        result = "passed" if code == 0 else f"FAILED (exit {code})"
        if code:
            failed.append(name)
        elapsed = int(time.monotonic() - start)
        line = f"{name:<12} {result:<18} {elapsed // 60}m{elapsed % 60:02d}s"
        summary.append(line)
        print(f"===== stage {line}", flush=True)
    print("\n===== summary =====")
    print("\n".join(summary), flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
