#!/usr/bin/env python3
"""Checks what Volm installs.

  check-install.py tree BUILD SOURCE APP_ID VERSION [--with-app]
      installs the build into a scratch DESTDIR (prefix /usr) and checks the
      tree: every file in its place with its mode, nothing else; the desktop
      entry (desktop-file-validate), the AppStream metainfo (appstreamcli
      validate --no-net), the MIME type (xmllint, and update-mime-database
      over it and the system's types), the icons' sizes, and the manual pages
      (man and groff warn about nothing; volm-cli(1) has every command and
      option volm-cli declares).
  check-install.py package BUILD OUTDIR APP_ID VERSION
      makes the Debian package with cpack into OUTDIR and checks its fields
      and its file list.
  check-install.py lintian OUTDIR
      runs lintian on the package in OUTDIR: no error and no warning (the
      informational tags are shown).

Exit status 77 when a tool a check needs is missing where that is allowed
(dpkg-deb, lintian).
"""
import gzip
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def tool(name, package):
    path = shutil.which(name)
    if not path:
        sys.exit("%s is not installed (Debian package %s; scripts/install-deps installs it)" % (name, package))
    return path


def run(argv, **kw):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="utf-8", **kw)


def expected_files(app_id, with_app):
    files = {
        "usr/bin/volm-cli": 0o755,
        "usr/share/man/man1/volm-cli.1.gz": 0o644,
        "usr/share/bash-completion/completions/volm-cli": 0o644,
        "usr/share/doc/volm/copyright": 0o644,
        "usr/share/doc/volm/changelog.gz": 0o644,
    }
    if with_app:
        files.update({
            "usr/bin/volm": 0o755,
            "usr/share/man/man1/volm.1.gz": 0o644,
            "usr/share/applications/%s.desktop" % app_id: 0o644,
            "usr/share/mime/packages/%s.xml" % app_id: 0o644,
            "usr/share/metainfo/%s.metainfo.xml" % app_id: 0o644,
            "usr/share/icons/hicolor/scalable/apps/%s.svg" % app_id: 0o644,
        })
        for size in (16, 32, 48, 64, 128, 256):
            files["usr/share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, app_id)] = 0o644
    return files


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def check_man(path):
    """man and groff print no warning; returns the page as text."""
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MAN_KEEP_FORMATTING="")
    r = run([tool("man", "man-db"), "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path], env=env)
    if r.returncode != 0 or r.stderr:
        fail("man -l %s: status %d: %s" % (path, r.returncode, r.stderr.strip()))
    with gzip.open(path, "rt", encoding="utf-8") as f:
        roff = f.read()
    r = run([tool("groff", "groff-base"), "-man", "-ww", "-z", "-Tutf8"], input=roff, env=env)
    if r.returncode != 0 or r.stderr:
        fail("groff -ww %s: status %d: %s" % (path, r.returncode, r.stderr.strip()))
    r = run([tool("man", "man-db"), "-l", path], env=dict(env, MANPAGER="cat", PAGER="cat"))
    return re.sub(".\b", "", r.stdout)


def check_cli_page(text, cli, source):
    """Every command volm-cli declares has its entry in COMMANDS, with each of
    its options inside that entry."""
    names = run([sys.executable, os.path.join(source, "scripts", "cli-docs.py"), cli, "names"])
    if names.returncode != 0:
        fail("cli-docs.py names: " + names.stderr)
        return
    section = re.search(r"\nCOMMANDS\n(.*?)\n(?=\S)", text, re.S)
    if not section:
        fail("volm-cli(1) has no COMMANDS section")
        return
    entries = {}
    current = None
    for line in section.group(1).splitlines():
        heading = re.match(r"^ {7}(\S.*)$", line)
        if heading:
            current = heading.group(1)
            entries[current] = ""
        elif current:
            entries[current] += line + "\n"
    commands = {}
    for line in names.stdout.splitlines():
        # "font --custom", "preview -o": a command's name has no word that starts with "-".
        named = re.match(r"^(.*?) (-\S+)$", line)
        if named:
            commands.setdefault(named.group(1), []).append(named.group(2))
        else:
            commands.setdefault(line, [])
    if not commands:
        fail("volm-cli declares no commands")
    for command, options in commands.items():
        heading = next((h for h in entries if h == command or h.startswith(command + " ")), None)
        if heading is None:
            fail("volm-cli(1) has no entry for the command \"%s\"" % command)
            continue
        for option in options:
            if not re.search(r"(^|\s)%s(\s|$)" % re.escape(option), entries[heading], re.M):
                fail("volm-cli(1) does not list %s under \"%s\"" % (option, command))


def check_mime(root, app_id):
    xml = os.path.join(root, "usr/share/mime/packages/%s.xml" % app_id)
    r = run([tool("xmllint", "libxml2-utils"), "--noout", xml])
    if r.returncode != 0:
        fail("xmllint %s: %s" % (xml, r.stderr.strip()))
    # Our type over the system's, as shared-mime-info sees them.
    with tempfile.TemporaryDirectory() as tmp:
        packages = os.path.join(tmp, "mime", "packages")
        os.makedirs(packages)
        shutil.copy(xml, packages)
        system = "/usr/share/mime/packages/freedesktop.org.xml"
        if os.path.exists(system):
            shutil.copy(system, packages)
        r = run([tool("update-mime-database", "shared-mime-info"), "-V", os.path.join(tmp, "mime")])
        if r.returncode != 0 or "rror" in r.stderr or "arning" in r.stderr:
            fail("update-mime-database: " + (r.stdout + r.stderr).strip())
            return

        def read(name):
            path = os.path.join(tmp, "mime", name)
            return open(path, encoding="latin-1").read() if os.path.exists(path) else ""
        if not re.search(r"^\d+:application/x-volm-project:\*\.volm$", read("globs2"), re.M):
            fail("the MIME database has no *.volm glob")
        if "application/x-volm-project application/x-ole-storage\n" not in read("subclasses"):
            fail("application/x-volm-project is not a sub-class of application/x-ole-storage")
        if os.path.exists(system) and "application/x-ole-storage" not in read("magic").replace("\0", " "):
            fail("the parent type application/x-ole-storage has no magic")
        if "application/x-volm-project:%s\n" % app_id not in read("icons"):
            fail("the MIME type's icon is not %s" % app_id)


def check_tree(argv):
    build, source, app_id, version = argv[:4]
    with_app = "--with-app" in argv[4:]
    cli = os.path.join(build, "src", "cli", "volm-cli")
    with tempfile.TemporaryDirectory(prefix="volm-install-") as root:
        env = dict(os.environ, DESTDIR=root)
        r = run([os.environ.get("CMAKE", "cmake"), "--install", build, "--prefix", "/usr"], env=env)
        if r.returncode != 0:
            sys.exit("cmake --install failed:\n" + r.stdout + r.stderr)
        found = set()
        for folder, _, names in os.walk(root):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), root))
        files = expected_files(app_id, with_app)
        compare_lists(found, files, "installed")
        for path, mode in sorted(files.items()):
            if path in found:
                actual = stat.S_IMODE(os.stat(os.path.join(root, path)).st_mode)
                if actual != mode:
                    fail("/%s has mode %o, expected %o" % (path, actual, mode))

        r = run([os.path.join(root, "usr/bin/volm-cli"), "--version"])
        if r.stdout != "volm-cli %s\n" % version:
            fail("the installed volm-cli --version says %r" % r.stdout)
        text = check_man(os.path.join(root, "usr/share/man/man1/volm-cli.1.gz"))
        check_cli_page(text, cli, source)
        with gzip.open(os.path.join(root, "usr/share/doc/volm/changelog.gz"), "rt") as f:
            top = f.readline()
        if not top.startswith("volm (%s) " % version):
            fail("the changelog's first entry is not for %s: %s" % (version, top.strip()))

        if with_app:
            check_man(os.path.join(root, "usr/share/man/man1/volm.1.gz"))
            check_desktop(root, app_id, version)
            check_mime(root, app_id)
            for size in (16, 32, 48, 64, 128, 256):
                png = os.path.join(root, "usr/share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, app_id))
                if os.path.exists(png) and png_size(png) != (size, size):
                    fail("%s is %s, not %dx%d" % (png, png_size(png), size, size))
                r = run([tool("pngcheck", "pngcheck"), "-q", png])
                if r.returncode != 0:
                    fail("pngcheck %s: %s" % (png, (r.stdout + r.stderr).strip()))
            svg = os.path.join(root, "usr/share/icons/hicolor/scalable/apps/%s.svg" % app_id)
            r = run([tool("xmllint", "libxml2-utils"), "--noout", svg])
            if r.returncode != 0:
                fail("xmllint %s: %s" % (svg, r.stderr.strip()))
    return "the installed tree is complete and every validator is content"


def check_desktop(root, app_id, version):
    desktop = os.path.join(root, "usr/share/applications/%s.desktop" % app_id)
    r = run([tool("desktop-file-validate", "desktop-file-utils"), desktop])
    if r.returncode != 0 or r.stdout.strip():
        fail("desktop-file-validate: " + (r.stdout + r.stderr).strip())
    entry = open(desktop, encoding="utf-8").read()
    for line in ("Exec=volm %f", "Icon=" + app_id, "MimeType=application/x-volm-project;"):
        if line + "\n" not in entry:
            fail("the desktop entry lacks " + line)
    metainfo = os.path.join(root, "usr/share/metainfo/%s.metainfo.xml" % app_id)
    r = run([tool("appstreamcli", "appstream"), "validate", "--no-net", "--no-color", metainfo])
    if r.returncode != 0 or re.search(r"^[EW]:", r.stdout, re.M):
        fail("appstreamcli validate: " + (r.stdout + r.stderr).strip())
    meta = open(metainfo, encoding="utf-8").read()
    if '<release version="%s"' % version not in meta or "<id>%s</id>" % app_id not in meta:
        fail("the metainfo does not name %s %s" % (app_id, version))


def compare_lists(found, files, what):
    for path in sorted(set(files) - found):
        fail("not %s: /%s" % (what, path))
    for path in sorted(found - set(files)):
        fail("%s but not expected: /%s" % (what, path))


def the_package(outdir):
    debs = sorted(f for f in os.listdir(outdir) if re.match(r"volm_.*\.deb$", f))
    if len(debs) != 1:
        sys.exit("%s: expected one volm_*.deb, found %s" % (outdir, debs or "none"))
    return os.path.join(outdir, debs[0])


def check_package(argv):
    build, outdir, app_id, version = argv[:4]
    dpkg_deb = shutil.which("dpkg-deb")
    if not dpkg_deb or not shutil.which("dpkg-shlibdeps"):
        print("dpkg-deb or dpkg-shlibdeps is missing (Debian package dpkg-dev): no package to check")
        sys.exit(77)
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    r = run([os.environ.get("CPACK", "cpack"), "-G", "DEB", "-B", outdir, "--config", os.path.join(build, "CPackConfig.cmake")])
    if r.returncode != 0:
        sys.exit("cpack failed:\n" + r.stdout + r.stderr)
    deb = the_package(outdir)
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    if os.path.basename(deb) != "volm_%s_%s.deb" % (version, arch):
        fail("the package is named %s" % os.path.basename(deb))

    def field(name):
        return run([dpkg_deb, "--field", deb, name]).stdout.strip()
    if field("Package") != "volm" or field("Version") != version:
        fail("package %s version %s" % (field("Package"), field("Version")))
    for name in ("Maintainer", "Section", "Description", "Homepage"):
        if not field(name):
            fail("the package has no %s" % name)
    depends = field("Depends")
    for needed in ("libc6", "libqt6widgets6", "zlib1g", "fonts-liberation", "fonts-dejavu-core", "libhyphen0",
                   "hyphen-ru", "hyphen-en-us"):
        if not re.search(r"(^|[ ,|])%s\b" % re.escape(needed), depends):
            fail("Depends lacks %s: %s" % (needed, depends))

    listing = run([dpkg_deb, "--contents", deb]).stdout
    found = set()
    for line in listing.splitlines():
        # "-rw-r--r-- root/root  1234 2026-12-08 10:00 ./usr/share/..."
        parts = line.split(None, 5)
        if len(parts) == 6 and parts[0].startswith("-"):
            found.add(parts[5][2:])
            if parts[1] != "root/root":
                fail("%s is owned by %s" % (parts[5], parts[1]))
    compare_lists(found, expected_files(app_id, True), "in the package")
    # The programs are stripped executables.
    with tempfile.TemporaryDirectory(prefix="volm-deb-") as tree:
        run([dpkg_deb, "--extract", deb, tree])
        for program in ("volm", "volm-cli"):
            kind = run([tool("file", "file"), "-b", os.path.join(tree, "usr/bin", program)]).stdout
            if not kind.startswith("ELF") or "executable" not in kind or "not stripped" in kind:
                fail("/usr/bin/%s is %s" % (program, kind.strip()))
    return "%s: %s\nDepends: %s" % (os.path.basename(deb), ", ".join(sorted(found)), depends)


def check_lintian(argv):
    outdir = argv[0]
    lintian = shutil.which("lintian")
    if not lintian:
        print("lintian is not installed: the package is not checked by it")
        sys.exit(77)
    deb = the_package(outdir)
    r = run([lintian, "--info", deb])
    print(r.stdout + r.stderr)
    for line in r.stdout.splitlines():
        if line.startswith(("E:", "W:")):
            fail("lintian: " + line)
    return "lintian found no error and no warning in %s" % os.path.basename(deb)


def main(argv):
    modes = {"tree": (check_tree, 4), "package": (check_package, 4), "lintian": (check_lintian, 1)}
    if len(argv) < 2 or argv[1] not in modes or len(argv) - 2 < modes[argv[1]][1]:
        sys.exit(__doc__)
    check, _ = modes[argv[1]]
    message = check(argv[2:])
    if failures:
        sys.exit("%d problems" % len(failures))
    print(message)


if __name__ == "__main__":
    main(sys.argv)
