# Type stub for the _zel_core extension module, installed next to it in site-packages.
# The docstrings here are for editors and type checkers; the module's own docstrings stay short.
from typing import Any, Literal, Protocol, TypeAlias, final, type_check_only

__all__ = ["ZelSettingEngine"]

@type_check_only
class SettingsDriver(Protocol):
    """An object that stores the document itself: any object with `read` and `write`.

    `read(path)` is called once, when the store is opened, with the store's path; it returns the
    document (a dict for an ordinary store; any JSON-model value is accepted). `write(path, data)`
    is called by every `sync()` with the same path and the whole document (a dict when the root
    is an object, a list for an array root). Both run on the calling thread, while the store is
    in use: calling `begin_group` or `end_group` on the same store from inside them raises
    RuntimeError.
    """

    def read(self, path: str, /) -> Any: ...
    def write(self, path: str, data: Any, /) -> object: ...

_DriverName: TypeAlias = Literal["json", "json5", "toml", "yaml", "memory"]

@final
class ZelSettingEngine:
    """A hierarchical key/value settings store bound to one file.

    The whole document is read once, when the store is opened; every other method works on the
    copy in memory, and only `sync()` writes it back. Keys are paths split at "/" (such as
    "window/size/width"), relative to the current group (`begin_group`). Values are the JSON
    data model: None, bool, int, float, str, list and dict.
    """

    def __new__(cls, path: str, driver: _DriverName | str | SettingsDriver | None = None) -> ZelSettingEngine:
        """Open the store at `path` and read its whole document.

        `driver` chooses the storage: None (the default) or "json" for a JSON file, "json5",
        "toml" or "yaml" for those formats (names are matched without regard to case, nothing
        else is trimmed), "memory" for a store that never touches a file, or an object with
        `read` and `write` methods (`SettingsDriver`). A file that does not exist reads as an
        empty store; it is created by the first `sync()`.

        Raises:
            TypeError: `path` is not a str; `driver` is neither a name nor an object with both
                `read` and `write`; the file is not valid in its format ("JSON parse error: ...",
                "TOML parse error: ...", with the line and column); a custom driver's result
                cannot be converted.
            ValueError: "Unknown driver: <name>" for a name that names no driver.
            OSError: the file exists but cannot be opened or read (PermissionError,
                IsADirectoryError, ...).
        """

    @property
    def path(self) -> str:
        """The path the store was opened with, exactly as given."""

    def begin_group(self, name: str) -> None:
        """Enter the group `name`: keys given to the other methods are then relative to it,
        until `end_group()`.

        Leading and trailing "/" are dropped (an empty name does nothing); a "/" inside stays
        part of the one member name, so to enter "size" inside "window" call `begin_group`
        twice. The group need not exist; `set_value` creates it. Raises RuntimeError ("Already
        borrowed") when the store is in use by another call at that moment (another thread on a
        free-threaded interpreter, or a custom driver's code running inside `sync()`).
        """

    def end_group(self) -> None:
        """Leave the group entered last. Does nothing when no group is open."""

    def group(self) -> str:
        """The open groups joined by "/" ("window/size"), or "" when no group is open."""

    def contains(self, key: str) -> bool:
        """Whether anything is stored under `key`, a stored None included. The empty key names
        the current group itself."""

    def value(self, key: str) -> Any:
        """The value stored under `key`, as a new object (a dict for a group), or None when
        nothing is stored there.

        A missing key, a missing group and a stored None all give None; use `contains` to tell
        them apart. The empty key gives the whole current group (with no group open, the whole
        document). Changing the result does not change the store.
        """

    def set_value(self, key: str, value: Any) -> None:
        """Store `value` under `key`, creating the groups on its path. Changes memory only: the
        file changes at the next `sync()`.

        `value` may be None, bool, int, float, str, or a list, tuple, dict or other mapping or
        sequence of these (dict keys must be str); dataclass instances are stored as dicts.

        Raises:
            KeyError: "Key is empty": no group is open and `key` has no name in it.
            TypeError: the value cannot be stored (for example an object of another type, a
                container that holds itself, or nesting too deep), or a name on the key's path
                holds something other than a group ("Path segment is not an object").
        """

    def remove(self, key: str) -> None:
        """Delete what is stored under `key`, with everything below it. A missing key is not an
        error. Changes memory only, like `set_value`."""

    def all_keys(self) -> list[str]:
        """Every key that holds a value (not a group) below the current group, as paths, in
        ascending order."""

    def child_keys(self) -> list[str]:
        """The names of the current group's members that hold values (not groups), in ascending
        order."""

    def child_groups(self) -> list[str]:
        """The names of the current group's members that are groups, in ascending order."""

    def clear(self) -> None:
        """Delete everything in the current group (the whole document when no group is open).
        Changes memory only, like `set_value`."""

    def sync(self) -> None:
        """Write the whole document to storage: the only method that writes.

        A file is replaced as a whole (written beside it, then renamed over it), so a reader or
        a crash sees the old document or the new one; a file with other hard links is rewritten
        in place under a recovery journal. Parent directories are created. With the "memory"
        driver nothing is written; a custom driver's `write` is called. On failure the store is
        unchanged and `sync()` can simply be called again.

        Raises:
            OSError: the file or its directory cannot be written (PermissionError,
                FileNotFoundError, no space left, ...).
            TypeError: the document cannot be converted for a custom driver.
            ValueError: the document cannot be written as TOML (for example a list that holds
                None at its top).
            Exception: whatever a custom driver's `write` raised.
        """

    def status(self) -> int:
        """Always 0: errors are raised as exceptions."""

    def is_writable(self) -> bool:
        """Always True."""

    def file_name(self) -> str:
        """The path the store was opened with, exactly as given."""
