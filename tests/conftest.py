import os

import pytest

# Set by tests/run_all.sh for its run against the build under AddressSanitizer and UBSan.
SANITIZED = os.environ.get("BRINDLE_SANITIZED") == "1"


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "unsanitized(reason): cannot run against the sanitized build; skipped there with the reason")


def pytest_sessionstart(session):
    import brindle
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    if reporter is not None:
        reporter.write_line(f"brindle under test: {brindle.__file__}" + (" (sanitized run)" if SANITIZED else ""))
    if SANITIZED:
        # The sanitized run must not quietly test an installed, unsanitized brindle.
        with open(brindle.__file__, "rb") as module:
            if b"__asan_init" not in module.read():
                pytest.exit(f"{brindle.__file__} is not built with AddressSanitizer", returncode=1)


def pytest_collection_modifyitems(config, items):
    if not SANITIZED:
        return
    for item in items:
        marker = item.get_closest_marker("unsanitized")
        if marker is not None:
            item.add_marker(pytest.mark.skip(reason="sanitized build: " + marker.kwargs["reason"]))
