#!/usr/bin/env python3
"""Check Velkin's bundled content: Help/, Samples/ and Localization/.

Run from the repository root (or pass the root as the only argument). Prints
one line per problem and exits with status 1 when there is any.

The rules mirror what the program does with these files: how the help book
reads its contents page, how page text, headings and anchors are derived, how
help links resolve and how help search ranks pages; which sample lines the
screenshot and round-trip checks rely on; and which keys every translation
table must define.
"""

import os
import re
import sys
import unicodedata

ROOT = os.getcwd()
problems = []


def problem(msg):
    problems.append(msg)


def read_text(path):
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        problem(f"{rel(path)}: not valid UTF-8")
        return None
    if b"\r" in data:
        problem(f"{rel(path)}: has carriage returns (LF line endings only)")
    if data.startswith(b"\xef\xbb\xbf"):
        problem(f"{rel(path)}: starts with a byte-order mark")
    if data and not data.endswith(b"\n"):
        problem(f"{rel(path)}: does not end with a line feed")
    return text


def rel(path):
    return os.path.relpath(path, ROOT)


# ---------------------------------------------------------------------------
# Text helpers shared by the help rules

SPACE_SEPARATORS = {chr(c) for c in range(0x110000) if unicodedata.category(chr(c)) == "Zs"} | {"\t"}


def trim(s):
    """Trim spaces, tabs and other space separators, never line breaks."""
    a, b = 0, len(s)
    while a < b and s[a] in SPACE_SEPARATORS:
        a += 1
    while b > a and s[b - 1] in SPACE_SEPARATORS:
        b -= 1
    return s[a:b]


def graphemes(s):
    """Approximate grapheme clusters: marks, variation selectors, joiners and
    skin-tone modifiers stay with the character before them."""
    out = []
    join_next = False
    for ch in s:
        cp = ord(ch)
        extend = (unicodedata.category(ch) in ("Mn", "Me", "Mc") or 0xFE00 <= cp <= 0xFE0F
                  or 0x1F3FB <= cp <= 0x1F3FF or cp == 0x200D or 0xE0020 <= cp <= 0xE007F)
        if out and (extend or join_next):
            out[-1] += ch
        else:
            out.append(ch)
        join_next = cp == 0x200D
    return out


def glen(s):
    return len(graphemes(s))


def is_fence_line(line):
    t = trim(line)
    return t.startswith("```") or t.startswith("~~~")


LINK_PATTERN = re.compile(r"!?\[([^\]]*)\]\([^)]*\)")


def plain_line(line):
    s = LINK_PATTERN.sub(lambda m: m.group(1), line)
    s = s.lstrip(" \t")
    while s[:1] in (">", "#") and s:
        s = s[1:].lstrip(" ")
    if len(s) >= 2 and s[0] in "-*+" and s[1] == " ":
        s = s[2:]
    for token in ("***", "**", "~~", "*", "_", "`"):
        s = s.replace(token, "")
    s = s.replace("|", " ")
    return trim(s)


def plain_lines(markdown):
    out = []
    fenced = False
    for line in markdown.split("\n"):
        if is_fence_line(line):
            out.append("")
            fenced = not fenced
        elif fenced:
            out.append(trim(line))
        else:
            out.append(plain_line(line))
    return out


def slug(text):
    s = trim(text.lower())
    out = []
    for g in graphemes(s):
        first = g[0]
        if first in (" ", "-", "_"):
            out.append("-")
        elif first.isalpha() or unicodedata.numeric(first, None) is not None or unicodedata.category(first).startswith("L"):
            out.append(g)
    return "".join(out).strip("-")


HEADING_LINE = re.compile(r"^(#{2,6}) ")


def headings(markdown):
    lines = markdown.split("\n")
    plains = plain_lines(markdown)
    result = []
    offset = 0
    fenced = False
    for line, plain in zip(lines, plains):
        if is_fence_line(line):
            fenced = not fenced
        elif not fenced:
            t = trim(line)
            m = HEADING_LINE.match(t)
            if m:
                title = trim(plain_line(trim(t[len(m.group(1)):])))
                if title:
                    result.append({"level": len(m.group(1)), "title": title, "anchor": slug(title),
                                   "line": t, "offset": offset})
        offset += glen(plain) + 1
    return result


def page_title(markdown):
    for line in markdown.split("\n"):
        t = line.strip(" \t")
        if t.startswith("# "):
            return trim(t[2:])
    return None


# ---------------------------------------------------------------------------
# The help book

ENTRY = re.compile(r"^\s*[-*]\s+\[([^\]]+)\]\(([^)\s]+)\)\s*(?:[-–:]\s*(.*))?$")


def page_id_for_target(target):
    t = trim(target)
    if not t or "/" in t or ":" in t:
        return None
    root, ext = os.path.splitext(t)
    if ext.lower() != ".md" or not root:
        return None
    return root


def sections_from_index(markdown):
    sections = []
    title, entries, fenced = "", [], False
    for line in markdown.split("\n"):
        t = line.strip(" \t")
        if t.startswith("```") or t.startswith("~~~"):
            fenced = not fenced
            continue
        if fenced:
            continue
        if t.startswith("## "):
            if entries:
                sections.append((title, entries))
            title, entries = trim(t[3:]), []
            continue
        m = ENTRY.match(line)
        if not m:
            continue
        pid = page_id_for_target(m.group(2))
        if pid is None:
            continue
        entries.append({"id": pid, "title": m.group(1), "summary": (m.group(3) or "").strip(" \t")})
    if entries:
        sections.append((title, entries))
    return sections


def destination(target, pages):
    t = trim(target)
    if not t:
        return ("none",)
    if t.startswith("#"):
        return ("anchor", t[1:]) if len(t) > 1 else ("none",)
    if re.match(r"^[A-Za-z][A-Za-z0-9+.\-]*:", t):
        return ("external", t)
    path, _, fragment = t.partition("#")
    pid = page_id_for_target(path)
    if pid is None or pid not in pages:
        return ("none",)
    return ("page", pid, fragment or None)


def heading_for_anchor(page, anchor):
    a = slug(anchor)
    for h in page["headings"]:
        if h["anchor"] == a:
            return h
    return None


# Search, as the help window ranks pages.

def fold(s):
    return "".join(c for c in unicodedata.normalize("NFD", s.casefold()) if not unicodedata.combining(c))


def contains(text, term):
    return fold(term) in fold(text)


def occurrences(term, text, cap=50):
    t, n, i, count = fold(text), fold(term), 0, 0
    while count < cap:
        j = t.find(n, i)
        if j < 0:
            break
        count += 1
        i = j + len(n)
    return count


def query_terms(query):
    terms, cur, quoted = [], "", False
    for ch in query:
        if ch == '"':
            if quoted and cur:
                terms.append(cur)
                cur = ""
            quoted = not quoted
        elif ch.isspace() and not quoted:
            if cur:
                terms.append(cur)
            cur = ""
        else:
            cur += ch
    if cur:
        terms.append(cur)
    return [t for t in terms if any(c.isalnum() or unicodedata.combining(c) for c in t)]


def word_starts(title):
    return re.findall(r"[^\W_]+", title.lower())


def first_match(terms, text):
    best = None
    ft = fold(text)
    for term in terms:
        j = ft.find(fold(term))
        if j >= 0 and (best is None or j < best[0]):
            best = (j, len(fold(term)))
    return best


def snippet(terms, page, width=140):
    text = page["plain"]
    m = first_match(terms, text)
    if m is None:
        for line in text.split("\n")[1:]:
            if trim(line):
                return line
        return ""
    start = text.rfind("\n", 0, m[0]) + 1
    end = text.find("\n", m[0] + m[1])
    line = trim(text[start:] if end < 0 else text[start:end])
    n = len(line)
    if width >= n:
        return line
    off = max(line.find(text[m[0]:m[0] + m[1]]), 0)
    lo = max(off - width // 2, 0)
    hi = min(lo + width, n)
    s0 = hi - width
    s = s0
    if s >= 1:
        k = line.find(" ", s)
        if k >= 0:
            s = k + 1
    e = hi
    if hi < n:
        k = line.rfind(" ", 0, hi)
        if k >= 0:
            e = k
    if s >= e:
        return line
    return ("…" if s0 >= 1 else "") + trim(line[s:e]) + ("…" if hi < n else "")


def score_page(terms, query, page):
    total = 0
    for t in terms:
        title_score = 0
        if contains(page["title"], t):
            title_score = 180 if any(w.startswith(t.lower()) for w in word_starts(page["title"])) else 120
        heading_hits = sum(1 for h in page["headings"] if contains(h["title"], t))
        body_hits = occurrences(t, page["plain"])
        term_score = title_score + 40 * min(heading_hits, 3) + 3 * min(body_hits, 10)
        if term_score == 0:
            return None
        total += term_score
    if fold(page["title"]) == fold(trim(query)):
        total += 500
    if page["id"] == "index":
        total //= 4
    return total


def search(query, book):
    terms = query_terms(query)
    if not terms:
        return []
    results = []
    for position, pid in enumerate(book["order"]):
        page = book["pages"].get(pid)
        if page is None:
            continue
        s = score_page(terms, query, page)
        if s is not None:
            results.append((s, position, pid, snippet(terms, page)))
    results.sort(key=lambda r: (-r[0], r[1]))
    if not results:
        return []
    top = results[0][0]
    floor = 4 if top < 60 else top // 12
    return [{"id": r[2], "score": r[0], "snippet": r[3]} for r in results if r[0] >= floor]


HEADING_ANY = re.compile(r"^#{1,6} ")
IMAGE_ANYWHERE = re.compile(r"!\[[^\]\n]*\]\(")
WHOLE_IMAGE = re.compile(r"^!\[[^\]\n]*\]\((<[^<>\n]*>|[^)\s]*)(?:[ \t]+\"[^\"\n]*\")?[ \t]*\)$")
LINK_SCAN = re.compile(r"(?<!!)\[[^\]]*\]\(([^)\s]+)\)")
REQUIRED_PAGES = ["index", "tables", "images", "task-lists", "footnotes", "emoji"]


def check_help():
    folder = os.path.join(ROOT, "Help")
    if not os.path.isdir(folder):
        problem("Help/ is missing")
        return
    pages = {}
    for name in sorted(os.listdir(folder)):
        if not name.lower().endswith(".md"):
            continue
        path = os.path.join(folder, name)
        text = read_text(path)
        if text is None:
            continue
        pid = name[:-3]
        lines = text.split("\n")
        if not lines[0].startswith("# "):
            problem(f"Help/{name}: the first line is not a '# ' title")
        fenced = False
        for number, line in enumerate(lines, 1):
            where = f"Help/{name}:{number}"
            if line != line.rstrip(" \t"):
                problem(f"{where}: trailing white space")
            t = trim(line)
            if t.startswith("~~~"):
                problem(f"{where}: use ``` fences")
            if is_fence_line(line):
                fenced = not fenced
                continue
            if fenced:
                continue
            if HEADING_ANY.match(line):
                if any(c in line for c in "`_\\<>*"):
                    problem(f"{where}: heading has code, underscores, escapes, tags or emphasis: {line}")
                if "[" in line or ":" in re.sub(r"^#+ ", "", line).replace(": ", ""):
                    problem(f"{where}: heading has a link or a shortcode: {line}")
            if re.match(r"^[ ]{0,3}(\*[ \t]*){3,}$|^[ ]{0,3}(_[ \t]*){3,}$", line):
                problem(f"{where}: write rules as ---")
            bare = re.sub(r"(`+)(?!`).+?(?<!`)\1(?!`)", "", line)
            if IMAGE_ANYWHERE.search(bare) and not WHOLE_IMAGE.match(t) and not t.startswith("|"):
                problem(f"{where}: an image must stand on a line of its own")
        if fenced:
            problem(f"Help/{name}: a code fence is never closed")
        pages[pid] = {"id": pid, "markdown": text, "title": page_title(text) or pid,
                      "plain": "\n".join(plain_lines(text)), "headings": headings(text)}

    if len(pages) < 20:
        problem(f"Help/: only {len(pages)} pages (at least 20 wanted)")
    for pid in REQUIRED_PAGES:
        if pid not in pages:
            problem(f"Help/: no page {pid}.md")
    if "index" not in pages:
        return
    if not any(h["anchor"] == "images-in-tables" for h in pages.get("images", {"headings": []})["headings"]):
        problem("Help/images.md: no heading with the anchor images-in-tables")
    if not any(h["title"] == "Images in tables" for h in pages.get("tables", {"headings": []})["headings"]):
        problem("Help/tables.md: no '## Images in tables' section")
    if not any(h["anchor"] == "column-alignment" for h in pages.get("tables", {"headings": []})["headings"]):
        problem("Help/tables.md: no heading with the anchor column-alignment")

    sections = sections_from_index(pages["index"]["markdown"])
    if len(sections) < 3:
        problem(f"Help/index.md: {len(sections)} contents sections (at least 3 wanted)")
    listed = [e["id"] for _, entries in sections for e in entries]
    for pid in sorted(set(listed) - set(pages)):
        problem(f"Help/index.md: lists {pid}.md, which does not exist")
    for pid in sorted(set(pages) - set(listed) - {"index"}):
        problem(f"Help/index.md: does not list {pid}.md")
    for _, entries in sections:
        for e in entries:
            if not e["summary"]:
                problem(f"Help/index.md: the entry for {e['id']} has no summary")

    # Links and anchors.
    for pid in sorted(pages):
        fenced = False
        for line in pages[pid]["markdown"].split("\n"):
            t = line.strip()
            if t.startswith("```") or t.startswith("~~~"):
                fenced = not fenced
                continue
            if fenced:
                continue
            for m in LINK_SCAN.finditer(line):
                target = m.group(1)
                d = destination(target, pages)
                if d[0] == "page" and d[2] is not None and heading_for_anchor(pages[d[1]], d[2]) is None:
                    problem(f"Help/{pid}.md: broken anchor {target}")
                elif d[0] == "anchor" and heading_for_anchor(pages[pid], d[1]) is None:
                    problem(f"Help/{pid}.md: broken anchor {target}")
                elif d[0] == "none" and target.endswith(".md"):
                    problem(f"Help/{pid}.md: broken link {target}")
                elif d[0] == "external" and not target.startswith("https://"):
                    problem(f"Help/{pid}.md: outside link is not https: {target}")

    # Heading offsets line up with the plain text.
    for pid, page in pages.items():
        g = graphemes(page["plain"])
        for h in page["headings"]:
            if "".join(g[h["offset"]:h["offset"] + glen(h["title"])]) != h["title"]:
                problem(f"Help/{pid}.md: heading offset does not line up: {h['title']}")

    # Search expectations.
    seen = {"index"}
    order = ["index"]
    for pid in listed:
        if pid not in seen and pid in pages:
            order.append(pid)
            seen.add(pid)
    order += sorted(set(pages) - seen)
    book = {"pages": pages, "order": order}

    def first(q):
        r = search(q, book)
        return r[0]["id"] if r else None

    if first("table") != "tables":
        problem(f"search: 'table' ranks {first('table')} first, not tables")
    if not any(r["id"] == "task-lists" for r in search("checkbox", book)):
        problem("search: 'checkbox' does not find task-lists")
    if not any(r["id"] == "footnotes" for r in search("FOOTNOTE", book)):
        problem("search: 'FOOTNOTE' does not find footnotes")
    a, b = len(search("image", book)), len(search("image data uri", book))
    if not (0 < b < a):
        problem(f"search: 'image' gives {a} results and 'image data uri' {b}; want 0 < second < first")
    if search("zzzznotaword", book):
        problem("search: a word in no page finds something")
    for r in search("checkbox", book):
        if not r["snippet"] or "**" in r["snippet"] or "](" in r["snippet"]:
            problem(f"search: snippet for 'checkbox' on {r['id']} is not plain prose: {r['snippet']!r}")
    if first("emoji") != "emoji":
        problem(f"search: 'emoji' ranks {first('emoji')} first, not emoji")
    n = len(search("table", book))
    if n > len(pages) // 2:
        problem(f"search: 'table' lists {n} of {len(pages)} pages (at most {len(pages) // 2})")
    if "--search" in sys.argv:
        for q in ("table", "checkbox", "emoji", "image", "image data uri", "footnote", "export", "colour"):
            print(q, "->", [(r["id"], r["score"]) for r in search(q, book)])


# ---------------------------------------------------------------------------
# Samples

LIST_RE = re.compile(r"^([ \t]*)([-*+]|\d{1,9}[.)])([ \t]+)(.*)$")
HEADING_RE = re.compile(r"^(#{1,6})([ \t]+)(.*)$")
BREAK_RE = re.compile(r"^[ ]{0,3}(?:(?:\*[ \t]*){3,}|(?:-[ \t]*){3,}|(?:_[ \t]*){3,})$")
SETEXT_RE = re.compile(r"^[ ]{0,3}(?:=+|-+)[ \t]*$")
FOOTNOTE_DEF = re.compile(r"^[ ]{0,3}(\[\^)([^\]\n]+?)(\]:)[ \t]*(.*)$")
REFERENCE_DEF = re.compile(r"^[ ]{0,3}(\[)([^\^\]\n][^\]\n]*?)(\]:)[ \t]*(<[^>\n]*>|\S+)(?:[ \t]+(\"[^\"\n]*\"|'[^'\n]*'|\([^)\n]*\)))?[ \t]*$")


def fence_flags(lines):
    flags = []
    open_char, open_len = None, 0
    for line in lines:
        body = line
        depth = 0
        pos = 0
        while True:
            p = pos
            spaces = 0
            while p < len(body) and body[p] == " " and spaces < 3:
                p += 1
                spaces += 1
            if p < len(body) and body[p] == ">":
                p += 1
                if p < len(body) and body[p] in " \t":
                    p += 1
                depth += 1
                pos = p
            else:
                break
        t = body[pos if depth else 0:].strip(" \t")
        delim = None
        if t[:1] in ("`", "~"):
            ch = t[0]
            run = len(t) - len(t.lstrip(ch))
            info = t[run:].strip()
            if run >= 3 and not (ch == "`" and "`" in info):
                delim = (ch, run, info)
        if delim and open_char is None:
            open_char, open_len = delim[0], delim[1]
            flags.append(True)
        elif delim and open_char == delim[0] and delim[1] >= open_len and not delim[2]:
            open_char = None
            flags.append(True)
        else:
            flags.append(open_char is not None)
    return flags


def indent_width(s):
    w = 0
    for c in s:
        if c == "\t":
            w = (w // 4 + 1) * 4
        elif c == " ":
            w += 1
        else:
            break
    return w


def interrupts(line):
    if HEADING_RE.match(line) or BREAK_RE.match(line) or SETEXT_RE.match(line):
        return True
    m = FOOTNOTE_DEF.match(line)
    if m and m.group(2).strip().lower():
        return True
    return bool(REFERENCE_DEF.match(line))


def list_lines(text):
    """Per list line: (is item start, is loose), keyed by line index."""
    lines = text.split("\n")
    fenced = fence_flags(lines)
    entries = {}
    stack, block = [], []
    state = {"blank": False, "loose": False}

    def end():
        if state["loose"]:
            for i in block:
                entries[i] = (entries[i][0], True)
        stack.clear()
        block.clear()
        state["blank"] = state["loose"] = False

    for i, line in enumerate(lines):
        if not line.strip():
            if stack:
                state["blank"] = True
            continue
        if re.match(r"^[ ]{0,3}>", line):
            end()
            continue
        lead = re.match(r"^[ \t]*", line).group(0)
        w = indent_width(lead)
        m = None if fenced[i] else LIST_RE.match(line)
        if m:
            prefix = line[:m.end(3)]
            width = indent_width(prefix)
            marker = prefix.rstrip(" \t")[-1]
            if stack:
                popped = None
                while stack and stack[-1][0] > w:
                    popped = stack.pop()
                if not stack and popped and popped[1] != marker:
                    end()
            stack.append((width, marker))
            entries[i] = (True, False)
            block.append(i)
            state["loose"] = state["loose"] or state["blank"]
            state["blank"] = False
            continue
        if not stack:
            continue
        if any(item[0] <= w for item in stack):
            entries[i] = (False, False)
            block.append(i)
            state["loose"] = state["loose"] or state["blank"]
            state["blank"] = False
        elif state["blank"] or fenced[i] or interrupts(line):
            end()
        else:
            entries[i] = (False, False)
            block.append(i)
            state["blank"] = False
    if state["loose"]:
        for i in block:
            entries[i] = (entries[i][0], True)
    return entries


def table_blocks(text):
    """Pipe tables as the grid renderer finds them: (first line, lines)."""
    lines = text.split("\n")
    i, found = 0, []
    while i < len(lines):
        if i + 1 < len(lines) and "|" in lines[i] and lines[i].strip() and is_delimiter_row(lines[i + 1]):
            end = i + 2
            while end < len(lines) and "|" in lines[end] and lines[end].strip():
                end += 1
            found.append((i, lines[i:end]))
            i = end
        else:
            i += 1
    return found


def is_delimiter_row(line):
    t = line.strip()
    return "|" in t and "-" in t and set(t) <= set("|:- \t")


def cells(row):
    pipes, i = [], 0
    while i < len(row):
        c = row[i]
        if c == "\\":
            i += 2
        elif c == "`":
            n = len(row[i:]) - len(row[i:].lstrip("`"))
            k = i + n
            close = None
            while k < len(row):
                if row[k] == "`":
                    r = len(row[k:]) - len(row[k:].lstrip("`"))
                    if r == n:
                        close = k
                        break
                    k += r
                else:
                    k += 1
            i = close + n if close is not None else i + n
        elif c == "|":
            pipes.append(i)
            i += 1
        else:
            i += 1
    bounds = [-1] + pipes + [len(row)]
    segs = [row[bounds[k] + 1:bounds[k + 1]] for k in range(len(bounds) - 1)]
    if segs and not segs[0].strip():
        segs = segs[1:]
    if segs and not segs[-1].strip():
        segs = segs[:-1]
    return [s.strip() for s in segs]


SAMPLES = ["demo.md", "trip.md", "code.md", "prd.md", "journal.md", "api.md", "chapter.md"]


def check_samples():
    folder = os.path.join(ROOT, "Samples")
    texts = {}
    for name in SAMPLES:
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            problem(f"Samples/{name} is missing")
            continue
        text = read_text(path)
        if text is not None:
            texts[name] = text
    demo = texts.get("demo.md")
    if demo is not None:
        lines = demo.split("\n")
        if not any(l.startswith("## Tables") for l in lines):
            problem("Samples/demo.md: no line starts with '## Tables'")
        if not any(HEADING_RE.match(l) for l in lines):
            problem("Samples/demo.md: no heading")
        if "`" not in demo:
            problem("Samples/demo.md: no code")
        if not table_blocks(demo):
            problem("Samples/demo.md: no pipe table")
        at = demo.find("- Unordered items")
        if at < 0:
            problem("Samples/demo.md: no '- Unordered items'")
        else:
            index = demo.count("\n", 0, at)
            if not demo[:at].endswith("\n") and at != 0:
                problem("Samples/demo.md: '- Unordered items' is not at the start of its line")
            entry = list_lines(demo).get(index)
            if entry is None or not entry[0]:
                problem("Samples/demo.md: '- Unordered items' is not a list item")
            elif entry[1]:
                problem("Samples/demo.md: the list holding '- Unordered items' is loose")
    journal = texts.get("journal.md")
    if journal is not None and not any(l.startswith("## Thursday") for l in journal.split("\n")):
        problem("Samples/journal.md: no line starts with '## Thursday'")
    for name, text in texts.items():
        for first, block in table_blocks(text):
            if not cells(block[0]):
                problem(f"Samples/{name}:{first + 1}: a table header without cells would vanish in a grid")
            for k, row in enumerate(block[2:], first + 3):
                if len(cells(row)) > len(cells(block[0])):
                    problem(f"Samples/{name}:{k}: row has more cells than the header")
    trip = texts.get("trip.md")
    if trip is not None:
        pictures = [m.group(1) for m in re.finditer(r"^!\[[^\]]*\]\(([^)\s]+)\)$", trip, re.M)]
        if not pictures:
            problem("Samples/trip.md: no picture on a line of its own")
        for src in pictures:
            if not os.path.isfile(os.path.join(folder, src)):
                problem(f"Samples/trip.md: picture {src} not found beside it")


# ---------------------------------------------------------------------------
# Translations

REQUIRED_KEYS = [
    "Find…", "Find Next", "Find Previous", "Use Selection for Find", "Zoom In", "Zoom Out", "Actual Size",
    "Body Text", "Heading %lld", "Heading level", "Bold", "Italic", "Underline", "Strikethrough",
    "Inline code", "Subscript", "Superscript", "Link", "Insert Table", "Add Row", "Add Column",
    "Column Alignment", "Left", "Center", "Right", "Table", "Insert Row Above", "Insert Row Below",
    "Insert Column Left", "Insert Column Right", "Delete Row", "Delete Column", "Insert", "Image", "Format",
    "Heading", "Horizontal Rule", "Markdown editor", "Find", "Open from URL…", "openURLTitle",
    "openURLPrompt", "Open", "Cancel", "openURLErrorTitle", "openURLInvalid", "openURLHTTPError", "Export",
    "PDF…", "HTML (Single File)…", "Rich Text (RTF)…", "exportErrorTitle", "wordCountFormat",
]

OTHER_KEYS = [
    # Help window
    "Velkin Help", "helpSearchPrompt", "helpContentsRow", "helpPageAccessibilityLabel", "Back", "Forward",
    "OK", "helpPageMissingTitle", "helpUnavailableTitle", "helpUnavailableMessage", "helpResultsCount",
    # Menus and toolbar
    "Check for Updates…", "Font", "Insert Image",
    # Table size picker
    "%lld × %lld", "%lld columns by %lld rows", "Table size", "none",
    # Pictures
    "Image unavailable", "Loading image…", "imageNeedsSavedDocumentTitle", "imageNeedsSavedDocumentMessage",
    "imageWriteFailedTitle", "imageWriteFailedMessage",
]

MIN_LANGUAGES = ["en", "de", "fr", "es", "it", "ja", "pt-BR", "zh-Hans"]
FORMAT_SPEC = re.compile(r"%(?:(\d+)\$)?(lld|ld|d|@|%)")


def parse_strings(text, where):
    """Parse a strings table strictly; returns {key: value} or None."""
    entries = {}
    i, n = 0, len(text)

    def skip():
        nonlocal i
        while i < n:
            if text[i].isspace():
                i += 1
            elif text.startswith("/*", i):
                j = text.find("*/", i + 2)
                if j < 0:
                    raise ValueError("unclosed comment")
                i = j + 2
            elif text.startswith("//", i):
                j = text.find("\n", i)
                i = n if j < 0 else j + 1
            else:
                break

    def string():
        nonlocal i
        if i >= n or text[i] != '"':
            raise ValueError(f"expected a quoted string at offset {i}")
        i += 1
        out = []
        while i < n and text[i] != '"':
            if text[i] == "\\":
                i += 1
                esc = text[i] if i < n else ""
                out.append({"n": "\n", "t": "\t", '"': '"', "\\": "\\"}.get(esc, esc))
            else:
                out.append(text[i])
            i += 1
        if i >= n:
            raise ValueError("unterminated string")
        i += 1
        return "".join(out)

    try:
        while True:
            skip()
            if i >= n:
                break
            key = string()
            skip()
            if i >= n or text[i] != "=":
                raise ValueError(f"expected '=' after {key!r}")
            i += 1
            skip()
            value = string()
            skip()
            if i >= n or text[i] != ";":
                raise ValueError(f"expected ';' after the value of {key!r}")
            i += 1
            if key in entries:
                problem(f"{where}: key {key!r} defined twice")
            entries[key] = value
    except ValueError as e:
        problem(f"{where}: {e}")
        return None
    return entries


def specs(s):
    found = []
    for k, m in enumerate(FORMAT_SPEC.finditer(s)):
        if m.group(2) == "%":
            continue
        found.append((int(m.group(1)) if m.group(1) else k + 1, m.group(2)))
    return sorted(found)


def check_localization():
    folder = os.path.join(ROOT, "Localization")
    if not os.path.isdir(folder):
        problem("Localization/ is missing")
        return
    langs = sorted(d for d in os.listdir(folder) if d.endswith(".lproj"))
    if len(langs) < 7:
        problem(f"Localization/: only {len(langs)} .lproj folders (at least 7 wanted)")
    for lang in MIN_LANGUAGES:
        if f"{lang}.lproj" not in langs:
            problem(f"Localization/: no {lang}.lproj")
    tables = {}
    for d in langs:
        path = os.path.join(folder, d, "Localizable.strings")
        where = f"Localization/{d}/Localizable.strings"
        if not os.path.isfile(path):
            problem(f"{where} is missing")
            continue
        text = read_text(path)
        if text is None:
            continue
        if "%1$@" not in text or "%2$@" not in text:
            problem(f"{where}: word-count placeholders missing")
        pattern_keys = set(re.findall(r'"([^"]*)"\s*=', text))
        for key in REQUIRED_KEYS:
            if key not in pattern_keys:
                problem(f"{where}: missing required key {key!r}")
        entries = parse_strings(text, where)
        if entries is None:
            continue
        for key in OTHER_KEYS:
            if key not in entries:
                problem(f"{where}: missing key {key!r}")
        wc = entries.get("wordCountFormat", "")
        if "%1$@" not in wc or "%2$@" not in wc:
            problem(f"{where}: wordCountFormat needs %1$@ and %2$@ in its value")
        for key, value in entries.items():
            if not value.strip():
                problem(f"{where}: {key!r} has an empty value")
        tables[d[:-len(".lproj")]] = entries
    english = tables.get("en")
    if english is None:
        return
    for lang, entries in tables.items():
        for key in entries:
            if key not in english:
                problem(f"Localization/{lang}.lproj: key {key!r} is not in the English table")
        for key, value in entries.items():
            if key in english and specs(value) != specs(english[key]):
                problem(f"Localization/{lang}.lproj: placeholders of {key!r} differ from English: {value!r}")
        for key in english:
            if key not in entries:
                problem(f"Localization/{lang}.lproj: missing key {key!r} (present in English)")


# Keys the program looks up: the first argument of LocalizedStrings::text(...), of a
# file's own localized(...) helper, or of a HelpText entry.
KEY_USE = re.compile(r'(?:LocalizedStrings::text|\blocalized|HelpText\s+\w+\s*)[({]\s*u"((?:[^"\\]|\\.)*)"')


# The File menu's items with access keys, which must differ within each language.
FILE_MENU_KEYS = ["fileNew", "fileOpen", "Open Recent", "fileClose", "fileSave", "fileSaveAs", "Revert to Saved",
                  "fileQuit"]


def access_key(title):
    """The letter after a single & ("&&" is a literal ampersand), lower-cased; None without one."""
    i = 0
    while i < len(title) - 1:
        if title[i] == "&":
            if title[i + 1] != "&":
                return title[i + 1].lower()
            i += 1
        i += 1
    return None


def check_access_keys():
    folder = os.path.join(ROOT, "Localization")
    for d in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        path = os.path.join(folder, d, "Localizable.strings")
        if not os.path.isfile(path):
            continue
        entries = parse_strings(read_text(path) or "", path) or {}
        seen = {}
        for key in FILE_MENU_KEYS:
            if key not in entries:
                continue
            letter = access_key(entries[key])
            if letter is None:
                problem(f"Localization/{d}: {key!r} has no access key (&)")
            elif letter in seen:
                problem(f"Localization/{d}: {key!r} and {seen[letter]!r} share the access key {letter!r}")
            else:
                seen[letter] = key


def check_keys_in_use():
    """Every key the sources look up has an English entry, so no window shows a bare key."""
    english_path = os.path.join(ROOT, "Localization", "en.lproj", "Localizable.strings")
    if not os.path.isfile(english_path):
        return
    english = parse_strings(read_text(english_path) or "", "Localization/en.lproj/Localizable.strings") or {}
    for folder, _, names in os.walk(os.path.join(ROOT, "src")):
        for name in sorted(names):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as f:
                source = f.read()
            for m in KEY_USE.finditer(source):
                key = re.sub(r"\\u([0-9A-Fa-f]{4})", lambda u: chr(int(u.group(1), 16)), m.group(1))
                if key not in english:
                    line = source.count("\n", 0, m.start()) + 1
                    problem(f"{rel(path)}:{line}: key {key!r} is not in the English table")


def main():
    parts = [a for a in sys.argv[1:] if a in ("help", "samples", "localization")]
    global ROOT
    others = [a for a in sys.argv[1:] if not a.startswith("--") and a not in ("help", "samples", "localization")]
    if others:
        ROOT = others[0]
    if not parts or "help" in parts:
        check_help()
    if not parts or "samples" in parts:
        check_samples()
    if not parts or "localization" in parts:
        check_localization()
        check_keys_in_use()
        check_access_keys()
    for p in problems:
        print(p)
    print(f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
