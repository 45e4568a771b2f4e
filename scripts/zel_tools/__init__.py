"""The project's build, test and release tooling, run through scripts/zel.py: the provisioning of
the machine (provision), the test stages (suites, tsan) and the release of the sdist and the
portable wheels (common, pythons, wheels, testing; see scripts/release.py)."""
