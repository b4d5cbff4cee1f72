#!/usr/bin/env python3
"""Makes the parts of volm-cli's documentation that list its commands and
options from volm-cli's own declarations (volm-cli --declarations), so that
they never go stale:

  cli-docs.py VOLM_CLI man TEMPLATE OUTPUT
      the manual page: the line '.\\" #commands' of TEMPLATE becomes one entry
      per command (usage, summary, options). A block
          .\\" #note COMMAND
          ...
          .\\" #end
      of the template is taken out and added to that command's entry; a note
      for a command volm-cli does not declare is an error.
  cli-docs.py VOLM_CLI bash TEMPLATE OUTPUT
      the bash completion: @COMMANDS@ becomes the command words and
      @DECLARATIONS@ the tables of positionals, options and option values.
  cli-docs.py VOLM_CLI names
      every command and option name, one a line ("font --custom"), for tests.
"""
import re
import shlex
import subprocess
import sys


class Command:
    def __init__(self, name, positionals, summary):
        self.name = name
        self.positionals = positionals.split()
        self.summary = summary
        self.options = []  # (name, value, help)


def declarations(cli):
    text = subprocess.run([cli, "--declarations"], check=True, stdout=subprocess.PIPE,
                          encoding="utf-8").stdout
    commands = {}
    for number, line in enumerate(text.splitlines(), 1):
        fields = line.split("\t")
        if fields[0] == "command" and len(fields) == 4:
            commands[fields[1]] = Command(*fields[1:])
        elif fields[0] == "option" and len(fields) == 5 and fields[1] in commands:
            commands[fields[1]].options.append(tuple(fields[2:]))
        else:
            sys.exit("%s --declarations, line %d: can't read %r" % (cli, number, line))
    if not commands:
        sys.exit("%s --declarations: no commands" % cli)
    return list(commands.values())


def roff(text):
    """Running text for roff: backslashes escaped, dashes of options as minus
    signs (so that they can be searched and copied), no control character at
    the start of a line."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(?<![\w-])--?\w[\w-]*", lambda m: m.group(0).replace("-", "\\-"), text)
    if text[:1] in (".", "'"):
        text = "\\&" + text
    return text


def sentence(text):
    text = text[:1].upper() + text[1:]
    return text if text.endswith((".", "!", "?")) else text + "."


def placeholder(word):
    """A positional as the usage shows it: [N] and NAME... keep their marks."""
    optional = word.startswith("[") and word.endswith("]")
    core = word[1:-1] if optional else word
    many = core.endswith("...")
    core = core[:-3] if many else core
    shown = "\\fI%s\\fR%s" % (roff(core), "..." if many else "")
    return "[%s]" % shown if optional else shown


def man(commands, template):
    notes = {}

    def take_note(match):
        notes[match.group(1)] = match.group(2).rstrip("\n")
        return ""

    template = re.sub(r'^\.\\" #note (.+?)\n(.*?)^\.\\" #end\n', take_note, template,
                      flags=re.M | re.S)
    known = {c.name for c in commands}
    for name in notes:
        if name not in known:
            sys.exit("the manual page has a note for \"%s\", a command volm-cli does not have" % name)
    out = []
    for c in commands:
        out.append(".TP")
        out.append(" ".join(["\\fB%s\\fR" % roff(c.name)] + [placeholder(p) for p in c.positionals]))
        out.append(roff(sentence(c.summary)))
        if c.name in notes:
            out.append(".sp")
            out.append(notes[c.name])
        if c.options:
            out.append(".RS")
            for name, value, help in c.options:
                out.append(".TP")
                out.append("\\fB%s\\fR" % roff(name) + (" \\fI%s\\fR" % roff(value) if value else ""))
                out.append(roff(sentence(help)))
            out.append(".RE")
    marker = '.\\" #commands\n'
    if marker not in template:
        sys.exit("the manual page's template has no %r line" % marker.strip())
    return template.replace(marker, "\n".join(out) + "\n")


def bash(commands, template):
    words = []
    for c in commands:
        first = c.name.split()[0]
        if first not in words:
            words.append(first)
    lines = []
    for c in commands:
        key = shlex.quote(c.name)
        lines.append("_volm_cli_args[%s]=%s" % (key, shlex.quote(" ".join(c.positionals))))
        lines.append("_volm_cli_opts[%s]=%s" % (key, shlex.quote(" ".join(o[0] for o in c.options))))
        for name, value, _ in c.options:
            if value:
                choices = " ".join(value.split("|")) if "|" in value else ""
                lines.append("_volm_cli_values[%s]=%s" % (shlex.quote(c.name + " " + name),
                                                          shlex.quote(choices)))
    for marker in ("@COMMANDS@", "@DECLARATIONS@\n"):
        if marker not in template:
            sys.exit("the completion's template has no %s" % marker.strip())
    return (template.replace("@COMMANDS@", " ".join(words))
            .replace("@DECLARATIONS@\n", "\n".join(lines) + "\n"))


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    cli, mode, rest = argv[1], argv[2], argv[3:]
    commands = declarations(cli)
    if mode == "names" and not rest:
        for c in commands:
            print(c.name)
            for o in c.options:
                print(c.name, o[0])
        return
    if mode == "man" and len(rest) == 2:
        with open(rest[0], encoding="utf-8") as f:
            text = man(commands, f.read())
    elif mode == "bash" and len(rest) == 2:
        with open(rest[0], encoding="utf-8") as f:
            text = bash(commands, f.read())
    else:
        sys.exit(__doc__)
    with open(rest[1], "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main(sys.argv)
