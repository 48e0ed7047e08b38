"""CTest runs the documentation's blocks as one test a page (test_docs.py
under CASCADE_DOCS_PAGE), from the list of pages it was configured with
(CASCADE_DOCS_PAGES, comma-separated). That list must be every page with a
runnable block, each once, or a page's blocks would go unrun or run twice."""

import os

from markdown_pages import pages_with_runnable_blocks


def test_every_page_with_a_runnable_block_has_one_test_of_its_own():
    registered = os.environ["CASCADE_DOCS_PAGES"].split(",")
    assert sorted(registered) == sorted(pages_with_runnable_blocks()), \
        "the pages' tests are stale: configure the build again (cmake -S . -B build)"
