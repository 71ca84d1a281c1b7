#!/usr/bin/python3
"""Every relative link in the README and the pages under docs/ reaches a
file of the tree (and an anchor on a page, a heading of that page)."""
import os
import re
import sys

root = sys.argv[1]
pages = [os.path.join(root, "README.md")] + sorted(
    os.path.join(root, "docs", name) for name in os.listdir(os.path.join(root, "docs"))
    if name.endswith(".md"))
LINK = re.compile(r"\]\(([^)\s]+)\)")


def anchors(path):
    """GitHub's anchors: each heading in lower case, punctuation dropped, spaces as dashes."""
    found = set()
    in_code = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            in_code = not in_code
        elif not in_code and line.startswith("#"):
            title = line.lstrip("#").strip().lower()
            found.add(re.sub(r"[^\w\- ]", "", title).replace(" ", "-"))
    return found


broken = []
count = 0
for page in pages:
    text = open(page, encoding="utf-8").read()
    text = re.sub(r"```.*?```", "", text, flags=re.S)
    for target in LINK.findall(text):
        if re.match(r"[a-z]+:", target):
            continue  # another site's
        count += 1
        path, _, anchor = target.partition("#")
        file = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        if not os.path.exists(file):
            broken.append(f"{os.path.relpath(page, root)}: {target}: no such file")
        elif anchor and file.endswith(".md") and anchor not in anchors(file):
            broken.append(f"{os.path.relpath(page, root)}: {target}: no such heading")
for line in broken:
    print(line)
print(f"{count} relative links in {len(pages)} pages, {len(broken)} broken")
sys.exit(1 if broken else 0)
