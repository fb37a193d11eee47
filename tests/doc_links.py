#!/usr/bin/env python3
"""Every relative link in README.md and docs/*.md names a file that exists and,
after a '#', a heading of that file, so a moved heading cannot leave a dead link."""
import pathlib, re, sys

top = pathlib.Path(__file__).resolve().parent.parent
pages = [top / "README.md", *sorted((top / "docs").glob("*.md"))]

def anchors(page):
    text = re.sub(r"```.*?```", "", page.read_text(), flags=re.S)
    return {re.sub(r"[^\w\- ]", "", h.strip().lower()).replace(" ", "-")
            for h in re.findall(r"^#+ (.*)$", text, flags=re.M)}

dead = []
for page in pages:
    text = re.sub(r"```.*?```", "", page.read_text(), flags=re.S)
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, anchor = target.partition("#")
        dest = (page.parent / path).resolve() if path else page
        if not dest.exists() or (anchor and anchor not in anchors(dest)):
            dead.append(f"{page.relative_to(top)}: {target}")
print("\n".join(dead) or f"{len(pages)} pages, every link resolves")
sys.exit(1 if dead else 0)
