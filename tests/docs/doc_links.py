#!/usr/bin/env python3
"""Every relative link of the given Markdown files must name a file of the repository: a page
link, and a #heading of that page, or of the file itself, must exist there; a picture's link
must name an image file that is there. Exits 1 and names each broken link, and exits 1 too when
it is given no file, or a file it cannot read: a check of nothing proves nothing."""
import os
import re
import sys

LINK = re.compile(r"(!?)\[[^\]]*\]\(([^)\s]+)\)")
PICTURE = (".png", ".jpg", ".jpeg", ".gif", ".svg")


def anchors(path):
    # The anchor a heading gets on the repository's web pages: lower case, punctuation dropped,
    # blanks as hyphens.
    found = set()
    with open(path, encoding="utf-8") as page:
        for line in page:
            heading = re.match(r"#+\s+(.*)", line)
            if heading:
                text = re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower())
                found.add(text.replace(" ", "-"))
    return found


def broken_links(document):
    with open(document, encoding="utf-8") as page:
        text = re.sub(r"```.*?```", "", page.read(), flags=re.S)
    for picture, target in LINK.findall(text):
        if re.match(r"[a-z]+:", target):
            continue
        name, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(document), name)) if name else document
        if picture and (anchor or not path.lower().endswith(PICTURE)):
            yield f"{document}: {target}: not an image file"
        elif not os.path.isfile(path):
            yield f"{document}: {target}: no such file"
        elif anchor and path.endswith(".md") and anchor not in anchors(path):
            yield f"{document}: {target}: no such heading"


if len(sys.argv) < 2:
    sys.exit("doc_links.py: no Markdown file given; name the files to check")
broken = []
for document in sys.argv[1:]:
    try:
        broken += broken_links(document)
    except OSError as error:
        broken.append(f"{document}: cannot be read ({error.strerror})")
for line in broken:
    print(line)
sys.exit(1 if broken else 0)
