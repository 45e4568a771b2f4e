"""Hypothesis strategies shared by the test files: document trees built from leaves and keys,
and the leaves each file format can hold."""

import datetime

from hypothesis import HealthCheck, settings, strategies as st

# Any character a Python str can hold and encode: everything but lone surrogates.
CHARACTERS = st.characters(exclude_categories=("Cs",))

# The integers a stored value can hold: signed and unsigned 64-bit.
INTEGERS = st.integers(-(2**63), 2**64 - 1)
# TOML's integers: signed 64-bit only.
TOML_INTEGERS = st.integers(-(2**63), 2**63 - 1)
FINITE_FLOATS = st.floats(allow_nan=False, allow_infinity=False)

# A TOML date, time or date-time as the reader hands it over: an object with this one key.
DATETIME_MARKER = "$__toml_private_datetime"


def any_text(max_size=None):
    return st.text(CHARACTERS, max_size=max_size)


def trees(leaves, keys, *, max_leaves, max_size=4, lists=True):
    """Leaves, and lists (unless lists=False) and objects of up to max_size items holding trees,
    objects keyed by `keys`; at most max_leaves leaves in all."""

    def containers(children):
        objects = st.dictionaries(keys, children, max_size=max_size)
        return st.one_of(st.lists(children, max_size=max_size), objects) if lists else objects

    return st.recursive(leaves, containers, max_leaves=max_leaves)


def json_leaves(strings=None):
    """What JSON, JSON5 and YAML documents hold as leaves: null, booleans, 64-bit integers of
    either sign, finite floats and strings (any text unless `strings` says otherwise)."""
    return st.one_of(
        st.none(), st.booleans(), INTEGERS, FINITE_FLOATS, any_text() if strings is None else strings,
    )


@st.composite
def date_time_markers(draw):
    """A TOML date, time or date-time as a marker object, its text in the form the reader
    produces: fractions of a second without trailing zeros, a zero offset as Z."""
    day = draw(st.dates(min_value=datetime.date(1, 1, 1)))
    clock = draw(st.times())
    date_text = f"{day.year:04d}-{day.month:02d}-{day.day:02d}"
    time_text = f"{clock.hour:02d}:{clock.minute:02d}:{clock.second:02d}"
    if clock.microsecond:
        time_text += f".{clock.microsecond:06d}".rstrip("0")
    offset = draw(st.one_of(st.none(), st.just("Z"),
                            st.integers(-1439, 1439).filter(bool).map(
                                lambda m: f"{'-' if m < 0 else '+'}{abs(m) // 60:02d}:{abs(m) % 60:02d}")))
    kind = draw(st.sampled_from(["date", "time", "local", "offset"]))
    if kind == "date":
        return {DATETIME_MARKER: date_text}
    if kind == "time":
        return {DATETIME_MARKER: time_text}
    return {DATETIME_MARKER: f"{date_text}T{time_text}" + ((offset or "Z") if kind == "offset" else "")}


def toml_leaves(*, floats=FINITE_FLOATS, strings=None, date_times=None):
    """What a TOML document holds as leaves: no null, signed 64-bit integers only, and dates
    and times (as markers unless `date_times` says otherwise)."""
    return st.one_of(
        st.booleans(), TOML_INTEGERS, floats, any_text() if strings is None else strings,
        date_time_markers() if date_times is None else date_times,
    )


def sharing_tmp_path(max_examples, *also_suppressed):
    """Settings for a property whose examples share one tmp_path: each example removes or
    overwrites the files the one before it left there."""
    return settings(max_examples=max_examples, deadline=None,
                    suppress_health_check=[HealthCheck.function_scoped_fixture, *also_suppressed])
