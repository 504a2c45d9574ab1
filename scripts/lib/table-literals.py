#!/usr/bin/env python3
"""Finds the names, texts and numbers a vendor may change written again:
each value of tests/expected.h's table (a const char array of four characters
or more) that a string literal of the code holds, outside that file
and the program's own sources (src/, include/), where the table's rows are
kept and a value may stand in as many files as rows hold it. A literal holds
a value written as it is, or one that is the whole literal without regard to
case (a value spelt in small letters); comments do not count, nor a package
file's name after sample-package/, nor this check and the rename check's
rows (tests/release/check_rename.sh). The code is the files git keeps:
the sources, the tests and the commands. Each finding is one line FILE:LINE:
what; exit status 1 when there is one.
    table-literals.py [ROOT]"""
import os
import re
import subprocess
import sys

C_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0", "\\": "\\", '"': '"', "'": "'"}


def table(path):
    """The table's values: {value: [names of the rows that hold it]}."""
    values = {}
    with open(path, encoding="utf-8") as f:
        for match in re.finditer(r'^const char (\w+)\[\] = "((?:[^"\\]|\\.)*)";', f.read(), re.M):
            value = re.sub(r"\\(.)", lambda m: C_ESCAPES.get(m.group(1), m.group(1)), match.group(2))
            if len(value) >= 4:
                values.setdefault(value, []).append(match.group(1))
    return values


def language(path):
    name = os.path.basename(path)
    if re.search(r"\.(cpp|h|inc|rc\.in|manifest\.in)$", name):
        return "c"
    if name == "CMakeLists.txt" or name.endswith(".cmake"):
        return "cmake"
    if name.endswith(".py"):
        return "python"
    if name.endswith(".sh") or path.startswith(("scripts/", "bench/", ".ci/")):
        with open(path, "rb") as f:
            first = f.readline()
        return "python" if b"python" in first else "shell"
    return None


def c_literals(text):
    """Each C++ string literal's text and line, comments skipped."""
    found, at, line = [], 0, 1
    while at < len(text):
        c = text[at]
        if c == "\n":
            line += 1
        elif text.startswith("//", at):
            at = text.find("\n", at) - 1 if "\n" in text[at:] else len(text)
        elif text.startswith("/*", at):
            end = text.find("*/", at)
            line += text.count("\n", at, end)
            at = end + 1
        elif c == '"':
            start, value, at = line, "", at + 1
            while at < len(text) and text[at] != '"':
                if text[at] == "\\":
                    at += 1
                    value += C_ESCAPES.get(text[at], "\\" + text[at])
                else:
                    value += text[at]
                at += 1
            found.append((value, start))
        elif c == "'":
            at = text.index("'", at + 2 if text[at + 1] == "\\" else at + 1)
        at += 1
    return found


class Script:
    """The string literals of a shell, Python or CMake file, comments skipped:
    quoted strings (those inside a command substitution within one too),
    here-documents and Python's triple-quoted strings, each with the line it
    starts on."""

    def __init__(self, text, kind):
        self.text, self.kind, self.at, self.line, self.found = text, kind, 0, 1, []

    def peek(self, ahead=0):
        at = self.at + ahead
        return self.text[at] if at < len(self.text) else ""

    def take(self):
        c = self.peek()
        self.at += 1
        self.line += c == "\n"
        return c

    def code(self, closing=""):
        """Code up to the closing character (a command substitution's), or the end."""
        heredocs = []
        while self.at < len(self.text):
            c = self.peek()
            if closing and c == closing:
                self.take()
                return
            if c == "#" and (self.at == 0 or self.text[self.at - 1] in " \t\n;(|&"):
                while self.peek() not in ("", "\n"):
                    self.take()
            elif c == "\\" and self.kind == "shell":
                self.take()
                self.take()
            elif self.kind == "python" and self.text.startswith(('"""', "'''"), self.at):
                quote, start = self.text[self.at:self.at + 3], self.line
                self.at += 3
                end = self.text.find(quote, self.at)
                end = len(self.text) if end < 0 else end
                value = self.text[self.at:end]
                self.line += value.count("\n")
                self.at = end + 3
                self.found.append((value, start))
            elif c == '"':
                self.string('"')
            elif c == "'" and self.kind != "cmake":
                self.string("'")
            elif c == "$" and self.peek(1) == "(" and self.kind == "shell":
                self.take()
                self.take()
                self.code(")")
            elif c == "(" and self.kind == "shell":
                self.take()
                self.code(")")
            elif c == "<" and self.peek(1) == "<" and self.kind == "shell" and self.peek(2) not in "<":
                word = re.match(r"<<-?\s*(['\"]?)([A-Za-z_]\w*)\1", self.text[self.at:])
                self.at += word.end() if word else 2
                if word:
                    heredocs.append(word.group(2))
            elif c == "\n" and heredocs:
                self.take()
                for word in heredocs:
                    start, body = self.line, ""
                    while self.at < len(self.text):
                        end = self.text.find("\n", self.at)
                        end = len(self.text) if end < 0 else end
                        row = self.text[self.at:end]
                        self.at, self.line = end + 1, self.line + 1
                        if row.strip() == word:
                            break
                        body += row + "\n"
                    self.found.append((body, start))
                heredocs = []
            else:
                self.take()

    def string(self, quote):
        start, value = self.line, ""
        self.take()
        while self.at < len(self.text) and self.peek() != quote:
            c = self.take()
            if c == "\\" and (quote == '"' or self.kind == "python"):
                c = self.take()
                value += C_ESCAPES.get(c, "\\" + c) if self.kind == "python" else \
                    c if c in '\\"$`' else "\\" + c
            elif c == "$" and self.peek() == "(" and quote == '"' and self.kind == "shell":
                self.take()
                self.found.append((value, start))
                self.code(")")
                start, value = self.line, ""
            else:
                value += c
        self.take()
        self.found.append((value, start))


def script_literals(text, kind):
    script = Script(text, kind)
    script.code()
    return script.found


def holds(literal, value):
    """Whether the literal holds the value: as it is written, or, without
    regard to case, as the whole literal (a value spelt in small letters)."""
    return value in literal or literal.lower() == value.lower()


def main(root):
    os.chdir(root)
    values = table("tests/expected.h")
    longest_first = sorted(values, key=len, reverse=True)
    files = subprocess.run(["git", "ls-files"], capture_output=True, text=True, check=True).stdout.split()
    findings, program = [], {}
    for path in files:
        kind = language(path)
        # This check, and the rename check whose rows hold every value twice.
        if kind is None or path in ("tests/expected.h", "scripts/lib/table-literals.py",
                                    "tests/release/check_rename.sh") or \
                path.startswith("sample-package/"):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for literal, line in c_literals(text) if kind == "c" else script_literals(text, kind):
            for value in longest_first:
                if not holds(literal, value):
                    continue
                at = literal.find(value)
                if at >= 0 and literal[:at].endswith("sample-package/"):
                    pass
                elif path.startswith(("src/", "include/")):
                    program.setdefault(value, {}).setdefault(path, line)
                else:
                    findings.append(f"{path}:{line}: writes {value!r} again, which tests/expected.h's "
                                    f"{' and '.join(values[value])} holds: take it from its one place")
                literal = literal.replace(value, "\0")  # a longer value holds shorter ones
    # A value's place in the program is a source file: as many as rows hold it.
    for value, places in sorted(program.items()):
        if len(places) > len(values[value]):
            where = ", ".join(f"{path}:{line}" for path, line in places.items())
            findings.append(f"{where}: {value!r} is written in {len(places)} of the program's sources, "
                            f"for {len(values[value])} row(s) of the table ({' and '.join(values[value])})")
    for finding in findings:
        print(finding)
    return 1 if findings else 0


if __name__ == "__main__":
    if len(sys.argv) > 2 or sys.argv[1:2] in (["-h"], ["--help"]):
        print(__doc__.strip())
        sys.exit(0 if sys.argv[1:2] in (["-h"], ["--help"]) else 2)
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
