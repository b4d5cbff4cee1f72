#!/usr/bin/env python3
"""Books made by volm-cli, read on a second, independent phone: MicroEmulator
driven headless by ../shared/phone-vm/drive.py. Each scenario reaches one
place in two ways and compares the two screens pixel for pixel, or reads the
place the reader kept from the phone's record store.

Usage: second_phone.py VOLM_CLI PHONE_VM_DIR WORK_DIR SCENARIO WxH [HARNESS_DIR]
(HARNESS_DIR: the simulated phone's classes, for the scenario that compares the
two phones' screens)

Where PHONE_VM_DIR is absent (a clone without ../shared) the scenario says so
and skips (exit 77); in CI (CI=true) that is a failure.
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile

from PIL import Image

SKIP = 77
START = "wait 2500"     # the phone starts the reader and shows the menu
SETTLE = "wait 700"     # a screen is painted


def fail(message):
    print("FAIL " + message)
    sys.exit(1)


class Phone:
    def __init__(self, cli, vm, work, size):
        self.cli, self.drive, self.work, self.size = cli, os.path.join(vm, "drive.py"), work, size
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        self.shots = 0

    def volm(self, *args):
        r = subprocess.run([self.cli, *args], capture_output=True, text=True)
        if r.returncode != 0:
            fail("volm-cli %s: %s%s" % (" ".join(args), r.stdout, r.stderr))
        return r.stdout

    def book(self, name, chapters, extra=()):
        """A project NAME.volm from a plain text of chapters (title, paragraphs), built; the jar's path."""
        project = os.path.join(self.work, name + ".volm")
        source = os.path.join(self.work, name + ".txt")
        with open(source, "w", encoding="utf-8") as f:
            for title, paragraphs in chapters:
                f.write(title + "\n\n" + "\n\n".join(paragraphs) + "\n\n")
        if not os.path.exists(project):
            self.volm("new", project)
            self.volm("import-book", project, source)
        for args in extra:
            self.volm(*[a.replace("PROJECT", project) for a in args])
        self.volm("build", project)
        jars = []
        for root, dirs, files in os.walk(self.work):
            dirs[:] = [d for d in dirs if d != "vm"]
            jars += [os.path.join(root, f) for f in files if f.endswith(".jar")]
        if len(jars) != 1:
            fail("expected one jar, found %s" % jars)
        return jars[0]

    def run(self, jar, data, script):
        """Runs the script on the phone; returns the screens it saved, in order."""
        names = []

        def shot(match):
            self.shots += 1
            names.append(os.path.join(self.work, "shot%d.png" % self.shots))
            return "shot " + names[-1]
        script = re.sub(r"\bshot\b", shot, script)
        r = subprocess.run([sys.executable, self.drive, "--jar", jar, "--data", os.path.join(self.work, data),
                            "--size", self.size, "--work", os.path.join(self.work, "vm"), script],
                           capture_output=True, text=True, timeout=300)
        if r.returncode != 0:
            fail("drive.py: %s%s" % (r.stdout, r.stderr))
        self.out = r.stdout
        return names


def pixels(path, top=0):
    image = Image.open(path).convert("RGB")
    return image.crop((0, top, image.width, image.height)).tobytes()


def same_screen(a, b, what, top=0):
    if pixels(a, top) != pixels(b, top):
        fail("%s: %s and %s differ" % (what, a, b))


def records(phone, data):
    """The phone's record stores under data: every record's bytes, in order, per store."""
    stores = {}
    for root, _, files in os.walk(os.path.join(phone.work, data)):
        for f in files:
            if f.endswith(".rms"):
                raw = open(os.path.join(root, f), "rb").read()
                out = []
                # Records: id, a tag, the length, the bytes (all numbers 4 bytes, big-endian).
                i = raw.find(b"\x00\x00\x00\x01\x00\x00\x00\x00")
                while 0 <= i and i + 12 <= len(raw):
                    n = int.from_bytes(raw[i + 8:i + 12], "big")
                    out.append(raw[i + 12:i + 12 + n])
                    i += 12 + n
                stores[f[:-4]] = out
    return stores


def place(phone, data, store):
    """The kept places of a store: topic id -> byte offset."""
    r = records(phone, data).get(store)
    if r is None:
        fail("no record store %s" % store)
    pairs = dict(zip(r[0::2], r[1::2]))
    return {k[3:].decode(): int(v) for k, v in pairs.items() if k.startswith(b"Pos")}


def words(n, start=0):
    return ["Paragraph %d has a few words to read on the phone." % (start + i) for i in range(n)]


CHAPTERS = [("Chapter 1", words(8)), ("Chapter 2", words(40, 100)), ("Chapter 3", words(30, 200))]


def next_topic(p):
    """Down at the end of a topic shows the next one as the menu opens it."""
    jar = p.book("Tales", CHAPTERS)
    a, = p.run(jar, "a", "; ".join([START, "key fire", SETTLE, "key 7", SETTLE, "key down", SETTLE, "shot", "kill"]))
    b, = p.run(jar, "b", "; ".join([START, "key down", "key fire", SETTLE, "shot", "kill"]))
    same_screen(a, b, "Down at the end of Chapter 1 / Chapter 2 from the menu")


def kill_after_pages(p):
    """After three page turns and a kill the topic reopens on the third page."""
    jar = p.book("Tales", CHAPTERS)
    turned = ["key right", "wait 300"] * 3
    a, = p.run(jar, "d", "; ".join([START, "key down", "key fire", SETTLE] + turned + ["wait 500", "shot", "kill"]))
    b, = p.run(jar, "d", "; ".join([START, "key fire", SETTLE, "shot", "kill"]))
    same_screen(a, b, "the third page / the same topic after a kill")


def insert_rebuild(p):
    """A topic inserted before the one read, the book rebuilt and installed over the old one."""
    jar = p.book("Tales", CHAPTERS)
    a, = p.run(jar, "d", "; ".join([START, "key down", "key fire", SETTLE, "key right", "wait 300",
                                     "key right", "wait 500", "shot", "kill"]))
    jar = p.book("Tales", CHAPTERS, extra=[("add", "PROJECT", "Inserted"), ("move", "PROJECT", "4", "2")])
    b, = p.run(jar, "d", "; ".join([START, "key fire", SETTLE, "shot", "kill"]))
    # The status row gives the book's percentage, which the new topic changed: the text below it.
    same_screen(a, b, "Chapter 2 before and after the rebuild", top=13)


def find(p):
    """0 > Find finds a word two topics on: the row that holds it on top."""
    chapters = [("Chapter 1", ["Aaaa bbb cccc."] * 30), ("Chapter 2", ["Dddd eee ffff."] * 30),
                ("Chapter 3", ["A needle."] + ["More words."] * 30)]
    jar = p.book("Hay", chapters)
    # The options list: Go to %, Add bookmark, Bookmarks, Find; "n" is 6 twice on the keypad.
    a, = p.run(jar, "f", "; ".join([START, "key fire", SETTLE, "key 0", SETTLE, "key down", "wait 200",
                                     "key down", "wait 200", "key down", "wait 200", "key fire", SETTLE,
                                     "key 6", "wait 100", "key 6", "wait 1500", "key soft2", SETTLE,
                                     "shot", "kill"]))
    # Chapter 3 from the menu, down past its heading, the blank row after it
    # and the empty line the text has there.
    b, = p.run(jar, "g", "; ".join([START, "key 7", "key fire", SETTLE, "key down", "wait 200", "key down",
                                     "wait 200", "key down", SETTLE, "shot", "kill"]))
    same_screen(a, b, "found / reached by Down")


def go_to_half(p):
    """0 > Go to % 50 lands within one screen of the middle."""
    chapters = [("Chapter 1", ["Line %03d of a long chapter." % i for i in range(400)])]
    jar = p.book("Half", chapters)
    p.run(jar, "h", "; ".join([START, "key fire", SETTLE, "key 0", SETTLE, "key fire", SETTLE]
                              + ["key down", "wait 150"] * 5 + ["key fire", SETTLE, "kill"]))
    kept = place(p, "h", "Half")
    with zipfile.ZipFile(jar) as z:
        size = int(z.read("layout.txt").decode("cp1251").split("\r\n")[3].split()[0])
    at = list(kept.values())[0]
    if not size // 2 - 400 <= at <= size // 2:
        fail("50%% of %d bytes: kept at %d" % (size, at))


def like_simulated(p, jar, keys_by_name):
    """Each named run of keys gives the same screen on both phones."""
    width, height = p.size.split("x")
    canvas = "%sx%d" % (width, int(height) - 20)   # the phone keeps 20 rows for its soft keys
    for name, keys in keys_by_name:
        shot, = p.run(jar, name, "; ".join([START] + [k + "; wait 300" for k in keys] + [SETTLE, "shot", "kill"]))
        simulated = os.path.join(p.work, "simulated-%s.png" % name)
        actions = [{"key fire": "fire", "key down": "down", "key 7": "key:7"}[k] for k in keys]
        if keys[0] == "key fire":
            actions[0] = "select"
        r = subprocess.run(["java", "-Djava.awt.headless=true", "-cp", p.harness, "ReaderHarness", "--jar", jar,
                            "--size", canvas] + actions + ["png:" + simulated], capture_output=True, text=True)
        if r.returncode != 0:
            fail("the simulated phone: %s%s" % (r.stdout, r.stderr))
        a = Image.open(shot).convert("RGB")
        b = Image.open(simulated).convert("RGB")
        if a.crop((0, 0, b.width, b.height)).tobytes() != b.tobytes():
            fail("%s: the second phone's %s differs from the simulated phone's %s" % (name, shot, simulated))


def same_as_simulated(p):
    """Headings, paragraphs, a scene break, an empty line and the end mark look the same on both phones."""
    chapters = [("Chapter 1", ["First paragraph of the first chapter, long enough to wrap on every screen."]
                 + words(3) + ["* * *"] + words(3, 10)),
                ("Chapter 2", ["Short."] + words(4, 20))]
    jar = p.book("Look", chapters)
    like_simulated(p, jar, (("first", ["key fire"]), ("break", ["key fire", "key down", "key down", "key down"]),
                            ("end", ["key 7", "key fire", "key 7"])))


RUSSIAN = ("Северо-восточный ветер гнал над электростанцией тяжёлые облака, и достопримечательности "
           "старого города терялись в тумане. Высокопревосходительство не торопилось: "
           "генерал-губернатор ждал известий с юго-западной границы.")


def hyphens(p):
    """Long Russian words break at soft and hard hyphens, the hyphen drawn, as on the simulated phone."""
    jar = p.book("Hyph", [("Глава 1", [RUSSIAN] * 6)])
    with zipfile.ZipFile(jar) as z:
        text = b"".join(z.read(n) for n in z.namelist() if n.startswith("texts/"))
    if b"\xad" not in text:
        fail("the book's texts hold no soft hyphen")
    like_simulated(p, jar, (("h1", ["key fire"]), ("h2", ["key fire", "key down", "key down", "key down"])))


def phone_font(p):
    """A font image the phone cannot make: the text in the phone's own font, said in one line."""
    jar = p.book("Plain", CHAPTERS)
    damaged = os.path.join(p.work, "Damaged.jar")
    with zipfile.ZipFile(jar) as z, zipfile.ZipFile(damaged, "w", zipfile.ZIP_DEFLATED) as out:
        for info in z.infolist():
            data = z.read(info.filename)
            if re.match(r"images/Font\d+\.png$", info.filename):
                data = b"not a picture"
            out.writestr(info, data)
    shot, = p.run(damaged, "f", "; ".join([START, "key fire", SETTLE, "shot", "kill"]))
    if "The phone's own font instead" not in p.out:
        fail("no line says the phone's own font is used: %s" % p.out)
    image = Image.open(shot).convert("L")
    inked = sum(1 for y in range(image.height)
                if any(image.getpixel((x, y)) < 128 for x in range(image.width)))
    if inked < 3 * 8:
        fail("%s: only %d rows of the screen hold ink" % (shot, inked))


def same_as_preview(p):
    """The phone's screens are those volm-cli preview draws: a page on, the end, a percentage, night."""
    chapters = [("Chapter 1", ["First paragraph of the first chapter, long enough to wrap on every screen."]
                 + words(30) + ["* * *"] + words(12, 40)),
                ("Chapter 2", ["Short."] + words(4, 20))]
    jar = p.book("Page", chapters)
    project = os.path.join(p.work, "Page.volm")
    width, height = p.size.split("x")
    canvas = "%sx%d" % (width, int(height) - 20)   # the phone keeps 20 rows for its soft keys
    for name, keys, options in (("first", ["key fire"], ["1", "--page", "1"]),
                                ("second", ["key fire", "key right"], ["1", "--page", "2"]),
                                ("last", ["key down", "key fire"], ["2", "--page", "1"]),
                                ("night", ["key fire", "key pound"], ["1", "--night"])):
        shot, = p.run(jar, name, "; ".join([START] + [k + "; wait 300" for k in keys] + [SETTLE, "shot", "kill"]))
        drawn = os.path.join(p.work, "preview-%s.png" % name)
        p.volm("preview", project, *options, "--size", canvas, "-o", drawn)
        a = Image.open(shot).convert("RGB")
        b = Image.open(drawn).convert("RGB")
        if a.crop((0, 0, b.width, b.height)).tobytes() != b.tobytes():
            fail("%s: the second phone's %s differs from the preview's %s" % (name, shot, drawn))


def size_and_night(p):
    """* (the next font size) and # (night reading) change the screen and are kept after a kill."""
    jar = p.book("Type", CHAPTERS)
    day, = p.run(jar, "n", "; ".join([START, "key fire", SETTLE, "shot", "kill"]))
    switched, = p.run(jar, "n", "; ".join([START, "key fire", SETTLE, "key star", SETTLE, "key pound", SETTLE,
                                            "shot", "kill"]))
    again, = p.run(jar, "n", "; ".join([START, "key fire", SETTLE, "shot", "kill"]))
    if pixels(day) == pixels(switched):
        fail("* and # left the screen as it was")
    image = Image.open(switched).convert("RGB")
    if image.getpixel((image.width - 1, image.height - 30)) != (0, 0, 0):
        fail("night reading: the paper of %s is not black" % switched)
    same_screen(switched, again, "the size and night reading after a kill")


SCENARIOS = {f.__name__: f for f in (next_topic, kill_after_pages, insert_rebuild, find, go_to_half,
                                     same_as_simulated, same_as_preview, size_and_night, hyphens, phone_font)}


def main():
    cli, vm, work, scenario, size = sys.argv[1:6]
    harness = sys.argv[6] if len(sys.argv) > 6 else None
    if not os.path.exists(os.path.join(vm, "drive.py")):
        message = "%s is absent (a clone without ../shared): the second phone is not tried" % vm
        if os.environ.get("CI") == "true":
            fail(message)
        print("SKIP " + message)
        sys.exit(SKIP)
    phone = Phone(cli, vm, work, size)
    phone.harness = harness
    SCENARIOS[scenario](phone)
    print("ok   %s at %s" % (scenario, size))


if __name__ == "__main__":
    main()
