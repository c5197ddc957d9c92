#!/usr/bin/env python3
"""Renders a manual page from a program's --help text and a page source.

The usage lines and the notes after them come from the program itself, so the
manual cannot fall behind what --help prints. The page source adds the prose:

    name: pellandor - one-line summary
    == SECTION NAME
    A paragraph; `code` is set in bold, *WORD* in italics.
    -- term
    Its description (a tagged paragraph).

An entry ends at the next blank line. @NAME@ is replaced by the value given
with --set NAME=VALUE. These placeholders stand on a line of their own:

    @synopsis   the usage lines
    @commands   one entry per usage line, described by the "-- KEY" entry that
                follows the placeholder (KEY: the leading words of the line)
    @options    one entry per option in the usage lines ("-- --name ARG")
    @notes      the --help text after the usage lines
    @help       the whole --help text, as printed

With --check, a usage line or option without a description, or a description
of something --help no longer lists, is an error.
"""

import argparse
import datetime
import os
import re
import subprocess
import sys


def run_help(program):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run([program, "--help"], capture_output=True, text=True, env=env, timeout=60)
    if result.returncode != 0:
        sys.exit(f"gen-manpage: {program} --help failed ({result.returncode}): {result.stderr.strip()}")
    return result.stdout


def split_help(text, name):
    """Returns (usage lines, notes): the lines that start with the program's
    name, and the text after the last of them."""
    lines = text.splitlines()
    at = [k for k, l in enumerate(lines) if l.strip() == name or l.strip().startswith(name + " ")]
    usage = [lines[k].strip() for k in at]
    notes = " ".join(l.strip() for l in lines[at[-1] + 1:] if l.strip()) if at else ""
    return usage, notes


def command_key(line, name):
    """The words that name a usage line's command: those before the first
    option, argument or bracket; the whole line when it starts with one."""
    words = line[len(name):].split()
    key = []
    for w in words:
        if w.startswith(("-", "[", "|")) or w.rstrip(".").isupper():
            break
        key.append(w)
    return " ".join(key) if key else " ".join(words)


def options_of(usage):
    """Every --option in the usage lines, in order of first appearance."""
    found = []
    for line in usage:
        for opt in re.findall(r"(?<![\w-])(--?[A-Za-z][\w-]*)", line):
            if opt not in found:
                found.append(opt)
    return found


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    # A line must not start with a control character.
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def inline(text):
    out = escape(text)
    out = re.sub(r"`([^`]+)`", r"\\fB\1\\fR", out)
    out = re.sub(r"\*([^*\s][^*]*)\*", r"\\fI\1\\fR", out)
    return out


def synopsis(line):
    """Bold for literal words, italics for the words the user replaces."""
    parts = []
    for token in re.split(r"(\s+|[\[\]|])", line):
        if not token or token.isspace() or token in "[]|":
            parts.append(escape(token))
            continue
        bare = token.rstrip(".")
        scheme = re.fullmatch(r"([a-z]+:)([A-Z]+\.*)", token)
        if scheme:  # tel:NUMBER
            parts.append(f"\\fB{escape(scheme[1])}\\fI{escape(scheme[2])}\\fR")
        elif bare.isupper():
            parts.append(f"\\fI{escape(token)}\\fR")
        else:
            parts.append(f"\\fB{escape(token)}\\fR")
    return "".join(parts)


def parse_source(path, values):
    """Returns (name line, blocks): blocks are ("section", title),
    ("para", text), ("entry", term, text) or ("place", name)."""
    name_line = None
    blocks = []
    entry, para = None, []

    def flush():
        nonlocal entry, para
        text = " ".join(para).strip()
        if entry is not None:
            blocks.append(("entry", entry, text))
        elif text:
            blocks.append(("para", text))
        entry, para = None, []

    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            for key, value in values.items():
                line = line.replace(f"@{key}@", value)
            if line.startswith("name:"):
                name_line = line[5:].strip()
            elif line.startswith("== "):
                flush()
                blocks.append(("section", line[3:].strip()))
            elif line.startswith("-- "):
                flush()
                entry = line[3:].strip()
            elif line.startswith("@"):
                flush()
                blocks.append(("place", line[1:].strip()))
            elif not line.strip():
                flush()
            else:
                para.append(line.strip())
        flush()
    if not name_line:
        sys.exit(f"gen-manpage: {path} has no 'name:' line")
    return name_line, blocks


def render_text(text):
    return inline(text)


def render(name, version, date, help_text, source_path, values):
    name_line, blocks = parse_source(source_path, values)
    usage, notes = split_help(help_text, name)
    problems = []
    out = [
        f'.TH {name.upper()} 1 "{date}" "{name} {version}" "User Commands"',
        ".SH NAME",
        escape(name_line),
    ]
    i = 0
    while i < len(blocks):
        block = blocks[i]
        if block[0] == "section":
            out += [f".SH {escape(block[1].upper())}"]
        elif block[0] == "para":
            out += [".PP", render_text(block[1])]
        elif block[0] == "entry":
            out += [".TP", f"\\fB{escape(block[1])}\\fR", render_text(block[2])]
        elif block[0] == "place":
            what = block[1]
            # Entries right after @commands / @options describe what they list.
            described = {}
            j = i + 1
            if what in ("commands", "options"):
                while j < len(blocks) and blocks[j][0] == "entry":
                    described[blocks[j][1]] = blocks[j][2]
                    j += 1
            if what == "synopsis":
                for k, line in enumerate(usage):
                    out += [".br"] if k else []
                    out.append(synopsis(line))
            elif what == "commands":
                used = set()
                for line in usage:
                    key = command_key(line, name)
                    out += [".TP", synopsis(line)]
                    if key in described:
                        used.add(key)
                        out.append(render_text(described[key]))
                    else:
                        problems.append(f"no description of the usage line \"{line}\" (add \"-- {key}\" under @commands)")
                for key in described:
                    if key not in used:
                        problems.append(f"\"-- {key}\" describes a command that --help does not list")
                i = j - 1
            elif what == "options":
                by_option = {term.split()[0]: (term, text) for term, text in described.items()}
                for opt in options_of(usage):
                    if opt in by_option:
                        term, text = by_option.pop(opt)
                        out += [".TP", synopsis(term), render_text(text)]
                    else:
                        out += [".TP", synopsis(opt)]
                        problems.append(f"no description of the option {opt} (add \"-- {opt}\" under @options)")
                for opt in by_option:
                    problems.append(f"\"-- {opt}\" describes an option that --help does not list")
                i = j - 1
            elif what == "notes":
                if notes:
                    out += [".PP", inline(notes)]
            elif what == "help":
                out += [".PP", ".nf", escape(help_text.rstrip("\n")), ".fi"]
            else:
                sys.exit(f"gen-manpage: unknown placeholder @{what}")
        i += 1
    return "\n".join(out) + "\n", problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the built program to ask for --help")
    parser.add_argument("--name", help="its name on the page (default: the program's file name)")
    parser.add_argument("--source", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", help="write here instead of standard output")
    parser.add_argument("--set", action="append", default=[], metavar="NAME=VALUE",
                        help="replace @NAME@ in the source (an installation folder, say)")
    parser.add_argument("--check", action="store_true", help="fail when --help and the source disagree")
    args = parser.parse_args()

    name = args.name or os.path.basename(args.program)
    # Reproducible builds set SOURCE_DATE_EPOCH; else the source's own date.
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", os.path.getmtime(args.source)))
    date = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%d")
    values = dict(v.split("=", 1) for v in args.set)
    page, problems = render(name, args.version, date, run_help(args.program), args.source, values)
    for p in problems:
        print(f"gen-manpage: {args.source}: {p}", file=sys.stderr)
    if args.output:
        tmp = args.output + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(page)
        os.replace(tmp, args.output)
    else:
        sys.stdout.write(page)
    return 1 if problems and args.check else 0


if __name__ == "__main__":
    sys.exit(main())
