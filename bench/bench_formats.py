"""Benchmark: loading and saving the same settings document as JSON5, TOML and YAML.

For each format, _zel_core opens a store on the file (load) and writes it back with sync()
(save); the Python libraries a program would otherwise use do the same job in plain Python:

  JSON5  json5 (pure Python) and pyjson5
  TOML   tomllib to load with tomli-w to save, and rtoml
  YAML   PyYAML with its libyaml-based CSafeLoader / CSafeDumper

The document is bench/_data.py's (fixed seed, --size-kb of data as compact JSON) without null,
which TOML cannot hold. It is written in each format by _zel_core itself, and every contender
must read back the same tree before it is timed. Missing libraries show as n/a; install them with
.venv/bin/python -m pip install json5 pyjson5 tomli-w rtoml pyyaml
"""

from __future__ import annotations

import argparse
import pathlib
import sys
import tempfile
from collections.abc import Callable
from typing import Any

from _zel_core import ZelSettingEngine

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import _data  # noqa: E402
from _data import integral_floats_as_int, without_null  # noqa: E402
from bench_json import measure, show  # noqa: E402


def optional(name: str) -> Any:
    try:
        return __import__(name)
    except ImportError:
        return None


json5 = optional("json5")
pyjson5 = optional("pyjson5")
tomllib = optional("tomllib")
tomli_w = optional("tomli_w")
rtoml = optional("rtoml")
yaml = optional("yaml")


def make_document(size_kb: int) -> dict[str, Any]:
    return without_null(_data.make_document(size_kb * 1000))


def contenders(fmt: str) -> dict[str, tuple[Callable[[pathlib.Path], Any], Callable[[pathlib.Path, Any], None]]]:
    """name -> (load(path) -> tree, save(path, tree)) for the Python libraries of a format."""
    out: dict[str, Any] = {}
    if fmt == "json5":
        if json5 is not None:
            out["json5"] = (lambda p: json5.loads(p.read_text("utf-8")),
                            lambda p, d: p.write_text(json5.dumps(d, indent=2), "utf-8"))
        if pyjson5 is not None:
            out["pyjson5"] = (lambda p: pyjson5.decode(p.read_text("utf-8")),
                              lambda p, d: p.write_text(pyjson5.encode(d), "utf-8"))
    elif fmt == "toml":
        if tomllib is not None and tomli_w is not None:
            out["tomllib+tomli-w"] = (lambda p: tomllib.loads(p.read_text("utf-8")),
                                      lambda p, d: p.write_text(tomli_w.dumps(d), "utf-8"))
        if rtoml is not None:
            out["rtoml"] = (lambda p: rtoml.loads(p.read_text("utf-8")),
                            lambda p, d: p.write_text(rtoml.dumps(d), "utf-8"))
    elif fmt == "yaml":
        if yaml is not None and hasattr(yaml, "CSafeLoader"):
            out["PyYAML (libyaml)"] = (
                lambda p: yaml.load(p.read_text("utf-8"), Loader=yaml.CSafeLoader),
                lambda p, d: p.write_text(yaml.dump(d, Dumper=yaml.CSafeDumper, sort_keys=True), "utf-8"),
            )
    return out


def run_format(fmt: str, doc: dict[str, Any], tmp: pathlib.Path, repeat: int) -> list[tuple[str, str, float]]:
    path = tmp / f"settings.{fmt}"
    out = ZelSettingEngine(str(path), fmt)
    for key, value in doc.items():
        out.set_value(key, value)
    out.sync()
    expected = integral_floats_as_int(doc) if fmt == "json5" else doc
    size = path.stat().st_size

    rows: list[tuple[str, str, float]] = []
    store = ZelSettingEngine(str(path), fmt)
    if store.value("") != expected:
        print(f"warning: _zel_core does not read back its own {fmt} file", file=sys.stderr)
    rows.append((fmt, "_zel_core load", measure(lambda: ZelSettingEngine(str(path), fmt), repeat)))
    rows.append((fmt, "_zel_core save", measure(store.sync, repeat)))
    for name, (load, save) in contenders(fmt).items():
        try:
            tree = load(path)
        except Exception as exc:  # a library that cannot read the file is reported, not timed
            print(f"note: {name} cannot read the {fmt} file: {exc}", file=sys.stderr)
            continue
        if tree != expected:
            print(f"note: {name} reads a different tree from the {fmt} file", file=sys.stderr)
        out_path = tmp / f"out-{name.split()[0]}.{fmt}"
        rows.append((fmt, f"{name} load", measure(lambda: load(path), repeat)))
        rows.append((fmt, f"{name} save", measure(lambda: save(out_path, tree), repeat)))
    print(f"{fmt}: {size / 1e6:.2f} MB file")
    return rows


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size-kb", type=int, default=2000, help="document size, KB of data")
    parser.add_argument("--repeat", type=int, default=5, help="runs per figure (median)")
    parser.add_argument("--formats", default="json5,toml,yaml")
    args = parser.parse_args()

    doc = make_document(args.size_kb)
    print(f"document: {len(doc)} sections, repeat={args.repeat}, Python {sys.version.split()[0]}")
    rows: list[tuple[str, str, float]] = []
    with tempfile.TemporaryDirectory() as tmp:
        for fmt in args.formats.split(","):
            rows += run_format(fmt, doc, pathlib.Path(tmp), args.repeat)
    print()
    print(f"{'format':<8}{'contender':<28}{'median':>12}")
    print("-" * 48)
    for fmt, name, seconds in rows:
        print(f"{fmt:<8}{name:<28}{show(seconds):>12}")


if __name__ == "__main__":
    main()
