#!/usr/bin/env python3
"""Every relative link of the given Markdown files that names a page (not a picture) must name a
file of the repository, and a #heading of that page, or of the file itself, must exist there.
Exits 1 and names each broken link."""
import os
import re
import sys

LINK = re.compile(r"(!?)\[[^\]]*\]\(([^)\s]+)\)")


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


broken = []
for document in sys.argv[1:]:
    with open(document, encoding="utf-8") as page:
        text = re.sub(r"```.*?```", "", page.read(), flags=re.S)
    for picture, target in LINK.findall(text):
        if picture or re.match(r"[a-z]+:", target):
            continue
        name, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(document), name)) if name else document
        if not os.path.isfile(path):
            broken.append(f"{document}: {target}: no such file")
        elif anchor and path.endswith(".md") and anchor not in anchors(path):
            broken.append(f"{document}: {target}: no such heading")
for line in broken:
    print(line)
sys.exit(1 if broken else 0)
