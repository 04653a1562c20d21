#!/usr/bin/env python3
"""Peak memory of every command-line output grows in proportion to the text, for
paragraphs dense with inline markup: four times the text costs at most six
times the memory above a tiny document's, and each added byte of text a bounded
number of bytes. Each run is a child process measured alone (wait4)."""
import os
import subprocess
import sys
import tempfile
import time

velkin = sys.argv[1]
# Bytes of peak memory one more byte of these texts may cost. They cost 700 once,
# then 200 to 240; a page's layout and Qt's rich-text import are most of what is left.
PER_BYTE = 150
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
        for unit in ("*a", "[a](b) "):
            small = document("small", unit, SIZE)
            large = document("large", unit, 4 * SIZE)
            for output, args in outputs.items():
                base = bases[output]
                n = peak_kb(args(small))
                n4 = peak_kb(args(large))
                per_byte = (n4 - n) * 1024 / (os.path.getsize(large) - os.path.getsize(small))
                ratio = (n4 - base) / max(n - base, 1)
                verdict = "ok" if per_byte <= PER_BYTE and ratio <= 6 else "FAIL"
                failed |= verdict == "FAIL"
                print("%s: %-4s of %r: %d / %d / %d KB (tiny, n, 4n), %.0f bytes a byte, %.1fx"
                      % (verdict, output, unit, base, n, n4, per_byte, ratio))
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

        shapes = (("distinct colours", colours(SIZE // 20), colours(SIZE // 5)),
                  ("nested quotes", nested(350), nested(700)))
        for shape, small_text, large_text in shapes:
            small = written("small", small_text)
            large = written("large", large_text)
            for output in ("rtf", "pdf"):
                args = outputs[output]
                base = bases[output]
                n = peak_kb(args(small))
                n4 = peak_kb(args(large))
                per_byte = (n4 - n) * 1024 / (os.path.getsize(large) - os.path.getsize(small))
                ratio = (n4 - base) / max(n - base, 1)
                verdict = "ok" if per_byte <= PER_BYTE and ratio <= 6 else "FAIL"
                failed |= verdict == "FAIL"
                print("%s: %-4s of %s: %d / %d / %d KB (tiny, n, 4n), %.0f bytes a byte, %.1fx"
                      % (verdict, output, shape, base, n, n4, per_byte, ratio))
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
