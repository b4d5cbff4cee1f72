#!/usr/bin/env python3
"""volm-cli preview against the reader itself: a book is built, the reader of
its jar runs on the simulated phone (ReaderHarness) and every screen it shows
going through each topic a page at a time, at a percentage and in another
font size or at night, is compared pixel for pixel with the screen volm-cli
preview draws for the same page, and the two must start at the same byte.

Usage: preview_same.py VOLM_CLI HARNESS_DIR WORK_DIR CASE LAYOUT [SIZE...]
CASE is prose (the fixture texts), books (the book fixtures) or rules (a text
made for the layout's rules); LAYOUT words or grid.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DATA = os.path.join(ROOT, "tests", "text", "data")
SIZES = ["128x128", "176x208", "240x320"]
PAGES = 8       # the pages of a topic compared, from its start
PERCENTS = (30, 90)


def fail(message):
    print("FAIL " + message)
    sys.exit(1)


def run(args, what):
    r = subprocess.run(args, capture_output=True)
    if r.returncode != 0:
        fail("%s: %s%s" % (what, r.stdout.decode("latin-1"), r.stderr.decode("latin-1")))
    return r.stdout.decode("latin-1")


def rules_text():
    """Paragraphs, headings, a scene break, tabs, long words, hyphens and a paragraph longer than a look back."""
    long_word = "Supercalifragilisticexpialidociousnessfulness" * 2
    paragraphs = [
        "A short line.",
        "Words of every length run on here until the row is full and the next one starts, "
        "again and again, with well-to-do folk and a brother-in-law among them.",
        long_word + " and " + long_word[:23] + ".",
        "\tA tab\tin the middle\tand at the start.",
        "* * *",
        "Extraordinarily incomprehensible characteristically unquestionably.",
        "#",
        "    Indented by its own blanks.",
        " ".join("word%d" % i for i in range(900)),
        "The end of the chapter, I said: a b c d e f g h.",
    ]
    out = []
    for k in range(1, 4):
        out.append("Chapter %d\n\n" % k + "\n\n".join(paragraphs) + "\n\n")
    return "".join(out)


def make_project(work, case, layout):
    cli = sys.argv[1]
    project = os.path.join(work, "Book.volm")
    run([cli, "new", project], "new")
    if case == "prose":
        texts = sorted(glob.glob(os.path.join(DATA, "prose.*.txt")))
        for n, path in enumerate(texts, 1):
            run([cli, "add", project, os.path.basename(path)], "add")
            run([cli, "import", project, str(n), path], "import " + path)
    elif case == "books":
        for path in sorted(glob.glob(os.path.join(DATA, "books", "*"))):
            if not path.endswith((".expect", ".py")):
                run([cli, "import-book", project, path], "import-book " + path)
    else:
        source = os.path.join(work, "rules.txt")
        with open(source, "w", encoding="utf-8") as f:
            f.write(rules_text())
        run([cli, "import-book", project, source], "import-book")
        # An empty topic between the chapters.
        run([cli, "add", project, "Nothing here"], "add")
        run([cli, "move", project, "4", "2"], "move")
    extra = ["--paragraphs", "gap"] if case == "rules" and layout == "words" else []
    built = run([cli, "build", project, "--layout", layout] + extra, "build")
    jars = glob.glob(os.path.join(work, "Book", "*.jar"))
    if len(jars) != 1:
        fail("expected one jar, found %s" % jars)
    topics = len(run([cli, "list", project], "list").splitlines())
    fonts = [int(s) for s in re.findall(r"^font (\d+) px", built, re.M)]
    return project, jars[0], topics, fonts


def same(a, b, what):
    x = Image.open(a).convert("RGB")
    y = Image.open(b).convert("RGB")
    if x.size != y.size:
        fail("%s: %s is %s, %s is %s" % (what, a, x.size, b, y.size))
    if x.tobytes() != y.tobytes():
        for j in range(x.height):
            for i in range(x.width):
                if x.getpixel((i, j)) != y.getpixel((i, j)):
                    fail("%s: the reader's %s and the preview's %s differ first at %d,%d (%s / %s)"
                         % (what, a, b, i, j, x.getpixel((i, j)), y.getpixel((i, j))))


def preview(project, topic, size, out, *options):
    """volm-cli preview's lines: (file, page, pages, first byte, the text's bytes)."""
    text = run([sys.argv[1], "preview", project, str(topic), "--size", size, "-o", out] + list(options), "preview")
    found = re.findall(r"^(.*): page (\d+) of (\d+), bytes (\d+) to \d+ of (\d+)", text, re.M)
    if not found:
        fail("preview said: " + text)
    return [(f, int(p), int(n), int(b), int(length)) for f, p, n, b, length in found]


def main():
    cli, harness, work, case, layout = sys.argv[1:6]
    sizes = sys.argv[6:] or SIZES
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    project, jar, topics, fonts = make_project(work, case, layout)
    words = layout == "words"
    compared = 0
    for size in sizes:
        folder = os.path.join(work, size)
        os.makedirs(folder)
        # The engine's pages first, so that the reader is asked for as many.
        expected = []      # (reader's png, preview's png, first byte, what)
        actions = []
        for t in range(1, topics + 1):
            pages = preview(project, t, size, os.path.join(folder, "p%d.png" % t), "--all")
            actions += ["select"] if t == 1 else ["topics", "down", "select"]
            for file, page, _, start, _ in pages[:PAGES]:
                if page > 1:
                    actions.append("right")
                shot = os.path.join(folder, "r%d-%d.png" % (t, page))
                actions += ["png:" + shot, "position"]
                expected.append((shot, file, start, "topic %d page %d at %s" % (t, page, size)))
            if not words:
                continue
            for percent in PERCENTS:
                shot = os.path.join(folder, "r%d-at%d.png" % (t, percent))
                actions += ["command:Options", "choose:Go to %", "choose:%d%%" % percent, "png:" + shot, "position"]
                expected.append((shot, None, (t, percent, pages[0][4]), "topic %d at %d%% at %s" % (t, percent, size)))
        if words:
            # The first topic in the next font size, and at night.
            actions += ["topics", "key:1", "select", "key:1", "key:*", "png:" + os.path.join(folder, "size.png"), "position",
                        "key:*", "key:#", "png:" + os.path.join(folder, "night.png"), "position"]
        out = run(["java", "-Djava.awt.headless=true", "-cp", harness, "ReaderHarness", "--jar", jar,
                   "--size", size] + actions, "the simulated phone")
        positions = [int(p) for p in re.findall(r"^position: (\d+)$", out, re.M)]
        for k, (shot, file, start, what) in enumerate(expected):
            if file is None:
                # A percentage: the reader's place shown from the row that holds it.
                t, percent, length = start
                at = length * (percent // 10) * 10 // 100
                file, _, _, start, _ = preview(project, t, size, os.path.join(folder, "p%d-at%d.png" % (t, percent)),
                                            "--at", str(at))[0]
            if positions[k] != start:
                fail("%s: the reader shows from byte %d, the preview from %d" % (what, positions[k], start))
            same(shot, file, what)
            compared += 1
        if words:
            shown = re.findall(r"font (\d+) px", run([cli, "preview", project, "1", "--size", size, "-o",
                                                      os.path.join(folder, "probe.png")], "preview"))
            other = fonts[(fonts.index(int(shown[0])) + 1) % len(fonts)]
            file = preview(project, 1, size, os.path.join(folder, "p-size.png"), "--font-size",
                           str(other))[0][0]
            same(os.path.join(folder, "size.png"), file, "topic 1 at %d px at %s" % (other, size))
            file = preview(project, 1, size, os.path.join(folder, "p-night.png"), "--night")[0][0]
            same(os.path.join(folder, "night.png"), file, "topic 1 at night at %s" % size)
            compared += 2
    print("ok   %s, %s layout: %d screens the same on the simulated phone and in the preview at %s"
          % (case, layout, compared, ", ".join(sizes)))


if __name__ == "__main__":
    main()
