"""Names that all share one value of the C++ standard library's std::hash<std::string_view>
(libstdc++ on 64-bit targets: a 64-bit multiply-and-shift hash with a fixed, public seed).

A TOML table index keyed by that hash puts every one of these names into the same probe chain,
so a document of N such [headers] costs O(N^2) to load there. The construction: the hash state
after each 8-byte block is (state ^ mix(block)) * M, and mix() is invertible, so from any
state and any first block a second block can be solved for that brings the state to a chosen
value. A "stage" is a set of 16-byte chunks that all take the state at their start to the same
state at their end; chaining stages of C chunks each gives C**stages colliding names of equal
length. Only solved blocks whose bytes are all ASCII are kept (TOML writes the others as \\u
escapes in a quoted key), which is about one try in 256.

    python bench/toml_colliding_names.py COUNT > names.txt   # one name per line, hex-encoded
"""

from __future__ import annotations

import itertools
import sys

MASK = (1 << 64) - 1
MUL = 0xC6A4A7935BD1E995
MUL_INV = pow(MUL, -1, 1 << 64)
SEED = 0xC70F6907
ASCII_ONLY = 0x8080808080808080


def _shift_mix(v: int) -> int:
    return v ^ (v >> 47)  # its own inverse: 2 * 47 >= 64


def _mix(block: int) -> int:
    return (_shift_mix((block * MUL) & MASK) * MUL) & MASK


def _unmix(data: int) -> int:
    return (_shift_mix((data * MUL_INV) & MASK) * MUL_INV) & MASK


def std_hash(name: bytes) -> int:
    """The libstdc++ 64-bit std::hash of `name` (for checking the construction)."""
    h = SEED ^ ((len(name) * MUL) & MASK)
    aligned = len(name) & ~7
    for i in range(0, aligned, 8):
        h = ((h ^ _mix(int.from_bytes(name[i:i + 8], "little"))) * MUL) & MASK
    if len(name) & 7:
        h = ((h ^ int.from_bytes(name[aligned:], "little")) * MUL) & MASK
    h = _shift_mix(h)
    h = (h * MUL) & MASK
    return _shift_mix(h)


def _stage(state: int, chunks: int, stage: int) -> tuple[list[bytes], int]:
    """`chunks` 16-byte chunks taking `state` to one common state, and that state."""
    target = None
    found: list[bytes] = []
    for n in itertools.count():
        first = b"%02d%06d" % (stage, n)  # 8 bytes
        after_first = ((state ^ _mix(int.from_bytes(first, "little"))) * MUL) & MASK
        if target is None:
            second = b"tail%04d" % stage  # 8 bytes
            target = after_first ^ _mix(int.from_bytes(second, "little"))
        else:
            solved = _unmix(target ^ after_first)
            if solved & ASCII_ONLY:
                continue
            second = solved.to_bytes(8, "little")
        found.append(first + second)
        if len(found) == chunks:
            return found, (target * MUL) & MASK


def colliding_names(count: int, chunks: int = 64) -> list[bytes]:
    stages = 1
    while chunks**stages < count:
        stages += 1
    state = SEED ^ ((16 * stages * MUL) & MASK)
    per_stage = []
    for s in range(stages):
        found, state = _stage(state, chunks, s)
        per_stage.append(found)
    return [b"".join(parts) for parts in itertools.islice(itertools.product(*per_stage), count)]


def toml_key(name: bytes) -> str:
    """`name` as a TOML basic-string key."""
    out = []
    for b in name:
        c = chr(b)
        if c in '"\\' or b < 0x20 or b == 0x7F:
            out.append("\\u%04X" % b)
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


if __name__ == "__main__":
    for name in colliding_names(int(sys.argv[1])):
        print(name.hex())
