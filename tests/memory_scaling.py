#!/usr/bin/env python3
"""Peak memory of every command-line output grows in proportion to the text:
four times the text costs at most six times the memory above a tiny
document's, and each added byte of text a bounded number of bytes (the bounds
the program refuses too long a text by). Paragraphs dense with inline markup,
and the shapes that once cost hundreds of bytes a byte: long code blocks of
many tokens, lines holding NUL characters, many small tables, many table
rows, code spans of distinct colours and deeply nested quotes. Tables are
bounded per cell (small tables and empty cells). Each run is a child process
measured alone (wait4)."""
import os
import subprocess
import sys
import tempfile
import time

velkin = sys.argv[1]
# Bytes of peak memory one more byte of text may cost (export/OutputBudget.h).
# Dense inline markup cost 700 once, then 200 to 240; code blocks of many tokens
# 300 to 530, small tables 560 and table rows in a page image 620.
PER_BYTE = {"render": 150, "rtf": 150, "pdf": 150, "html": 100}
# Bytes one more table cell may cost, its table's share included: Qt's blocks,
# formats and element nodes in PDF and RTF, the cell's block, style and lines in
# a page image.
PER_CELL = {"render": 2048, "rtf": 2048, "pdf": 2048, "html": 256}
SIZE = 256 * 1024
# Over a tiny document's framed page (the shadow's buffers), for 1.3 MB of a
# changelog's shape: it was 90 MB while the page's layout was still held.
FRAMED_OVER_TINY_KB = 40 * 1024

env = dict(os.environ)
for name in ("DISPLAY", "WAYLAND_DISPLAY"):
    env.pop(name, None)
env["QT_QPA_PLATFORM"] = "offscreen"


def peak_kb(args):
    child = subprocess.Popen([velkin] + args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    err = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if child.returncode != 0:
        sys.exit("FAIL: velkin %s ended with %d: %s" % (" ".join(args), child.returncode, err))
    return usage.ru_maxrss


def main():
    failed = False
    with tempfile.TemporaryDirectory() as tmp:
        def document(name, unit, size):
            path = os.path.join(tmp, name + ".md")
            with open(path, "w") as f:
                f.write(unit * (size // len(unit)) + "\n")
            return path

        tiny = document("tiny", "*a", 64)
        outputs = {
            "render": lambda src: ["--render", src, os.path.join(tmp, "page.png"), "--bare"],
            "rtf": lambda src: ["--export", src, os.path.join(tmp, "page.rtf")],
            "pdf": lambda src: ["--export", src, os.path.join(tmp, "page.pdf")],
            "html": lambda src: ["--export", src, os.path.join(tmp, "page.html")],
        }
        bases = {output: peak_kb(args(tiny)) for output, args in outputs.items()}

        def compare(name, small, large, wanted, units, bound):
            nonlocal failed
            for output in wanted:
                args, base = outputs[output], bases[output]
                n = peak_kb(args(small))
                n4 = peak_kb(args(large))
                per_unit = (n4 - n) * 1024 / (units(large) - units(small))
                # (Where n costs little over a tiny document, the ratio is noise.)
                ratio = (n4 - base) / (n - base) if n - base >= 8192 else 1
                verdict = "ok" if per_unit <= bound[output] and ratio <= 6 else "FAIL"
                failed |= verdict == "FAIL"
                print("%s: %-6s of %s: %d / %d / %d KB (tiny, n, 4n), %.0f bytes a %s, %.1fx"
                      % (verdict, output, name, base, n, n4, per_unit, "cell" if bound is PER_CELL else "byte", ratio))

        everything = list(outputs)
        for unit in ("*a", "[a](b) "):
            compare(repr(unit), document("small", unit, SIZE), document("large", unit, 4 * SIZE),
                    everything, os.path.getsize, PER_BYTE)
        # Shapes of many elements, each in a size a few seconds make.
        def shaped(name, make, size):
            path = os.path.join(tmp, name + ".md")
            with open(path, "w") as f:
                text, i = [], 0
                while sum(map(len, text)) < size:
                    text.append(make(i))
                    i += 1
                f.write("".join(text))
            return path

        json_line = lambda i: '  {"key%d": [1, 2.5, true, null, "value %d"]},\n' % (i, i)
        markup_line = lambda i: '<div class="c%d" id="x"><span>text %d</span><a href="u">l</a></div>\n' % (i, i)
        shapes = [
            ("a json code block", lambda size: "```json\n" + open(shaped("json", json_line, size)).read() + "```\n",
             128 * 1024, everything),
            ("an html code block", lambda size: "```html\n" + open(shaped("markup", markup_line, size)).read() + "```\n",
             128 * 1024, everything),
            ("an xml code block", lambda size: "```xml\n" + open(shaped("markup", markup_line, size)).read() + "```\n",
             128 * 1024, ["pdf", "rtf"]),
            ("lines holding NUL characters", lambda size: open(shaped("nul", lambda i: "a\0b\0c text %d\0\n\n" % i, size)).read(),
             128 * 1024, everything),
            ("many table rows", lambda size: "| a | b | c |\n|---|---|---|\n"
             + open(shaped("rows", lambda i: "| %d | cell | more text |\n" % i, size)).read(), 64 * 1024, everything),
        ]

        def sized(name, make, size):
            paths = []
            for label, length in (("small", size), ("large", 4 * size)):
                path = os.path.join(tmp, "%s-%s.md" % (name.replace(" ", "-"), label))
                with open(path, "w") as f:
                    f.write(make(length))
                paths.append(path)
            return paths

        for name, make, size, wanted in shapes:
            compare(name, *sized(name, make, size), wanted, os.path.getsize, PER_BYTE)
        # Tables are bounded by their cells: many small ones, four cells each, and
        # tables of empty cells, 20 columns wide. (The PDF's cells cost what the
        # RTF's do, its layout of them half a millisecond each: a shorter table serves.)
        small_table = "| a | b |\n|---|---|\n| %d | x |\n\n"
        compare("many small tables", *sized("small tables", lambda size: open(shaped("tables", lambda i: small_table % i, size)).read(),
                                           64 * 1024), everything, lambda path: 4 * open(path).read().count("|---|---|"), PER_CELL)

        def empty_cells(rows):
            path = os.path.join(tmp, "cells-%d.md" % rows)
            with open(path, "w") as f:
                f.write("|" + " |" * 20 + "\n|" + "-|" * 20 + "\n" + ("|" + " |" * 20 + "\n") * rows)
            return path

        cells = lambda path: 20 * (int(os.path.basename(path)[6:-3]) + 1)
        compare("tables of empty cells", empty_cells(800), empty_cells(3200), ["render", "rtf", "html"], cells, PER_CELL)
        compare("a table of empty cells", empty_cells(200), empty_cells(800), ["pdf"], cells, PER_CELL)
        # Shapes whose PDF or RTF once cost more than in proportion to the text:
        # a line of code spans of distinct colours, and quotes nested one level
        # deeper on each line (twice the lines, four times the text).
        def written(name, text):
            path = os.path.join(tmp, name + ".md")
            with open(path, "w") as f:
                f.write(text)
            return path

        def colours(count):
            return " ".join("`#%06x`" % (i * 2654435761 % 0xffffff) for i in range(count)) + "\n"

        def nested(lines):
            return "".join("> " * i + "- " * (i % 3) + "x\n" for i in range(lines))

        compare("distinct colours", written("colours-small", colours(SIZE // 20)),
                written("colours-large", colours(SIZE // 5)), ["rtf", "pdf"], os.path.getsize, PER_BYTE)
        compare("nested quotes", written("nested-small", nested(350)), written("nested-large", nested(700)),
                ["rtf", "pdf"], os.path.getsize, PER_BYTE)
        # A framed page shows one window's height of a long document: what the
        # page's layout held must not add to what the frame's shadow takes after it.
        lines = []
        for release in range(40):
            lines.append("## Version 12.%d.0\n\n### Commits\n" % release)
            for i in range(200):
                commit = "%07x" % (release * 1000 + i)
                lines.append("* [[`%s`](https://example.org/commit/%s)] - **deps**: update to 1.%d (A Name) [#%d](https://example.org/pull/%d)"
                             % (commit, commit, i, 20000 + i, 20000 + i))
            lines.append("")
        ordinary = os.path.join(tmp, "ordinary.md")
        with open(ordinary, "w") as f:
            f.write("\n".join(lines))
        framed = lambda src: ["--render", src, os.path.join(tmp, "framed.png")]
        base, long = peak_kb(framed(tiny)), peak_kb(framed(ordinary))
        verdict = "ok" if long - base <= FRAMED_OVER_TINY_KB else "FAIL"
        failed |= verdict == "FAIL"
        print("%s: framed page of %d KB of text: %d KB, a tiny document's %d KB"
              % (verdict, os.path.getsize(ordinary) // 1024, long, base))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
