"""Open times of YAML settings files of several shapes: ZelSettingEngine against PyYAML.

For each shape (plain block YAML; with literal and folded block scalars; with one-line flow
collections; all of them mixed, and that with CR LF line breaks) a document of about 10 MB and one of about 3 KB are generated
from a fixed seed. Printed per file: the best-of-N time of `ZelSettingEngine(path, "yaml")`
(open, which reads and parses the whole file, then free) for this build and, when given, for a
baseline build (another interpreter with its own `_zel_core`, e.g. main's); the best-of-N time
of `yaml.load(text, Loader=yaml.CSafeLoader)` with the text already in memory; and the ratios.
The engine is timed in a child process of the interpreter whose build it measures.

    .venv/bin/python -m pip install pyyaml
    .venv/bin/python bench/bench_yaml_shapes.py [--baseline-python /work/main/.venv/bin/python]
"""

from __future__ import annotations

import argparse
import json
import os
import random
import subprocess
import sys
import tempfile
import time

WORDS = (
    "window editor font theme color size width height position recent file path proxy host "
    "port user name timeout retry cache limit plugin enabled level format locale language "
    "shortcut toolbar panel layout margin zoom scale device audio volume network sync backup"
).split()
SHAPES = ("plain", "block_scalars", "flow", "mixed")
FILES = SHAPES + ("mixed_crlf",)  # the mixed document with CR LF line breaks
SIZES = {"10MB": 10_000_000, "3KB": 3_000}


def words(rng: random.Random, low: int, high: int) -> str:
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(low, high)))


def scalar(rng: random.Random) -> str:
    roll = rng.random()
    if roll < 0.25:
        return str(rng.randint(-1000, 10**9))
    if roll < 0.35:
        return f"{rng.uniform(-100, 100):.4f}"
    if roll < 0.45:
        return rng.choice(("true", "false"))
    if roll < 0.55:
        return f"'{words(rng, 1, 3)}: {rng.randint(0, 99)}'"
    if roll < 0.6:
        return f'"/home/{rng.choice(WORDS)}/{rng.choice(WORDS)}.cfg"'
    return words(rng, 1, 5)


def flow_scalar(rng: random.Random) -> str:
    roll = rng.random()
    if roll < 0.4:
        return str(rng.randint(0, 65535))
    if roll < 0.55:
        return f'"{words(rng, 1, 2)}"'
    return rng.choice(WORDS)


def flow_collection(rng: random.Random, depth: int = 0) -> str:
    if rng.random() < 0.5:
        items = [flow_scalar(rng) for _ in range(rng.randint(1, 6))]
        if depth == 0 and rng.random() < 0.2:
            items.append(flow_collection(rng, 1))
        return "[" + ", ".join(items) + "]"
    members = [f"{rng.choice(WORDS)}_{k}: {flow_scalar(rng)}" for k in range(rng.randint(1, 4))]
    if depth == 0 and rng.random() < 0.2:
        members.append(f"list: {flow_collection(rng, 1)}")
    return "{" + ", ".join(members) + "}"


def block_scalar(rng: random.Random, indent: int) -> list[str]:
    header = rng.choice(("|", ">", "|-", ">-", "|+"))
    pad = " " * (indent + 2)
    lines = [header]
    for k in range(rng.randint(2, 6)):
        if k > 0 and rng.random() < 0.15:
            lines.append("")
        lines.append(pad + words(rng, 3, 10))
    return lines


def group(rng: random.Random, shape: str, indent: int, depth: int, out: list[str]) -> None:
    pad = " " * indent
    for i in range(rng.randint(3, 9)):
        name = f"{rng.choice(WORDS)}_{i}"
        roll = rng.random()
        kind = shape if shape != "mixed" else rng.choice(SHAPES[:3])
        if depth < 4 and roll < 0.2:
            out.append(f"{pad}{name}:")
            group(rng, shape, indent + 2, depth + 1, out)
        elif kind == "block_scalars" and roll < 0.45:
            first, *rest = block_scalar(rng, indent)
            out.append(f"{pad}{name}: {first}")
            out.extend(rest)
        elif kind == "flow" and roll < 0.5:
            out.append(f"{pad}{name}: {flow_collection(rng)}")
        elif roll < 0.3:
            out.append(f"{pad}{name}:")
            out.extend(f"{pad}  - {scalar(rng)}" for _ in range(rng.randint(1, 4)))
        else:
            out.append(f"{pad}{name}: {scalar(rng)}")


def document(shape: str, size: int) -> str:
    if shape.endswith("_crlf"):
        return document(shape.removesuffix("_crlf"), size).replace("\n", "\r\n")
    rng = random.Random(f"{shape}-{size}")
    out = ["# generated settings", "---"] if shape == "mixed" else ["# generated settings"]
    length = 0
    section = 0
    while length < size:
        start = len(out)
        out.append(f"section_{section:06d}:")
        group(rng, shape, 2, 1, out)
        length += sum(len(line) + 1 for line in out[start:])
        section += 1
    return "\n".join(out) + "\n"


def best_of(fn, repeat: int, number: int) -> float:
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        for _ in range(number):
            fn()
        best = min(best, (time.perf_counter() - start) / number)
    return best


def plan(path: str) -> tuple[int, int]:
    """(samples, calls per sample) for a file: fewer for big files."""
    return (5, 1) if os.path.getsize(path) > 1_000_000 else (7, 300)


def engine_times(paths: list[str]) -> dict[str, float]:
    """Run in the child: best open-and-free time of each file."""
    from _zel_core import ZelSettingEngine

    def open_free(path: str) -> None:
        store = ZelSettingEngine(path, "yaml")
        if store.status() != 0:
            raise SystemExit(f"{path}: status {store.status()}")
        del store

    return {p: best_of(lambda p=p: open_free(p), *plan(p)) for p in paths}


def engine_times_with(python: str, paths: list[str]) -> dict[str, float]:
    done = subprocess.run([python, __file__, "--engine-only", *paths], check=True,
                          capture_output=True, text=True)
    return json.loads(done.stdout)


def same_tree(python: str, path: str, expected: object) -> bool:
    """Whether the engine reads `path` as PyYAML does (the documents use no YAML 1.1 forms)."""
    code = ("import json,sys\nfrom _zel_core import ZelSettingEngine\n"
            "s = ZelSettingEngine(sys.argv[1], 'yaml')\n"
            "print(json.dumps({k: s.value(k) for k in s.child_keys() + s.child_groups()}))")
    done = subprocess.run([python, "-c", code, path], check=True, capture_output=True, text=True)
    return json.loads(done.stdout) == json.loads(json.dumps(expected))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine-only", nargs="+", help=argparse.SUPPRESS)
    parser.add_argument("--baseline-python", help="interpreter of the build to compare with")
    parser.add_argument("--label", default="this build")
    parser.add_argument("--baseline-label", default="baseline")
    args = parser.parse_args()
    if args.engine_only:
        print(json.dumps(engine_times(args.engine_only)))
        return

    import yaml

    if not hasattr(yaml, "CSafeLoader"):
        raise SystemExit("PyYAML was built without libyaml: no CSafeLoader")
    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    with tempfile.TemporaryDirectory() as tmp:
        files: dict[tuple[str, str], str] = {}
        for shape in FILES:
            for size_name, size in SIZES.items():
                path = os.path.join(tmp, f"{shape}_{size_name}.yaml")
                with open(path, "w", encoding="utf-8", newline="") as f:
                    f.write(document(shape, size))
                files[shape, size_name] = path
        paths = list(files.values())
        ours = engine_times_with(sys.executable, paths)
        base = engine_times_with(args.baseline_python, paths) if args.baseline_python else {}
        header = f"{'file':<24}{'bytes':>10}{args.label + ' ms':>16}"
        if base:
            header += f"{args.baseline_label + ' ms':>16}{'speed-up':>10}"
        header += f"{'PyYAML C ms':>14}{'ratio':>9}"
        if base:
            header += f"{'ratio before':>14}"
        print(header)
        for (shape, size_name), path in files.items():
            with open(path, encoding="utf-8", newline="") as f:
                text = f.read()
            loaded = yaml.load(text, Loader=yaml.CSafeLoader)
            if size_name == "3KB" and not same_tree(sys.executable, path, loaded):
                raise SystemExit(f"{path}: the engine's tree differs from PyYAML's")
            pyyaml = best_of(lambda: yaml.load(text, Loader=yaml.CSafeLoader), *plan(path))
            row = f"{shape + ' ' + size_name:<24}{len(text.encode()):>10}{ours[path] * 1e3:>16.3f}"
            if base:
                row += f"{base[path] * 1e3:>16.3f}{base[path] / ours[path]:>9.1f}x"
            row += f"{pyyaml * 1e3:>14.3f}{pyyaml / ours[path]:>8.1f}x"
            if base:
                row += f"{pyyaml / base[path]:>13.1f}x"
            print(row)
    print(f"load average after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
