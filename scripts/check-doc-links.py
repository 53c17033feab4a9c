#!/usr/bin/env python3
"""Fails when a link of README.md or a page of docs/ points at nothing.

Every relative link and image (`[text](target)`) must name a file tracked
by git (so it resolves in a fresh clone), and a `#fragment` must name a
heading of the Markdown page it points at, as GitHub makes heading anchors.
Links to other sites are not fetched.
"""
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
FENCE = re.compile(r"^\s*(```|~~~)")


def tracked_files():
    out = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True)
    return {ROOT / name for name in out.stdout.decode().split("\0") if name}


def text_outside_code(path):
    """The page's lines with fenced code blocks and inline code left out."""
    inside = False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if FENCE.match(line):
            inside = not inside
            continue
        if not inside:
            yield number, re.sub(r"`[^`]*`", "", line)


def anchors(path):
    """GitHub's anchors of a page's headings: lower case, punctuation dropped,
    blanks made hyphens; a repeated heading gets -1, -2, ..."""
    seen = {}
    result = set()
    for _, line in text_outside_code(path):
        match = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not match:
            continue
        slug = re.sub(r"[^\w\- ]", "", match.group(1).strip().lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        result.add(slug if count == 0 else f"{slug}-{count}")
    return result


def main():
    tracked = tracked_files()
    pages = [ROOT / "README.md"] + sorted((ROOT / "docs").rglob("*.md"))
    problems = []
    checked = 0
    for page in pages:
        if page not in tracked and page.exists():
            problems.append(f"{page.relative_to(ROOT)}: not tracked by git")
        for number, line in text_outside_code(page):
            for target in LINK.findall(line):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
                    continue  # another site, or mailto:
                checked += 1
                where = f"{page.relative_to(ROOT)}:{number}: {target}"
                file_part, _, fragment = target.partition("#")
                dest = (page.parent / file_part).resolve() if file_part else page
                if dest not in tracked:
                    missing = "no such file" if not dest.exists() else "not tracked by git"
                    problems.append(f"{where}: {missing}")
                    continue
                if fragment and dest.suffix == ".md" and fragment not in anchors(dest):
                    problems.append(f"{where}: no heading #{fragment} in {dest.relative_to(ROOT)}")
    for problem in problems:
        print(f"  {problem}")
    if problems:
        print(f"links: {len(problems)} of the links in README.md and docs/ lead nowhere")
        return 1
    print(f"links: {checked} links in {len(pages)} pages resolve")
    return 0


if __name__ == "__main__":
    sys.exit(main())
