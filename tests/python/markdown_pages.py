"""The README and the pages of docs/ as the documentation's tests read them:
their code blocks (with the output a page shows after a block, and the
`<!-- test: skip, REASON -->` marks), their relative links, and the anchors
their headings give."""

import json
import re
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

ROOT = Path(__file__).resolve().parents[2]
PAGES = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
TOUR = ROOT / "docs" / "tour.ipynb"
RUNNABLE = ("sh", "python", "cpp")

# A fenced block, perhaps indented in a list item; its closing fence has the same indent.
FENCE = re.compile(r"^(?P<indent> *)```(?P<lang>\w*)\n(?P<body>.*?)^(?P=indent)```[ \t]*$", re.S | re.M)
SKIP = re.compile(r"<!-- test: skip, (?P<reason>[^>]*?) -->\s*$")
# [text](target) and ![alt](target); the target ends at white space or the closing parenthesis.
LINK = re.compile(r"!?\[[^\]]*\]\((?P<target>[^)\s]+)\)")
HEADING = re.compile(r"^#{1,6} +(?P<title>.+?) *#*$", re.M)
INLINE_CODE = re.compile(r"`[^`\n]*`")


@dataclass
class Block:
    page: Path
    line: int
    lang: str
    code: str
    skip: Optional[str]
    output: Optional[str] = None
    """The `text` block right after this one: what it prints (None: not shown)."""
    output_skip: Optional[str] = None
    text_so_far: str = ""
    """The page up to the end of this block (for the files that its commands write)."""

    @property
    def name(self):
        return f"{page_name(self.page)}:{self.line}"


def page_name(page):
    """The page's path from the top of the source tree: README.md, docs/NAME.md."""
    return str(page.relative_to(ROOT))


def _dedent(body, indent):
    return "".join(line[len(indent):] if line.startswith(indent) else line for line in body.splitlines(True))


def blocks(page):
    """Every fenced block of `page`, in order; a `text` block that follows a
    runnable one with nothing but blank lines between is that one's output."""
    text = page.read_text()
    found, previous_end, previous = [], 0, None
    for match in FENCE.finditer(text):
        between = text[previous_end:match.start()]
        skip = SKIP.search(between)
        reason = skip["reason"] if skip else None
        adjacent = not (between[:skip.start()] if skip else between).strip()
        code = _dedent(match["body"], match["indent"])
        if match["lang"] == "text" and adjacent and previous is not None and previous.lang in RUNNABLE:
            previous.output, previous.output_skip = code, reason
        else:
            previous = Block(page, text.count("\n", 0, match.start("body")) + 1, match["lang"], code, reason,
                             text_so_far=text[:match.end()])
            found.append(previous)
        previous_end = match.end()
    return found


def runnable_blocks():
    found = [block for page in PAGES for block in blocks(page) if block.lang in RUNNABLE]
    assert found, "the pages have no runnable block"
    return found


def pages_with_runnable_blocks():
    """The names of the pages that have a runnable block, in the order of PAGES."""
    return list(dict.fromkeys(page_name(block.page) for block in runnable_blocks()))


def _prose(markdown):
    """The text outside code: fenced blocks and inline code spans removed."""
    return INLINE_CODE.sub("", FENCE.sub("", markdown))


def tour_markdown():
    cells = json.loads(TOUR.read_text())["cells"]
    return "\n\n".join("".join(cell["source"]) for cell in cells if cell["cell_type"] == "markdown")


def links():
    """(page, target) for every relative link and image of the pages and of the tour's text."""
    texts = [(page, page.read_text()) for page in PAGES] + [(TOUR, tour_markdown())]
    found = [(page, match["target"]) for page, text in texts for match in LINK.finditer(_prose(text))
             if not re.match(r"[a-z][a-z0-9+.-]*:", match["target"])]
    assert found, "the pages have no relative link"
    return found


def anchors(page):
    """The anchors of `page`'s headings, as a Markdown renderer makes them:
    lower case, punctuation dropped, spaces as hyphens, repeats numbered."""
    seen, result = {}, set()
    for match in HEADING.finditer(FENCE.sub("", page.read_text())):
        slug = re.sub(r"[^\w\- ]", "", match["title"].lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        result.add(slug if count == 0 else f"{slug}-{count}")
    return result


if __name__ == "__main__":
    # CMake registers one test of the blocks a page, from this list.
    print(";".join(pages_with_runnable_blocks()), end="")
