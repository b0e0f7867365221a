"""The examples of the user documentation (docs/*.md) run as doctests, so no page can drift
from what the module does. An example marked `# doctest: +ARROW` needs pyarrow, and is skipped
where it has no wheel."""

import doctest
import importlib.util
import pathlib

import pytest

DOCS = pathlib.Path(__file__).resolve().parent.parent / "docs"
PAGES = sorted(DOCS.glob("*.md"))
ARROW = doctest.register_optionflag("ARROW")


def test_every_page_is_found():
    assert {"api.md", "tree-model.md", "concurrency.md", "errors.md"} <= {page.name for page in PAGES}


@pytest.mark.parametrize("page", PAGES, ids=lambda page: page.name)
def test_page_examples(page):
    test = doctest.DocTestParser().get_doctest(page.read_text(encoding="utf-8"), {"__name__": "__main__"},
                                               page.name, str(page), 0)
    if importlib.util.find_spec("pyarrow") is None:
        for example in test.examples:
            if example.options.get(ARROW):
                example.options[doctest.SKIP] = True
    runner = doctest.DocTestRunner(verbose=False)
    runner.run(test)
    result = runner.summarize(verbose=False)
    assert result.attempted > 0, f"{page.name} has no example"
    assert result.failed == 0, f"{result.failed} of {result.attempted} examples of {page.name} failed (output above)"
