#!/usr/bin/env python3
"""Keeps README.md and docs/ true to the tree they describe.

- Every relative link and image resolves to a file of the source tree, and a link to a heading
  (`file.md#heading`) names a heading that file has, as GitHub makes its anchors.
- Every page under docs/ is linked from the README, so that none is left where nobody finds it.
- Every `console` block is run: each `$ ` line is a command, run from the source tree with `build/` meaning
  the build folder, and the lines under it are its whole output (the home folder shown as `~`, the build
  folder as `build`).
- In every `sh` block (the commands that need a display, root, the network or the whole test run, so they
  are only read), each program named by a path exists: `tools/…` in the source tree, `build/…` in the build
  folder; and each option given to one of our scripts is one its `--help` lists.

Usage: check_docs.py SOURCE_DIR BUILD_DIR
"""

import functools
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unicodedata
from pathlib import Path

FENCE = re.compile(r"^(\s*)(`{3,}|~{3,})\s*([\w+-]*)")
LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
# Placeholders in commands (FILE, SCRIPTS.txt, DIR): names the reader replaces, not paths to check.
PLACEHOLDER = re.compile(r"[A-Z]{2,}")


class Page:
    def __init__(self, path: Path):
        self.path = path
        self.lines = path.read_text(encoding="utf-8").splitlines()
        self.blocks = []  # (info, first line number, lines)
        self.prose = []  # (line number, text) outside fenced blocks
        self.headings = []
        fence = None
        for number, line in enumerate(self.lines, 1):
            if fence is None:
                opened = FENCE.match(line)
                if opened:
                    fence = (opened.group(2), opened.group(3), number, [])
                    continue
                found = HEADING.match(line)
                if found:
                    self.headings.append(found.group(2))
                self.prose.append((number, line))
            elif line.strip().startswith(fence[0][0] * len(fence[0])) and line.strip().strip(fence[0][0]) == "":
                self.blocks.append((fence[1], fence[2], fence[3]))
                fence = None
            else:
                fence[3].append(line)
        if fence is not None:
            raise SystemExit(f"{path}:{fence[2]}: a code block is never closed")

    def anchors(self):
        seen = {}
        result = set()
        for heading in self.headings:
            slug = github_anchor(heading)
            count = seen.get(slug, 0)
            seen[slug] = count + 1
            result.add(slug if count == 0 else f"{slug}-{count}")
        return result


def github_anchor(heading: str) -> str:
    """The anchor GitHub gives a heading: the text without markup, lower case, letters, digits, spaces,
    hyphens and underscores kept (Hangul too), spaces made hyphens."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = text.replace("`", "").replace("*", "")
    text = text.lower()
    kept = []
    for ch in text:
        category = unicodedata.category(ch)
        if ch in " -_" or category[0] in "LN" or category == "Mn":
            kept.append(ch)
    return "".join(kept).replace(" ", "-")


def without_code_spans(line: str) -> str:
    return re.sub(r"(`+)(.+?)\1", "", line)


def check_links(pages, source: Path, errors):
    by_path = {page.path.resolve(): page for page in pages}
    for page in pages:
        for number, line in page.prose:
            for target in LINK.findall(without_code_spans(line)):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue
                where = f"{page.path.relative_to(source)}:{number}"
                file_part, _, anchor = target.partition("#")
                resolved = (page.path.parent / file_part).resolve() if file_part else page.path.resolve()
                if not resolved.exists():
                    errors.append(f"{where}: the link {target} leads nowhere")
                    continue
                if source.resolve() not in resolved.parents and resolved != source.resolve():
                    errors.append(f"{where}: the link {target} leaves the source tree")
                    continue
                if anchor:
                    linked = by_path.get(resolved)
                    if linked is None and resolved.suffix == ".md":
                        linked = Page(resolved)
                    if linked is None or anchor not in linked.anchors():
                        errors.append(f"{where}: the link {target} names no heading of its page")


def check_docs_are_linked(readme: Page, docs, source: Path, errors):
    linked = set()
    for _, line in readme.prose:
        for target in LINK.findall(without_code_spans(line)):
            linked.add((readme.path.parent / target.partition("#")[0]).resolve())
    for page in docs:
        if page.path.resolve() not in linked:
            errors.append(f"{page.path.relative_to(source)}: no link from README.md leads here")


def logical_lines(block_lines):
    """Shell lines with their continuations joined."""
    pending = ""
    for line in block_lines:
        if line.rstrip().endswith("\\"):
            pending += line.rstrip()[:-1] + " "
            continue
        yield pending + line
        pending = ""
    if pending:
        yield pending


def programs_and_options(command: str):
    """(program, options) of each simple command of a shell line, comments left out."""
    try:
        words = shlex.split(command, comments=True)
    except ValueError:
        return
    current = []
    for word in words + [";"]:
        if word in ("&&", "||", "|", ";"):
            while current and (re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", current[0]) or current[0] == "sudo"):
                current.pop(0)
            if current:
                yield current[0], current[1:]
            current = []
        else:
            current.append(word)


@functools.cache
def script_help(program: Path):
    done = subprocess.run([str(program), "--help"], capture_output=True, text=True, timeout=60)
    return done.stdout + done.stderr if done.returncode == 0 else None


def check_read_only_block(page, number, lines, source: Path, build: Path, errors):
    where = f"{page.path.relative_to(source)}:{number}"
    built = set()  # targets the block itself builds (`cmake --build build --target NAME`)
    for line in logical_lines(lines):
        for program, options in programs_and_options(line):
            if program == "cmake" and "--target" in options[:-1]:
                built.update(options[options.index("--target") + 1 :])
            if PLACEHOLDER.search(program):
                continue
            if "/" not in program:
                if shutil.which(program) is None:
                    errors.append(f"{where}: `{program}` is no program on this machine")
                continue
            relative = program.removeprefix("./")
            if relative.startswith("build/"):
                located = build / relative.removeprefix("build/")
            elif relative.startswith(("tools/", "tests/", "cmake/", "data/")):
                located = source / relative
            else:
                continue
            if not located.exists() and not (relative.startswith("build/") and located.name in built):
                errors.append(f"{where}: {program} does not exist")
                continue
            if located.suffix == ".sh" and located.is_relative_to(source / "tools"):
                text = script_help(located)
                if text is None:
                    errors.append(f"{where}: {program} --help fails")
                    continue
                for option in options:
                    name = option.split("=", 1)[0]
                    if name.startswith("--") and name not in text:
                        errors.append(f"{where}: {program} lists no option {name} in its --help")


def normalised(output: str, build: Path, home: str) -> str:
    output = output.replace(str(build), "build")
    if home:
        output = output.replace(home.rstrip("/") + "/", "~/")
    return "\n".join(line.rstrip() for line in output.rstrip("\n").splitlines())


def run_console_block(page, number, lines, source: Path, build: Path, errors):
    where = f"{page.path.relative_to(source)}:{number}"
    commands = []
    for line in lines:
        if line.startswith("$ "):
            commands.append((line[2:], []))
        elif commands:
            commands[-1][1].append(line)
        else:
            errors.append(f"{where}: a console block must start with a `$ ` command")
            return
    for command, expected in commands:
        words = shlex.split(command)
        if words and words[0].startswith("build/"):
            words[0] = str(build / words[0].removeprefix("build/"))
        # A home of its own, as a newcomer's: paths the program prints are read under `~`.
        home = tempfile.mkdtemp(prefix="docs-home-")
        environment = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "VELLORIN_"))}
        environment.update(HOME=home, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        try:
            done = subprocess.run(words, cwd=source, env=environment, capture_output=True, text=True, timeout=120)
        except (OSError, subprocess.TimeoutExpired) as error:
            errors.append(f"{where}: `{command}` could not run: {error}")
            continue
        finally:
            shutil.rmtree(home, ignore_errors=True)
        if done.returncode != 0:
            errors.append(f"{where}: `{command}` ended with {done.returncode}: {done.stderr.strip()}")
            continue
        actual = normalised(done.stdout, build, home)
        wanted = "\n".join(line.rstrip() for line in "\n".join(expected).rstrip("\n").splitlines())
        if actual != wanted:
            errors.append(f"{where}: `{command}` printed\n{actual}\n--- where the page shows\n{wanted}")


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    source = Path(sys.argv[1]).resolve()
    build = Path(sys.argv[2]).resolve()
    readme = Page(source / "README.md")
    docs = [Page(path) for path in sorted((source / "docs").rglob("*.md"))]
    pages = [readme] + docs
    errors = []
    check_links(pages, source, errors)
    check_docs_are_linked(readme, docs, source, errors)
    ran = read = 0
    for page in pages:
        for info, number, lines in page.blocks:
            if info == "console":
                run_console_block(page, number, lines, source, build, errors)
                ran += 1
            elif info in ("sh", "bash", "shell"):
                check_read_only_block(page, number, lines, source, build, errors)
                read += 1
    for error in errors:
        print(error)
    print(f"{len(pages)} pages, {ran} command blocks run, {read} read, {len(errors)} faults")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
