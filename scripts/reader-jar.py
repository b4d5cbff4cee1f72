#!/usr/bin/env python3
"""Packs and checks the reader's template jar.

  reader-jar.py pack OUT.jar CLASSDIR IMAGEDIR   build the template from the
                                                 preverified classes and images
  reader-jar.py layout JAR                       members, manifest, placeholders
  reader-jar.py classes JAR                      class version 46.0, StackMap
                                                 where the verifier needs one,
                                                 no float or double, no jsr/ret
  reader-jar.py same JAR1 JAR2                   same members with the same bytes

Only the standard library and the JDK's javap are used.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

CLASSES = ["LumeriaMain.class", "TFiledMenu.class", "TFiledStringList.class", "TMenuTicker.class",
           "TScrollFixedText.class"]
MEMBERS = (["META-INF/", "META-INF/MANIFEST.MF"] + CLASSES +
           ["appname.txt", "files.txt", "topics.txt", "images/Font.png", "images/orvane.png"])
MANIFEST_LINES = [
    "Manifest-Version: 1.0",
    "MIDlet-1: Lumeria, /images/orvane.png, LumeriaMain",
    "MIDlet-Name: Lumeria",
    "MIDlet-Vendor: Volm",
    "MIDlet-Version: 1.0",
    "MicroEdition-Configuration: CLDC-1.0",
    "MicroEdition-Profile: MIDP-1.0",
]
MANIFEST = "".join(line + "\r\n" for line in MANIFEST_LINES).encode("ascii")
# Every member carries this time, so a rebuild gives the same bytes.
STAMP = (2026, 1, 1, 0, 0, 0)


def fail(message):
    print("reader-jar: " + message, file=sys.stderr)
    sys.exit(1)


def pack(out, class_dir, image_dir):
    contents = {"META-INF/MANIFEST.MF": MANIFEST, "appname.txt": b"\r\n",
                "files.txt": b"", "topics.txt": b""}
    for name in CLASSES:
        with open(os.path.join(class_dir, name), "rb") as f:
            contents[name] = f.read()
    for name in ("Font.png", "orvane.png"):
        with open(os.path.join(image_dir, name), "rb") as f:
            contents["images/" + name] = f.read()
    tmp = out + ".part"
    with zipfile.ZipFile(tmp, "w") as jar:
        for name in MEMBERS:
            info = zipfile.ZipInfo(name, STAMP)
            info.create_system = 0
            if name.endswith("/"):
                info.external_attr = 0x10
                jar.writestr(info, b"")
                continue
            data = contents[name]
            info.compress_type = zipfile.ZIP_DEFLATED if data else zipfile.ZIP_STORED
            jar.writestr(info, data, compresslevel=9)
    os.replace(tmp, out)


def layout(path):
    with zipfile.ZipFile(path) as jar:
        if jar.testzip() is not None:
            fail("%s: damaged member %s" % (path, jar.testzip()))
        names = jar.namelist()
        if names != MEMBERS:
            fail("%s: members are %s, expected %s" % (path, names, MEMBERS))
        manifest = jar.read("META-INF/MANIFEST.MF")
        if manifest != MANIFEST:
            fail("%s: unexpected manifest %r" % (path, manifest))
        if jar.read("appname.txt") != b"\r\n":
            fail("%s: appname.txt is not a lone CR LF" % path)
        for name in ("files.txt", "topics.txt"):
            if jar.read(name) != b"":
                fail("%s: %s is not empty" % (path, name))
        for name, size, bits, kind in (("images/Font.png", (176, 176), 1, 3),
                                       ("images/orvane.png", (87, 31), 8, 3)):
            png = jar.read(name)
            if png[:8] != b"\x89PNG\r\n\x1a\n" or png[12:16] != b"IHDR":
                fail("%s: %s is not a PNG file" % (path, name))
            width, height = struct.unpack(">II", png[16:24])
            depth, colour, interlace = png[24], png[25], png[28]
            if (width, height) != size or depth != bits or colour != kind or interlace:
                fail("%s: %s is %dx%d, depth %d, colour type %d, interlace %d"
                     % (path, name, width, height, depth, colour, interlace))
        for info in jar.infolist():
            if info.file_size and info.compress_type != zipfile.ZIP_DEFLATED:
                fail("%s: %s is not deflated" % (path, info.filename))


FLOAT_OPS = re.compile(
    r"^\s*\d+: (?:[fd](?:const_\d|load(?:_\d)?|store(?:_\d)?|add|sub|mul|div|rem|neg|return|"
    r"aload|astore|cmpl|cmpg)|[ild]2[fd]|[fd]2[ildf]|ldc2?_w?\s+#\d+\s+// (?:float|double))\b")
BRANCH_OPS = re.compile(r"^\s*\d+: (?:if\w*|goto(?:_w)?|tableswitch|lookupswitch)\b")
JSR_OPS = re.compile(r"^\s*\d+: (?:jsr(?:_w)?|ret)\b")
DESCRIPTOR = re.compile(r"// (?:\S+:)?(\(?[\[\w/;$()]*\)?[\[\w/;$]*)$")


def has_float_type(descriptor):
    return re.search(r"[FD]", re.sub(r"L[^;]*;", "", descriptor)) is not None


def check_class(name, text):
    problems = []
    if "major version: 46" not in text or "minor version: 0" not in text:
        problems.append("class version is not 46.0")
    if re.search(r"= (?:Float|Double)\s", text):
        problems.append("float or double constant")
    for line in text.splitlines():
        stripped = line.strip()
        if stripped.startswith("descriptor:") and has_float_type(stripped.split()[1]):
            problems.append("float or double type: " + stripped)
        if re.search(r"= (?:Fieldref|Methodref|InterfaceMethodref|NameAndType)\s", line):
            m = DESCRIPTOR.search(line)
            if m and has_float_type(m.group(1)):
                problems.append("float or double in reference: " + stripped)
        if FLOAT_OPS.match(line):
            problems.append("float or double instruction: " + stripped)
        if JSR_OPS.match(line):
            problems.append("jsr/ret instruction: " + stripped)
    # Each method whose code branches or catches needs a StackMap for the
    # phone's verifier.
    methods = re.split(r"\n(?=  \S)", text)
    any_needs = False
    for method in methods:
        if "Code:" not in method:
            continue
        lines = method.splitlines()
        needs = any(BRANCH_OPS.match(l) for l in lines) or "Exception table:" in method
        any_needs = any_needs or needs
        if needs and "StackMap: number_of_entries" not in method:
            problems.append("no StackMap in " + lines[0].strip())
    # A class without branches needs none (a small timer task, say).
    if any_needs and "StackMap: number_of_entries" not in text:
        problems.append("no StackMap attribute at all")
    return ["%s: %s" % (name, p) for p in problems]


def classes(path, javap="javap"):
    problems = []
    with zipfile.ZipFile(path) as jar, tempfile.TemporaryDirectory() as tmp:
        names = [n for n in jar.namelist() if n.endswith(".class")]
        if not names:
            fail("%s holds no classes" % path)
        for n in names:
            jar.extract(n, tmp)
        text = subprocess.run([javap, "-v", "-c", "-p"] + [os.path.join(tmp, n) for n in names],
                              check=True, capture_output=True, text=True).stdout
        parts = re.split(r"^Classfile ", text, flags=re.M)[1:]
        if len(parts) != len(names):
            fail("javap described %d of %d classes" % (len(parts), len(names)))
        for n, part in zip(names, parts):
            problems += check_class(n, part)
    if problems:
        fail("\n".join(problems))


def same(path1, path2):
    with zipfile.ZipFile(path1) as a, zipfile.ZipFile(path2) as b:
        if a.namelist() != b.namelist():
            fail("members differ: %s vs %s" % (a.namelist(), b.namelist()))
        differ = [n for n in a.namelist() if a.read(n) != b.read(n)]
        if differ:
            fail("%s and %s differ in %s (after changing the reader, run "
                 "scripts/build-reader --install and commit resources/template.jar)"
                 % (path1, path2, ", ".join(differ)))


def main(argv):
    if len(argv) == 5 and argv[1] == "pack":
        pack(argv[2], argv[3], argv[4])
    elif len(argv) == 3 and argv[1] == "layout":
        layout(argv[2])
    elif len(argv) in (3, 4) and argv[1] == "classes":
        classes(argv[2], *argv[3:])
    elif len(argv) == 4 and argv[1] == "same":
        same(argv[2], argv[3])
    else:
        fail(__doc__.strip())


if __name__ == "__main__":
    main(sys.argv)
