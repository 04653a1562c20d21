#!/usr/bin/env python3
"""Peak memory of every command-line output grows in proportion to the text:
four times the text costs at most six times the memory above a tiny
document's, and each added byte of text a bounded number of bytes (the bounds
the program refuses too long a text by). Paragraphs dense with inline markup,
and the shapes that once cost hundreds of bytes a byte: long code blocks of
many tokens, lines holding NUL characters, many small tables, many table
rows, code spans of distinct colours and deeply nested quotes. Tables are
bounded per cell (small tables and empty cells). Each run is a child process
measured by itself (wait4), three at a time."""
import concurrent.futures
import os
import subprocess
import sys
import tempfile

velkin = sys.argv[1]
# Bytes of peak memory one more byte of text may cost (export/OutputBudget.h).
# Dense inline markup cost 700 once, then 200 to 240; code blocks of many tokens
# 300 to 530, small tables 560 and table rows in a page image 620.
PER_BYTE = {"render": 150, "rtf": 150, "pdf": 150, "html": 100}
# Bytes one more table cell may cost, its table's share included: Qt's blocks,
# formats and element nodes in PDF and RTF, the cell's block, style and lines in
# a page image.
# A line of a cell after its first ("<br>") costs as much: 2.2 KB in PDF and RTF.
PER_CELL = {"render": 2304, "rtf": 2304, "pdf": 2304, "html": 256}
SIZE = 256 * 1024
# Over a tiny document's framed page (the shadow's buffers), for 1.3 MB of a
# changelog's shape: it was 90 MB while the page's layout was still held.
FRAMED_OVER_TINY_KB = 40 * 1024

env = dict(os.environ)
for name in ("DISPLAY", "WAYLAND_DISPLAY"):
    env.pop(name, None)
env["QT_QPA_PLATFORM"] = "offscreen"

# Plain text beyond the 8 KB in which NUL bytes make a file binary.
TEXT_HEAD = "plain text line\n" * 600


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
    with tempfile.TemporaryDirectory() as tmp:
        def written(name, text):
            path = os.path.join(tmp, name + ".md")
            with open(path, "w") as f:
                f.write(text)
            return path

        def document(name, unit, size):
            return written(name, unit * (size // len(unit)) + "\n")

        # Each run writes its own file: runs go three at a time.
        outputs = {
            "render": lambda src: ["--render", src, src + ".png", "--bare"],
            "rtf": lambda src: ["--export", src, src + ".rtf"],
            "pdf": lambda src: ["--export", src, src + ".pdf"],
            "html": lambda src: ["--export", src, src + ".html"],
        }
        tiny = document("tiny", "*a", 64)
        checks = []  # (name, output, small, large, units, bound)

        def compare(name, small, large, wanted, units, bound):
            checks.extend((name, output, small, large, units, bound) for output in wanted)

        everything = list(outputs)
        for k, unit in enumerate(("*a", "[a](b) ")):
            compare(repr(unit), document("dense%d-small" % k, unit, SIZE), document("dense%d-large" % k, unit, 4 * SIZE),
                    everything, os.path.getsize, PER_BYTE)

        # Shapes of many elements, each in a size a few seconds make.
        def shaped(make, size):
            text, length, i = [], 0, 0
            while length < size:
                text.append(make(i))
                length += len(text[-1])
                i += 1
            return "".join(text)

        def sized(name, make, size):
            return [written("%s-%s" % (name.replace(" ", "-"), label), make(length))
                    for label, length in (("small", size), ("large", 4 * size))]

        json_line = lambda i: '  {"key%d": [1, 2.5, true, null, "value %d"]},\n' % (i, i)
        markup_line = lambda i: '<div class="c%d" id="x"><span>text %d</span><a href="u">l</a></div>\n' % (i, i)
        shapes = [
            ("a json code block", lambda size: "```json\n" + shaped(json_line, size) + "```\n", 128 * 1024, everything),
            ("an html code block", lambda size: "```html\n" + shaped(markup_line, size) + "```\n", 128 * 1024, everything),
            ("an xml code block", lambda size: "```xml\n" + shaped(markup_line, size) + "```\n", 128 * 1024, ["pdf", "rtf"]),
            # (Its page image takes 35 microseconds a byte: a smaller one serves.)
            # (After the first 8 KB, which decide whether a text may be binary, and so is refused.)
            ("lines holding NUL characters", lambda size: TEXT_HEAD + shaped(lambda i: "a\0b\0c text %d\0\n\n" % i, size),
             128 * 1024, ["pdf", "rtf", "html"]),
            ("page image of lines holding NUL characters", lambda size: TEXT_HEAD + shaped(lambda i: "a\0b\0c text %d\0\n\n" % i, size),
             48 * 1024, ["render"]),
        ]
        for name, make, size, wanted in shapes:
            compare(name, *sized(name, make, size), wanted, os.path.getsize, PER_BYTE)
        # A page image of many rows comes to about 150 bytes a byte, its cells'
        # lines and styles (620 once): it is held to its bound per cell.
        rows = sized("many table rows", lambda size: "| a | b | c |\n|---|---|---|\n"
                     + shaped(lambda i: "| %d | cell | more text |\n" % i, size), 64 * 1024)
        compare("many table rows", *rows, ["pdf", "rtf", "html"], os.path.getsize, PER_BYTE)
        compare("many table rows", *rows, ["render"], lambda path: 3 * open(path).read().count("\n"), PER_CELL)
        # Tables are bounded by their cells: many small ones, four cells each, and
        # tables of empty cells, 20 columns wide. (The PDF's cells cost what the
        # RTF's do, its layout of them half a millisecond each: a shorter table serves.)
        small_table = "| a | b |\n|---|---|\n| %d | x |\n\n"
        compare("many small tables", *sized("small tables", lambda size: shaped(lambda i: small_table % i, size), 64 * 1024),
                everything, lambda path: 4 * open(path).read().count("|---|---|"), PER_CELL)

        def empty_cells(rows):
            return written("cells-%d" % rows, "|" + " |" * 20 + "\n|" + "-|" * 20 + "\n" + ("|" + " |" * 20 + "\n") * rows)

        cells = lambda path: 20 * (int(os.path.basename(path)[6:-3]) + 1)
        compare("tables of empty cells", empty_cells(800), empty_cells(3200), ["render", "rtf", "html"], cells, PER_CELL)
        compare("a table of empty cells", empty_cells(200), empty_cells(800), ["pdf"], cells, PER_CELL)
        # One cell of many lines: each line counts as a cell. (Its PDF lays out the
        # same import: a shorter cell serves.)
        def tall_cell(lines):
            return written("tall-%d" % lines, "| A |\n|---|\n| " + "a<br>" * lines + "a |\n")

        lines = lambda path: int(os.path.basename(path)[5:-3]) + 1
        compare("a cell of many lines", tall_cell(20000), tall_cell(80000), ["render", "rtf", "html"], lines, PER_CELL)
        compare("a cell of many lines", tall_cell(5000), tall_cell(20000), ["pdf"], lines, PER_CELL)
        # Shapes whose PDF or RTF once cost more than in proportion to the text:
        # a line of code spans of distinct colours, and quotes nested one level
        # deeper on each line (twice the lines, four times the text).
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
        ordinary = written("ordinary", "\n".join(lines))
        framed = lambda src: ["--render", src, src + ".framed.png"]

        # Every run once, three at a time; each child's peak is its own.
        runs = {tuple(outputs[output](tiny)) for output in outputs}
        for _, output, small, large, _, _ in checks:
            runs.update({tuple(outputs[output](small)), tuple(outputs[output](large))})
        runs.update({tuple(framed(tiny)), tuple(framed(ordinary))})
        with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
            peaks = dict(zip(runs, pool.map(lambda args: peak_kb(list(args)), runs)))
        peak = lambda args: peaks[tuple(args)]

        failed = False
        for name, output, small, large, units, bound in checks:
            args = outputs[output]
            base, n, n4 = peak(args(tiny)), peak(args(small)), peak(args(large))
            per_unit = (n4 - n) * 1024 / (units(large) - units(small))
            # (Where n costs little over a tiny document, the ratio is noise.)
            ratio = (n4 - base) / (n - base) if n - base >= 8192 else 1
            verdict = "ok" if per_unit <= bound[output] and ratio <= 6 else "FAIL"
            failed |= verdict == "FAIL"
            print("%s: %-6s of %s: %d / %d / %d KB (tiny, n, 4n), %.0f bytes a %s, %.1fx"
                  % (verdict, output, name, base, n, n4, per_unit, "cell" if bound is PER_CELL else "byte", ratio))
        base, long = peak(framed(tiny)), peak(framed(ordinary))
        verdict = "ok" if long - base <= FRAMED_OVER_TINY_KB else "FAIL"
        failed |= verdict == "FAIL"
        print("%s: framed page of %d KB of text: %d KB, a tiny document's %d KB"
              % (verdict, os.path.getsize(ordinary) // 1024, long, base))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
