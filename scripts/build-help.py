#!/usr/bin/env python3
"""Builds the updater's help file from its HTML sources, or only checks them.

  build-help.py SOURCE_FOLDER OUTPUT.chm [CHMCMD]   check, then compile with chmcmd
  build-help.py --check SOURCE_FOLDER               check only

The check fails on: a page listed in the project that does not exist, a page
that exists but is not listed or not in the table of contents, a link or
anchor between pages that leads nowhere, and a page without its counterpart
in the other language.

The sources are kept in UTF-8. The help file is Russian (its language is
0x419), so the help viewer reads the project and the table of contents in
Windows-1251: they are written so into a staging folder before chmcmd runs.
The pages themselves name their character set (UTF-8) and are copied as
they are.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

LANGUAGES = ("ru", "en")


def listed_files(project):
    files, section = [], None
    for line in project.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line
        elif section == "[FILES]" and line:
            files.append(line)
    return files


def check(src):
    errors = []
    with open(os.path.join(src, "help.hhp"), encoding="utf-8") as f:
        project = f.read()
    listed = listed_files(project)
    pages = sorted(os.path.relpath(os.path.join(d, n), src).replace(os.sep, "/")
                   for d, _, names in os.walk(src) for n in names if n.endswith(".html"))
    for name in listed:
        if not os.path.isfile(os.path.join(src, name)):
            errors.append(f"help.hhp lists {name}, which does not exist")
    for page in pages:
        if page not in listed:
            errors.append(f"{page} is not listed in help.hhp")
    with open(os.path.join(src, "toc.hhc"), encoding="utf-8") as f:
        toc_targets = set(re.findall(r'name="Local" value="([^"]+)"', f.read()))
    for page in pages:
        if page not in toc_targets:
            errors.append(f"{page} is not in the table of contents")
    for target in toc_targets:
        if target not in pages:
            errors.append(f"the table of contents names {target}, which does not exist")
    anchors = {}
    texts = {}
    for page in pages:
        with open(os.path.join(src, page), encoding="utf-8") as f:
            texts[page] = f.read()
        anchors[page] = set(re.findall(r'\bid="([^"]+)"', texts[page]))
        if "<title>" not in texts[page]:
            errors.append(f"{page} has no title")
    for page, text in texts.items():
        for href in re.findall(r'\b(?:href|src)="([^"]+)"', text):
            if re.match(r"[a-z]+:", href):
                continue
            path, _, anchor = href.partition("#")
            target = os.path.normpath(os.path.join(os.path.dirname(page), path)).replace(os.sep, "/") if path else page
            if not os.path.isfile(os.path.join(src, target)):
                errors.append(f"{page}: link to {href}, which does not exist")
            elif anchor and target in anchors and anchor not in anchors[target]:
                errors.append(f"{page}: link to {href}, whose anchor does not exist")
    for page in pages:
        lang, _, rest = page.partition("/")
        for other in LANGUAGES:
            if lang in LANGUAGES and other != lang and f"{other}/{rest}" not in texts:
                errors.append(f"{page} has no counterpart {other}/{rest}")
    return listed, errors


def build(src, output, chmcmd):
    listed, errors = check(src)
    if errors:
        sys.exit("help: " + "\nhelp: ".join(errors))
    with tempfile.TemporaryDirectory() as stage:
        for name in listed:
            os.makedirs(os.path.dirname(os.path.join(stage, name)), exist_ok=True)
            shutil.copyfile(os.path.join(src, name), os.path.join(stage, name))
        for name in ("help.hhp", "toc.hhc"):
            with open(os.path.join(src, name), encoding="utf-8") as f:
                text = f.read()
            with open(os.path.join(stage, name), "w", encoding="cp1251", newline="\r\n") as f:
                f.write(text)
        result = subprocess.run([chmcmd, "--no-html-scan", "help.hhp"], cwd=stage,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        built = os.path.join(stage, "help.chm")
        if result.returncode != 0 or not os.path.isfile(built):
            sys.exit("help: chmcmd failed:\n" + result.stdout)
        os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
        shutil.copyfile(built, output)


def main():
    args = sys.argv[1:]
    if args and args[0] == "--check":
        _, errors = check(args[1])
        if errors:
            print("\n".join(errors))
            sys.exit(1)
        print("help sources: every page listed, in the table of contents, linked correctly and in both languages")
        return
    if len(args) not in (2, 3):
        sys.exit(__doc__)
    build(args[0], args[1], args[2] if len(args) == 3 else "chmcmd")


if __name__ == "__main__":
    main()
