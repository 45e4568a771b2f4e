"""Our figures of bench_all.py for two or more builds of the module, side by side in one run.

    .venv/bin/python bench/compare_builds.py [--rounds N] LABEL=DIR LABEL=DIR ... [-- ARGS]

Each DIR holds a _zel_core module (an unpacked wheel, say; "-" for the one the interpreter
imports by itself). The builds take turns, round after round (A, B, A, B, ...), each in its own
bench_all.py process with ARGS (default --repeat 3), and every row keeps its best figure over
the rounds; the last column is the ratio to the first build (above 1 for times: slower than the
first; for memory: more).
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile

BENCH = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH))

from bench_all import show  # noqa: E402


def main() -> None:
    argv = sys.argv[1:]
    extra = ["--repeat", "3"]
    if "--" in argv:
        extra = argv[argv.index("--") + 1:]
        argv = argv[:argv.index("--")]
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("builds", nargs="+", metavar="LABEL=DIR")
    args = parser.parse_args(argv)
    builds = [tuple(b.split("=", 1)) for b in args.builds]
    best: dict[str, dict[str, float]] = {label: {} for label, _ in builds}
    order: list[tuple[str, str]] = []
    modules: dict[str, str] = {}
    with tempfile.TemporaryDirectory() as tmp:
        for round_ in range(args.rounds):
            for label, directory in builds:
                env = dict(os.environ)
                if directory != "-":
                    env["PYTHONPATH"] = os.pathsep.join(
                        [str(pathlib.Path(directory).resolve())]
                        + ([env["PYTHONPATH"]] if env.get("PYTHONPATH") else []))
                out = pathlib.Path(tmp) / f"{label}-{round_}.json"
                print(f"round {round_ + 1}/{args.rounds}: {label}", flush=True)
                subprocess.run([sys.executable, str(BENCH / "bench_all.py"), "--json", str(out),
                                *extra], env=env, check=True, stdout=subprocess.DEVNULL)
                result = json.loads(out.read_text())
                modules[label] = result["module"]
                for row in result["rows"]:
                    if not isinstance(row["ours"], (int, float)):
                        continue
                    key = row["work"]
                    if (key, row["unit"]) not in order:
                        order.append((key, row["unit"]))
                    old = best[label].get(key)
                    best[label][key] = row["ours"] if old is None else min(old, row["ours"])
    for label, _ in builds:
        print(f"{label}: {modules.get(label)}")
    first = builds[0][0]
    head = f"| work | {' | '.join(label for label, _ in builds)} | " + " | ".join(
        f"{label} / {first}" for label, _ in builds[1:]) + " |"
    print(head)
    print("|---" * (len(builds) * 2) + "|")
    for work, unit in order:
        cells = [show(best[label].get(work, "n/a"), unit) for label, _ in builds]
        base = best[first].get(work)
        ratios = [f"{best[label][work] / base:.2f}" if base and best[label].get(work) else "-"
                  for label, _ in builds[1:]]
        print(f"| {work} | {' | '.join(cells)} | {' | '.join(ratios)} |")


if __name__ == "__main__":
    main()
