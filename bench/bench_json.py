"""Benchmark: _zel_core's JSON store against the standard library's json and orjson.

Each contender does the same jobs in one run, and the medians of --repeat runs are printed side
by side:

  open   open a large generated settings file and read 1,000 keys
  write  set 100,000 keys in one group, then save the file
  value  one value() call (time per call)

json and orjson do in plain Python what a program would do without _zel_core: load the file
into dicts, walk key paths split at "/", build nested dicts, dump with indent=2 (keys sorted,
since the store writes its members sorted). The data file is generated once, with a fixed seed,
into bench/data/ (bench/_data.py; 20 MB of data is about 35 MB of indented JSON). Run with the
venv's interpreter: .venv/bin/python bench/bench_json.py
"""

from __future__ import annotations

import argparse
import gc
import json
import pathlib
import random
import statistics
import sys
import tempfile
import time
from collections.abc import Callable
from typing import Any

try:
    import orjson
except ImportError:  # the table then shows n/a for it
    orjson = None  # type: ignore[assignment]

from _zel_core import ZelSettingEngine

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from _data import SEED, ensure_json  # noqa: E402


# ---- the plain-Python way -----------------------------------------------------------------


def get_path(doc: Any, key: str) -> Any:
    node = doc
    for part in key.split("/"):
        if not part:
            continue
        if not isinstance(node, dict) or part not in node:
            return None
        node = node[part]
    return node


def set_path(doc: dict[str, Any], key: str, value: Any) -> None:
    parts = [p for p in key.split("/") if p]
    node = doc
    for part in parts[:-1]:
        child = node.get(part)
        if not isinstance(child, dict):
            if child is not None:
                raise TypeError("Path segment is not an object")
            child = node[part] = {}
        node = child
    node[parts[-1]] = value


def json_load(path: pathlib.Path) -> Any:
    with open(path, "rb") as fh:
        return json.load(fh)


def json_save(path: pathlib.Path, doc: Any) -> None:
    with open(path, "w", encoding="utf-8") as fh:
        json.dump(doc, fh, indent=2, sort_keys=True, ensure_ascii=False)


def orjson_load(path: pathlib.Path) -> Any:
    return orjson.loads(path.read_bytes())


def orjson_save(path: pathlib.Path, doc: Any) -> None:
    path.write_bytes(orjson.dumps(doc, option=orjson.OPT_INDENT_2 | orjson.OPT_SORT_KEYS))


# ---- jobs ---------------------------------------------------------------------------------


def write_items(count: int) -> list[tuple[str, Any]]:
    rng = random.Random(SEED + 1)
    items: list[tuple[str, Any]] = []
    for i in range(count):
        key = f"entry_{i:06d}"
        value = (i, f"value {i}", i / 7)[i % 3]
        items.append((key, value))
    rng.shuffle(items)  # keys arrive in no particular order
    return items


def measure(fn: Callable[[], Any], repeat: int) -> float:
    times = []
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def job_open(path: pathlib.Path, keys: list[str], repeat: int) -> dict[str, float]:
    def zel() -> list[Any]:
        store = ZelSettingEngine(str(path))
        return [store.value(k) for k in keys]

    def plain(load: Callable[[pathlib.Path], Any]) -> Callable[[], list[Any]]:
        def run() -> list[Any]:
            doc = load(path)
            return [get_path(doc, k) for k in keys]

        return run

    # Not a timing: the contenders must read the same values, or the figures mean nothing.
    if zel() != plain(json_load)():
        print("warning: _zel_core and json read different values", file=sys.stderr)
    results = {"_zel_core": measure(zel, repeat), "json": measure(plain(json_load), repeat)}
    if orjson is not None:
        results["orjson"] = measure(plain(orjson_load), repeat)
    return results


def job_write(items: list[tuple[str, Any]], repeat: int) -> dict[str, float]:
    with tempfile.TemporaryDirectory() as tmp:
        out = pathlib.Path(tmp) / "out.json"

        def zel() -> None:
            out.unlink(missing_ok=True)
            store = ZelSettingEngine(str(out))
            store.begin_group("bulk")
            for key, value in items:
                store.set_value(key, value)
            store.sync()

        def plain(save: Callable[[pathlib.Path, Any], None]) -> Callable[[], None]:
            def run() -> None:
                doc: dict[str, Any] = {}
                for key, value in items:
                    set_path(doc, "bulk/" + key, value)
                save(out, doc)

            return run

        results = {"_zel_core": measure(zel, repeat), "json": measure(plain(json_save), repeat)}
        if orjson is not None:
            results["orjson"] = measure(plain(orjson_save), repeat)
    return results


def job_value(path: pathlib.Path, keys: list[str], calls: int, repeat: int) -> dict[str, float]:
    sequence = [keys[i % len(keys)] for i in range(calls)]
    store = ZelSettingEngine(str(path))
    docs = {"json": json_load(path)}
    if orjson is not None:
        docs["orjson"] = orjson_load(path)

    def zel() -> None:
        value = store.value
        for key in sequence:
            value(key)

    def plain(doc: Any) -> Callable[[], None]:
        def run() -> None:
            for key in sequence:
                get_path(doc, key)

        return run

    results = {"_zel_core": measure(zel, repeat) / calls}
    for name, doc in docs.items():
        results[name] = measure(plain(doc), repeat) / calls
    return results


# ---- report -------------------------------------------------------------------------------


def show(seconds: float | None) -> str:
    if seconds is None:
        return "n/a"
    if seconds >= 1:
        return f"{seconds:.2f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.1f} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.2f} us"
    return f"{seconds * 1e9:.0f} ns"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size-mb", type=float, default=20, help="document size, MB of data")
    parser.add_argument("--repeat", type=int, default=5, help="runs per figure (median)")
    parser.add_argument("--reads", type=int, default=1000, help="keys read after opening")
    parser.add_argument("--writes", type=int, default=100_000, help="keys set before saving")
    parser.add_argument("--calls", type=int, default=100_000, help="value() calls to average")
    args = parser.parse_args()

    path, keys = ensure_json(args.size_mb, args.reads)
    size = path.stat().st_size / 1e6
    print(f"data: {path.name} ({size:.1f} MB), repeat={args.repeat}, Python {sys.version.split()[0]}")
    if orjson is None:
        print("orjson is not installed: its column shows n/a")

    rows = [
        (f"open {size:.0f} MB + read {len(keys):,} keys", job_open(path, keys, args.repeat)),
        (
            f"set {args.writes:,} keys in a group + sync",
            job_write(write_items(args.writes), args.repeat),
        ),
        ("one value() call", job_value(path, keys, args.calls, args.repeat)),
    ]

    columns = ["_zel_core", "json", "orjson"]
    header = f"{'job':<40}" + "".join(f"{c:>12}" for c in columns)
    header += f"{'json/zel':>10}{'orjson/zel':>12}"
    print()
    print(header)
    print("-" * len(header))
    for title, results in rows:
        line = f"{title:<40}" + "".join(f"{show(results.get(c)):>12}" for c in columns)
        zel = results["_zel_core"]
        for other, width in (("json", 10), ("orjson", 12)):
            ratio = f"{results[other] / zel:.2f}x" if other in results else "n/a"
            line += f"{ratio:>{width}}"
        print(line)
    print("\nmedians of", args.repeat, "runs; json/zel > 1 means _zel_core is faster")


if __name__ == "__main__":
    main()
