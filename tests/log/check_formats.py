#!/usr/bin/env python3
"""Checks every message format in the program's sources.

The log formatter reads only the directives the messages use (%s %d %u %ld %lu
%zu %ws %ls, and %%), with no flag, width or precision, and copies anything
else as written without taking an argument, so a message with another
directive would hand its arguments to the wrong directives. This finds every call of LogMessage and
FormatLogString whose format is a string literal and checks that each
directive is one of those, and that there is one argument per directive.
Exit code 0 when all are sound; the offenders are listed otherwise.
"""
import re
import sys
from pathlib import Path

DIRECTIVE = re.compile(r"%(%|[-+ #0]*\d*(?:\.\d+)?(?:l|z|w)?[a-zA-Z]?)")
SOUND = re.compile(r"(?:l?d|(?:l|z)?u|(?:l|w)?s)$")
CALL = re.compile(r"\b(LogMessage|FormatLogString)\s*\(")


def arguments(text, start):
    """The top-level arguments of the call whose '(' is at text[start]."""
    depth, args, current, in_string, i = 0, [], "", None, start
    while i < len(text):
        c = text[i]
        if in_string:
            if c == "\\":
                c, i = c + text[i + 1], i + 1
            elif c == in_string:
                in_string = None
        elif c in "\"'":
            in_string = c
        elif c in "([{":
            depth += 1
            if depth == 1:
                c = ""  # the call's own parenthesis
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                return args + [current.strip()]
        elif c == "," and depth == 1:
            args.append(current.strip())
            c, current = "", ""
        current += c
        i += 1
    return None


def literal(argument):
    """The text of an argument made only of adjacent string literals, else None."""
    parts = re.findall(r'"((?:[^"\\]|\\.)*)"', argument)
    rest = re.sub(r'"((?:[^"\\]|\\.)*)"', "", argument).strip()
    return "".join(parts) if parts and not rest else None


def main(root):
    problems, checked = [], 0
    for path in sorted(Path(root).rglob("*.cpp")):
        text = path.read_text(encoding="utf-8")
        # Comments may mention calls; they are not calls.
        code = re.sub(r"//[^\n]*", "", text)
        for m in CALL.finditer(code):
            if code[: m.start()].rstrip().endswith(("void", "string")):
                continue  # the definitions themselves
            args = arguments(code, m.end() - 1)
            if not args:
                continue
            fmt = literal(args[0])
            if fmt is None:
                continue  # a format passed through (only "%s" wrappers do that)
            checked += 1
            line = code[: m.start()].count("\n") + 1
            directives = [d for d in DIRECTIVE.findall(fmt) if d != "%"]
            for d in directives:
                if not SOUND.fullmatch(d):
                    problems.append(f"{path}:{line}: \"%{d}\" is not a directive the log reads")
            if len(directives) != len(args) - 1:
                problems.append(
                    f"{path}:{line}: {len(directives)} directives, {len(args) - 1} arguments")
    for p in problems:
        print(p)
    print(f"{checked} message formats checked, {len(problems)} problems")
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
