#!/usr/bin/env python3
"""The release: the sdist and, from it, a portable wheel for every interpreter and platform, each
audited and tested, with a summary table.

    python3 scripts/release.py [--version V]... [--platform P]... [--ci] [--no-test] [--jobs N]

Versions: 3.13, 3.13t, 3.14, 3.14t, 3.15, 3.15t ("t": free-threaded). Platforms: x86_64-manylinux,
aarch64-manylinux (glibc 2.17), x86_64-musllinux, aarch64-musllinux (musl 1.2). By default 3.13
and 3.13t on every platform, 3.14 and 3.15 on the manylinux ones. --ci: the CPython 3.13 wheels for x86_64-manylinux and
aarch64-manylinux, and the free-threaded 3.13 one for x86_64-manylinux (where a thread ended at
interpreter exit unwinds through the module); the Debian 11 run is left to the full release.

Each wheel is built by Zig from the sdist (see scripts/zel_tools/wheels.py), then audited: the
tag auditwheel gives must be the platform's, the module may need only the C library's shared
objects (and libgcc_s on glibc) and may export only PyInit__zel_core, and the metadata and stub
files must be there. Then the whole pytest suite runs against it: in a fresh venv here for
x86-64 glibc (and for CPython 3.13 also inside a Debian 11 tree, glibc 2.31), under qemu with the
target's own interpreter for ARM64 and musl where one can be had here (see
scripts/zel_tools/pythons.py). The results go to dist/: the distributions, SUMMARY.md (the
table), AUDIT.txt (what auditwheel show said of each wheel) and logs/ (each test run's output).
The exit status is non-zero when anything failed.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from zel_tools import pythons, testing, wheels  # noqa: E402
from zel_tools.common import NATIVE_MACHINE, PLATFORMS, ROOT, VERSIONS, log  # noqa: E402


@dataclass
class Row:
    version: str
    platform: str
    file: str = ""
    size: int = 0
    seconds: float = 0.0
    problem: str = ""  # why it was not built or failed its audit
    outcomes: list[testing.Outcome] = field(default_factory=list)
    untested: str = ""  # why no test ran

    @property
    def label(self) -> str:
        return f"cp{self.version.replace('.', '')} {self.platform}"

    @property
    def ok(self) -> bool:
        return not self.problem and all(o.ok for o in self.outcomes)

    def tests_text(self) -> str:
        if self.problem:
            return "—"
        if self.untested:
            return f"not run: {self.untested}"
        if not self.outcomes:
            return "not finished"
        return "; ".join(str(o) for o in self.outcomes)


def tag_of(file: str) -> str:
    return "-".join(file.removesuffix(".whl").split("-")[2:])


def summary(rows: list[Row], sdist: Path | None) -> str:
    lines = ["| file | tag | size | built in | tests |", "|---|---|---|---|---|"]
    if sdist is not None:
        lines.append(f"| {sdist.name} | sdist | {sdist.stat().st_size // 1024} KiB | | |")
    for r in rows:
        if r.problem:
            lines.append(f"| {r.label} | | | | FAILED: {r.problem} |")
            continue
        mark = "" if r.ok or not r.outcomes else "FAILED: "
        lines.append(f"| {r.file} | {tag_of(r.file)} | {r.size // 1024} KiB | "
                     f"{r.seconds:.0f} s | {mark}{r.tests_text()} |")
    return "\n".join(lines) + "\n"


PROVISIONING = threading.Lock()


class Report:
    """SUMMARY.md and AUDIT.txt, written again whenever a wheel is built or tested, so that a
    release cut short still leaves the table of what it had done."""

    def __init__(self, outdir: Path, sdist: Path) -> None:
        self.outdir, self.sdist = outdir, sdist
        self.rows: list[Row] = []
        self.audits: list[str] = []
        self.lock = threading.Lock()

    def write(self) -> str:
        with self.lock:
            table = summary(self.rows, self.sdist)
            (self.outdir / "SUMMARY.md").write_text(table)
            (self.outdir / "AUDIT.txt").write_text("\n".join(self.audits))
            return table


def test_wheel(row: Row, wheel: Path, logs: Path, older_glibc: bool, report: Report) -> None:
    try:
        run_tests(row, wheel, logs, older_glibc)
    finally:
        report.write()


def run_tests(row: Row, wheel: Path, logs: Path, older_glibc: bool) -> None:
    platform = PLATFORMS[row.platform]
    label = f"{row.version}-{row.platform}"
    try:
        # A venv with pip needs an interpreter of its own installation: not one of Debian's
        # 3.14 and 3.15, run from an extracted tree (those take the path below).
        if (platform.libc == "gnu" and platform.machine == NATIVE_MACHINE
                and row.version in ("3.13", "3.13t")):
            row.outcomes.append(testing.in_venv(wheel, row.version, logs / f"{label}.log"))
            if row.version == "3.13" and older_glibc:
                row.outcomes.append(testing.on_bullseye(wheel, logs / f"{label}-debian11.log"))
            return
        with PROVISIONING:  # one thread at a time makes trees and interpreters
            interpreter = pythons.interpreter(row.version, platform)
        if interpreter is None:
            row.untested = "no interpreter for it here"
            return
        row.outcomes.append(testing.with_interpreter(wheel, interpreter, logs / f"{label}.log"))
    except Exception as error:  # a failed set-up fails this wheel's row, not the release
        row.outcomes.append(testing.Outcome(f"set-up failed: {error}", {}, False))
    for outcome in row.outcomes:
        log(f"{wheel.name}: {outcome}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", action="append", choices=VERSIONS)
    parser.add_argument("--platform", action="append", choices=sorted(PLATFORMS))
    parser.add_argument("--ci", action="store_true",
                        help="cp313 for x86_64-manylinux and aarch64-manylinux, cp313t for "
                        "x86_64-manylinux")
    parser.add_argument("--no-test", action="store_true", help="build and audit only")
    parser.add_argument("--jobs", type=int, default=1, help="test runs at once (default 1)")
    parser.add_argument("--outdir", type=Path, default=ROOT / "dist")
    args = parser.parse_args()
    # 3.14t and 3.15t only when asked for: no interpreter can be had here to test them with.
    versions = args.version or (["3.13", "3.13t"] if args.ci else ["3.13", "3.13t", "3.14", "3.15"])
    platforms = args.platform or list(PLATFORMS)
    wanted = [(v, p) for v in versions for p in platforms
              # Without a source, 3.14 and 3.15 have only headers derived from Debian's glibc
              # ones for musl, and no interpreter to test with: only when asked for.
              if args.version or not (v in ("3.14", "3.15") and PLATFORMS[p].libc == "musl")]
    if args.ci and not (args.version or args.platform):
        # The emulated run takes longest: its wheel first.
        wanted = [("3.13", "aarch64-manylinux"), ("3.13", "x86_64-manylinux"),
                  ("3.13t", "x86_64-manylinux")]

    outdir: Path = args.outdir
    logs = outdir / "logs"
    shutil.rmtree(logs, ignore_errors=True)
    logs.mkdir(parents=True)
    for old in [*outdir.glob("zel_core-*.whl"), *outdir.glob("zel_core-*.tar.gz")]:
        old.unlink()

    started = time.monotonic()
    sdist = wheels.build_sdist(outdir)
    source_dir = Path(tempfile.mkdtemp(prefix="zel-release-"))
    report = Report(outdir, sdist)
    rows, audits = report.rows, report.audits
    # Each wheel's tests start as soon as it is built, beside the next builds.
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs))
    tests: list[concurrent.futures.Future[None]] = []
    try:
        source = wheels.unpack_sdist(sdist, source_dir)
        for version, name in wanted:
            row = Row(version, name)
            rows.append(row)
            begun = time.monotonic()
            try:
                wheel = wheels.build_wheel(source, version, PLATFORMS[name], outdir)
                audit = wheels.audit_wheel(wheel, PLATFORMS[name])
            except subprocess.CalledProcessError as error:
                shown = " ".join([Path(error.cmd[0]).name, *map(str, error.cmd[1:4])])
                row.problem = f"`{shown} …` exited with {error.returncode}"
            except (Exception, SystemExit) as error:
                row.problem = str(error) or repr(error)
            if row.problem:
                log(f"{row.label}: {row.problem}")
                report.write()
                continue
            row.file, row.size = wheel.name, wheel.stat().st_size
            row.seconds = time.monotonic() - begun
            audits.append(f"== {wheel.name}\n{audit.show.strip()}\n"
                          f"NEEDED: {', '.join(audit.needed)}\n"
                          f"exported: {', '.join(audit.exported)}\n")
            log(f"built {wheel.name} ({row.size // 1024} KiB, {row.seconds:.0f} s); "
                f"needs {', '.join(audit.needed)}")
            if args.no_test:
                row.untested = "--no-test"
            else:
                tests.append(pool.submit(test_wheel, row, wheel, logs, not args.ci, report))
            report.write()
        for future in tests:
            future.result()
    finally:
        pool.shutdown(cancel_futures=True)
        shutil.rmtree(source_dir, ignore_errors=True)

    table = report.write()
    print("\n" + table)
    log(f"release finished in {(time.monotonic() - started) / 60:.1f} min; "
        f"results in {outdir}")
    failed = [r for r in rows if not r.ok]
    if failed:
        log("FAILED: " + ", ".join(r.label for r in failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
