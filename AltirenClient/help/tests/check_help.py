#!/usr/bin/env python3
"""Checks the client's help folder: a page for every help topic of the client, pages that
parse as XML (so that every browser reads them alike), UTF-8 with a meta charset, relative
links and anchors that resolve, no outside resources, and an index whose topic router knows
exactly the client's topics.

Usage: check_help.py [HELP_FOLDER]   (default: the folder above this script)
Exit status 0 when every check passes, 1 otherwise; each problem is printed.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET
from urllib.parse import unquote, urlsplit

# The topics of the client's context help, by the control ids that lead to them.
TOPICS = [
    "Emulating",  # 1002
    "Preset",  # 1006-1008
    "Manual",  # 1010, 1011, 1013
    "Import",  # 1016, 1017
    "Network_Adapter",  # 1084
    "TopTalkers",  # 1101
    "ChangeUser",  # 1109-1112, 1128
    "ChangePassword",  # 1113, 1163-1165
    "StatisticsOptions",  # 1116, 1133, 1134
    "FilterIP",  # 1118-1121, 1124-1126
    "IPAddress",  # 1123
    "StatisticsOptionsDuplicate",  # 1127, 1149
    "IPRange",  # 1130, 1132, 1147, 1151
    "StatisticsOptionsAdd",  # 1136, 1140
    "StatisticsOptionsEdit",  # 1138, 1143
    "StatisticsOptionsRemove",  # 1139, 1145
    "Login_Options",  # 61260
]

XHTML = "{http://www.w3.org/1999/xhtml}"
LINKING = {"a": "href", "link": "href", "script": "src", "img": "src", "iframe": "src"}
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


class Page:
    def __init__(self, name, root):
        self.name = name
        self.root = root
        self.ids = set()
        self.links = []  # (tag, url)
        for el in root.iter():
            tag = el.tag.replace(XHTML, "")
            if el.get("id") is not None:
                self.ids.add(el.get("id"))
            attr = LINKING.get(tag)
            if attr and el.get(attr) is not None:
                self.links.append((tag, el.get(attr)))

    def find(self, path):
        return self.root.find(path.replace("h:", XHTML))

    def findall(self, path):
        return self.root.findall(path.replace("h:", XHTML))


def load_page(folder, name, problems):
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        problems.append(f"{name}: not valid UTF-8 ({e})")
        return None
    if text.startswith("\ufeff"):
        problems.append(f"{name}: starts with a byte-order mark")
    if not text.lstrip().lower().startswith("<!doctype html>"):
        problems.append(f"{name}: does not start with <!DOCTYPE html>")
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        problems.append(f"{name}: not well-formed: {e}")
        return None
    return Page(name, root)


def check_page_head(page, problems):
    n = page.name
    if page.root.tag != XHTML + "html":
        problems.append(f"{n}: root element is {page.root.tag}, not the XHTML html element")
    if not page.root.get("lang"):
        problems.append(f"{n}: html element has no lang")
    metas = [m for m in page.findall("h:head/h:meta") if m.get("charset") is not None]
    if len(metas) != 1 or metas[0].get("charset").lower() != "utf-8":
        problems.append(f"{n}: needs exactly one <meta charset=\"utf-8\" /> in its head")
    title = page.find("h:head/h:title")
    if title is None or not "".join(title.itertext()).strip():
        problems.append(f"{n}: has no title")
    sheets = [l.get("href") for l in page.findall("h:head/h:link") if l.get("rel") == "stylesheet"]
    if sheets != ["style.css"]:
        problems.append(f"{n}: must use style.css as its one stylesheet, has {sheets}")
    if page.find("h:body/h:h1") is None:
        problems.append(f"{n}: has no h1 heading")
    seen = {}
    for el in page.root.iter():
        i = el.get("id")
        if i is not None:
            seen[i] = seen.get(i, 0) + 1
    for i, count in seen.items():
        if count > 1:
            problems.append(f"{n}: id {i!r} is used {count} times")


def check_links(folder, pages, problems):
    """Every link is relative and lands on an existing file (and anchor)."""
    for page in pages.values():
        for tag, url in page.links:
            where = f"{page.name}: <{tag}> {url!r}"
            if SCHEME.match(url) or url.startswith("/"):
                problems.append(f"{where} is not a relative link")
                continue
            parts = urlsplit(url)
            if parts.query:
                problems.append(f"{where} carries a query")
            target = unquote(parts.path) or page.name
            full = os.path.normpath(os.path.join(folder, target))
            if os.path.dirname(full) != os.path.normpath(folder):
                problems.append(f"{where} leaves the help folder")
                continue
            if not os.path.isfile(full):
                problems.append(f"{where} names a missing file")
                continue
            if parts.fragment:
                other = pages.get(os.path.basename(full))
                if other is None:
                    problems.append(f"{where} has an anchor into a file that is not a page")
                elif parts.fragment not in other.ids:
                    problems.append(f"{where} names a missing anchor")


def check_router(index, problems):
    """The index's script sends exactly the client's topics to their pages."""
    scripts = [s for s in index.findall(".//h:script") if s.get("src") is None]
    if len(scripts) != 1:
        problems.append(f"index.htm: expected one inline script, found {len(scripts)}")
        return
    code = scripts[0].text or ""
    listed = re.search(r"var topics = \[(.*?)\];", code, re.S)
    if not listed:
        problems.append("index.htm: the script has no topics list")
        return
    names = re.findall(r'"([^"]*)"', listed.group(1))
    if len(names) != len(set(names)):
        problems.append("index.htm: the script lists a topic twice")
    if set(names) != set(TOPICS):
        missing = sorted(set(TOPICS) - set(names))
        extra = sorted(set(names) - set(TOPICS))
        problems.append(f"index.htm: script topics differ: missing {missing}, unknown {extra}")
    for needed in ("location.search", 'location.replace(value + ".htm")', '"topic"'):
        if needed not in code:
            problems.append(f"index.htm: the script does not use {needed}")


# Runs the router with a stand-in window for each query; prints the page each one goes to.
NODE_HARNESS = r"""
const code = require("fs").readFileSync(0, "utf8");
const results = JSON.parse(process.argv[1]).map((search) => {
    let target = null;
    const window = { location: { search: search, replace: (url) => { target = url; } } };
    new Function("window", code)(window);
    return target;
});
process.stdout.write(JSON.stringify(results));
"""


def router_cases():
    cases = [(f"?context=AltirenClient&topic={t}", f"{t}.htm") for t in TOPICS]
    cases += [
        ("", None),
        ("?topic=Preset&context=AltirenClient", "Preset.htm"),
        ("?context=AltirenClient&topic=%50reset", "Preset.htm"),
        ("?context=AltirenClient&topic=preset", None),
        ("?context=AltirenClient&topic=Unknown", None),
        ("?context=AltirenClient&topic=../index", None),
        ("?context=AltirenClient&topic=", None),
        ("?context=AltirenClient&topic", None),
        ("?context=AltirenClient&topic=%E0%A4%A", None),
        ("?context=AltirenClient&xtopic=Preset", None),
        ("?context=AltirenClient", None),
    ]
    return cases


def check_router_runs(index, problems):
    """The router, run in a JavaScript engine, goes where the cases say."""
    node = shutil.which("node") or shutil.which("nodejs")
    if node is None:
        problems.append("index.htm: cannot run the router: no node (Debian package nodejs)")
        return
    script = [s for s in index.findall(".//h:script") if s.get("src") is None][0]
    cases = router_cases()
    try:
        run = subprocess.run(
            [node, "-e", NODE_HARNESS, json.dumps([q for q, _ in cases])],
            input=script.text or "",
            capture_output=True,
            text=True,
            timeout=60,
        )
    except (OSError, subprocess.TimeoutExpired) as e:
        problems.append(f"index.htm: the router did not run: {e}")
        return
    if run.returncode != 0:
        problems.append(f"index.htm: the router failed: {run.stderr.strip()}")
        return
    for (query, wanted), got in zip(cases, json.loads(run.stdout)):
        if got != wanted:
            problems.append(f"index.htm: query {query!r} goes to {got!r}, not {wanted!r}")


def reachable(pages, start):
    seen, todo = set(), [start]
    while todo:
        name = todo.pop()
        if name in seen or name not in pages:
            continue
        seen.add(name)
        for tag, url in pages[name].links:
            if tag == "a" and not SCHEME.match(url):
                target = os.path.basename(unquote(urlsplit(url).path))
                if target:
                    todo.append(target)
    return seen


def check_css(folder, problems):
    path = os.path.join(folder, "style.css")
    if not os.path.isfile(path):
        problems.append("style.css is missing")
        return
    with open(path, encoding="utf-8") as f:
        css = f.read()
    for bad in ("url(", "@import", "@font-face"):
        if bad in css:
            problems.append(f"style.css uses {bad}: pages must need nothing outside the folder")


def main(argv):
    folder = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    folder = os.path.abspath(folder)
    problems = []

    names = sorted(f for f in os.listdir(folder) if f.endswith(".htm"))
    for required in ["index.htm"] + [t + ".htm" for t in TOPICS]:
        if required not in names:
            problems.append(f"{required} is missing")

    pages = {}
    for name in names:
        page = load_page(folder, name, problems)
        if page is not None:
            pages[name] = page
            check_page_head(page, problems)

    check_links(folder, pages, problems)
    check_css(folder, problems)

    index = pages.get("index.htm")
    if index is not None:
        check_router(index, problems)
        check_router_runs(index, problems)
        linked = {os.path.basename(urlsplit(url).path) for tag, url in index.links if tag == "a"}
        for topic in TOPICS:
            if topic + ".htm" not in linked:
                problems.append(f"index.htm: the contents do not link to {topic}.htm")
        for name in sorted(set(pages) - reachable(pages, "index.htm")):
            problems.append(f"{name} cannot be reached from index.htm")
    for name, page in pages.items():
        if name != "index.htm" and not any(
            urlsplit(url).path == "index.htm" for tag, url in page.links if tag == "a"
        ):
            problems.append(f"{name}: has no link back to index.htm")

    for p in problems:
        print(f"check_help: {p}")
    print(f"check_help: {len(pages)} pages, {len(TOPICS)} topics, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
