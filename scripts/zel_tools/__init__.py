"""Building, auditing and testing the distributions: the sdist and the portable wheels for every
interpreter and platform (see scripts/release.py)."""
