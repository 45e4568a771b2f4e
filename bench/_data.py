"""The generated settings document shared by the benchmarks, and its cached files in bench/data/.

The document is a dict of sections ("section_000000", ...), each a settings group of scalars,
short lists and nested groups, drawn from a fixed seed. Its size is counted as compact JSON
(no spaces): "20 MB of data" is about 35 MB written with a two-space indent. A smaller document
is a prefix of a larger one (the same sections, in the same order).
"""

from __future__ import annotations

import json
import pathlib
import random
from collections.abc import Iterator
from typing import Any

DATA_DIR = pathlib.Path(__file__).resolve().parent / "data"
SEED = 20240611
WORDS = (
    "window editor font theme color size width height position recent file path proxy host "
    "port user name timeout retry cache limit plugin enabled level format locale language "
    "shortcut toolbar panel layout margin zoom scale device audio volume network sync backup"
).split()
EXTENSIONS = {"json": "json", "json5": "json5", "toml": "toml", "yaml": "yaml"}


def random_text(rng: random.Random) -> str:
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 6)))


def make_group(rng: random.Random, depth: int) -> dict[str, Any]:
    """A settings group: scalars, short lists and nested groups, like a real settings file."""
    group: dict[str, Any] = {}
    for i in range(rng.randint(3, 9)):
        name = f"{rng.choice(WORDS)}_{i}"
        roll = rng.random()
        if depth < 5 and roll < 0.22:
            group[name] = make_group(rng, depth + 1)
        elif roll < 0.42:
            group[name] = rng.randint(-1000, 10**9)
        elif roll < 0.55:
            group[name] = round(rng.uniform(-1e4, 1e4), rng.randint(0, 6))
        elif roll < 0.65:
            group[name] = rng.random() < 0.5
        elif roll < 0.68:
            group[name] = None
        elif roll < 0.76:
            group[name] = [rng.randint(0, 4096) for _ in range(rng.randint(0, 8))]
        else:
            group[name] = random_text(rng)
    return group


def sections() -> Iterator[tuple[str, dict[str, Any], int]]:
    """(name, section, compact JSON size of the member) forever, from the fixed seed."""
    rng = random.Random(SEED)
    for index in range(10**9):
        name = f"section_{index:06d}"
        section = make_group(rng, 1)
        # '"name":' + the section + ',' as compact JSON.
        size = len(name) + 4 + len(json.dumps(section, separators=(",", ":"), ensure_ascii=False))
        yield name, section, size


def make_document(size_bytes: int) -> dict[str, Any]:
    """The first sections of the document, until they hold size_bytes of compact JSON."""
    root: dict[str, Any] = {}
    total = 0
    for name, section, size in sections():
        if total >= size_bytes:
            break
        root[name] = section
        total += size
    return root


def leaf_paths(node: Any, prefix: str, out: list[str]) -> None:
    """Every key path that ends at a value which is not a non-empty dict."""
    if isinstance(node, dict) and node:
        for key, child in node.items():
            leaf_paths(child, f"{prefix}/{key}" if prefix else key, out)
    elif prefix:
        out.append(prefix)


def without_null(node: Any) -> Any:
    """The tree without None members and elements (TOML cannot hold them)."""
    if isinstance(node, dict):
        return {k: without_null(v) for k, v in node.items() if v is not None}
    if isinstance(node, list):
        return [without_null(v) for v in node if v is not None]
    return node


def integral_floats_as_int(node: Any) -> Any:
    """JSON5 is written with integral floats without a fraction, so they load back as integers."""
    if isinstance(node, dict):
        return {k: integral_floats_as_int(v) for k, v in node.items()}
    if isinstance(node, list):
        return [integral_floats_as_int(v) for v in node]
    if isinstance(node, float) and node.is_integer():
        return int(node)
    return node


def stem(size_mb: float) -> str:
    return f"settings-{size_mb:g}mb-seed{SEED}"


def ensure_json(size_mb: float, reads: int = 1000) -> tuple[pathlib.Path, list[str]]:
    """The document of size_mb MB as indented JSON (keys sorted, as the store writes them) and a
    fixed sample of `reads` of its leaf keys; generated once into bench/data/."""
    path = DATA_DIR / f"{stem(size_mb)}.json"
    keys_path = DATA_DIR / f"{stem(size_mb)}.keys.json"
    if path.exists() and keys_path.exists():
        keys = json.loads(keys_path.read_text())
        if len(keys) >= reads:
            return path, keys[:reads]
    DATA_DIR.mkdir(parents=True, exist_ok=True)
    print(f"generating {path.name} ({size_mb:g} MB of data) ...", flush=True)
    root = make_document(int(size_mb * 1_000_000))
    all_keys: list[str] = []
    leaf_paths(root, "", all_keys)
    keys = random.Random(SEED + 2).sample(all_keys, min(max(reads, 1000), len(all_keys)))
    tmp = path.with_suffix(".tmp")
    with open(tmp, "w", encoding="utf-8") as fh:
        json.dump(root, fh, indent=2, sort_keys=True, ensure_ascii=False)
    tmp.replace(path)
    keys_path.write_text(json.dumps(keys))
    return path, keys[:reads]


def load_json(path: pathlib.Path) -> Any:
    try:
        import orjson
    except ImportError:
        with open(path, "rb") as fh:
            return json.load(fh)
    return orjson.loads(path.read_bytes())


def write_with_store(path: pathlib.Path, driver: str, doc: dict[str, Any]) -> None:
    """Write doc as a `driver` file with _zel_core's own writer."""
    from _zel_core import ZelSettingEngine

    path.unlink(missing_ok=True)
    store = ZelSettingEngine(str(path), driver)
    for key, value in doc.items():
        store.set_value(key, value)
    store.sync()


def ensure_format(size_mb: float, fmt: str, fresh: bool = False) -> tuple[pathlib.Path, Any]:
    """The document of size_mb MB as a `fmt` file written by _zel_core (cached in bench/data/
    unless fresh), and the tree every reader of that file should load (None dropped for TOML,
    integral floats as integers for JSON5)."""
    json_path, _ = ensure_json(size_mb)
    doc = load_json(json_path)
    if fmt == "toml":
        doc = without_null(doc)
    path = DATA_DIR / f"{stem(size_mb)}.{EXTENSIONS[fmt]}"
    if fmt != "json" and (fresh or not path.exists()):
        print(f"writing {path.name} with the {fmt} driver ...", flush=True)
        tmp = path.with_name(path.name + ".tmp")
        write_with_store(tmp, fmt, doc)
        tmp.replace(path)
    if fmt == "json5":
        doc = integral_floats_as_int(doc)
    return path, doc
