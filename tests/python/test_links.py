"""Every relative link and image of the README, of docs/*.md and of the
notebook tour's text leads to a file of the tree, and a `page.md#heading`
link to a heading of that page."""

import pytest

from markdown_pages import ROOT, anchors, links


@pytest.mark.parametrize("page, target", [pytest.param(page, target, id=f"{page.relative_to(ROOT)}->{target}")
                                          for page, target in links()])
def test_the_link_resolves(page, target):
    path, _, anchor = target.partition("#")
    linked = (page.parent / path).resolve() if path else page
    assert linked.exists(), f"{target}: no such file"
    assert linked.is_relative_to(ROOT), f"{target}: outside the source tree"
    if anchor:
        assert linked.suffix == ".md", f"{target}: an anchor into a file that is not a page"
        assert anchor in anchors(linked), f"{target}: no such heading; the page has {sorted(anchors(linked))}"
