"""A settings store written in plain Python, as a point of comparison for ZelSettingEngine.

The same calls the benchmarks make (value, set_value, begin_group, end_group) over nested
dicts: keys are split at "/", and the open groups are a list of segments put in front of every
key. Values are stored and returned as they are, without copying.
"""

from __future__ import annotations

from typing import Any


class PySettings:
    def __init__(self, data: dict[str, Any] | None = None) -> None:
        self._root: dict[str, Any] = data if data is not None else {}
        self._prefix: list[str] = []
        self._group_sizes: list[int] = []

    def begin_group(self, name: str) -> None:
        parts = [p for p in name.split("/") if p]
        self._prefix.extend(parts)
        self._group_sizes.append(len(parts))

    def end_group(self) -> None:
        if self._group_sizes:
            del self._prefix[len(self._prefix) - self._group_sizes.pop() :]

    def _parts(self, key: str) -> list[str]:
        return self._prefix + [p for p in key.split("/") if p]

    def value(self, key: str, default: Any = None) -> Any:
        node: Any = self._root
        for part in self._parts(key):
            if not isinstance(node, dict):
                return default
            node = node.get(part, default)
            if node is default:
                return default
        return node

    def set_value(self, key: str, value: Any) -> None:
        parts = self._parts(key)
        if not parts:
            raise ValueError("empty key")
        node = self._root
        for part in parts[:-1]:
            child = node.get(part)
            if not isinstance(child, dict):
                child = node[part] = {}
            node = child
        node[parts[-1]] = value
