"""The examples of the user documentation (docs/*.md) run as doctests, so no page can drift
from what the module does."""

import doctest
import pathlib

import pytest

DOCS = pathlib.Path(__file__).resolve().parent.parent / "docs"
PAGES = sorted(DOCS.glob("*.md"))


def test_every_page_is_found():
    assert {"api.md", "tree-model.md", "concurrency.md", "errors.md"} <= {page.name for page in PAGES}


@pytest.mark.parametrize("page", PAGES, ids=lambda page: page.name)
def test_page_examples(page):
    result = doctest.testfile(str(page), module_relative=False, encoding="utf-8", verbose=False)
    assert result.attempted > 0, f"{page.name} has no example"
    assert result.failed == 0, f"{result.failed} of {result.attempted} examples of {page.name} failed (output above)"
