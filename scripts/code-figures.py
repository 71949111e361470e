#!/usr/bin/env python3
"""Figures on the code's layout: lines per top-level folder, the test share and long functions.

Counts the C++ files git tracks (*.cpp, *.h): every line, blank and comment lines included.
Test lines are those under tests/; "code" is everything else. A function's length is the
number of lines from its opening brace to its closing brace, both included.

    scripts/code-figures.py [--longer-than N] [folder]
"""
import argparse
import re
import subprocess
import sys
from collections import Counter
from pathlib import Path

# What may enclose a function definition: namespaces, classes and extern blocks.
SCOPE_OPENER = re.compile(r"\b(namespace|class|struct|union|extern\s+\"C\")\b[^;(]*$")
# "Type::Type(...) : member_{" (a constructor's initializer list).
INITIALIZER = re.compile(r"\)\s*(noexcept\s*)?:[^:].*\w\s*$")
NOT_A_FUNCTION = re.compile(r"^\s*(if|for|while|switch|do|else|try|catch|enum|return)\b|=\s*$")


def tracked_files(root, *patterns):
    listed = subprocess.run(["git", "-C", str(root), "ls-files", "-z", *patterns],
                            capture_output=True, text=True, check=True).stdout.split("\0")
    return [root / name for name in listed if name]


def without_literals(line, in_comment):
    """The line with strings, characters and comments blanked; whether a block comment goes on."""
    out, i = [], 0
    while i < len(line):
        if in_comment:
            end = line.find("*/", i)
            if end < 0:
                return "".join(out), True
            i, in_comment = end + 2, False
        elif line.startswith("//", i):
            break
        elif line.startswith("/*", i):
            in_comment, i = True, i + 2
        elif line[i] in "\"'":
            quote, i = line[i], i + 1
            while i < len(line) and line[i] != quote:
                i += 2 if line[i] == "\\" else 1
            i += 1
            out.append(" ")
        else:
            out.append(line[i])
            i += 1
    return "".join(out), in_comment


def long_functions(path, longer_than):
    """(first line, length, signature) of every function definition longer than the limit."""
    found, stack, head, in_comment = [], [], "", False
    raw_strings = re.compile(r'R"(\w*)\(.*?\)\1"', re.S)
    text = raw_strings.sub('""', path.read_text(errors="replace"))
    for number, line in enumerate(text.splitlines(), 1):
        code, in_comment = without_literals(line, in_comment)
        if code.lstrip().startswith("#"):
            continue  # a preprocessor line
        for ch in code:
            if ch == "{":
                inside_scope = all(kind == "scope" for kind, _, _ in stack)
                head_text = " ".join(head.split())
                if inside_scope and INITIALIZER.search(head_text):
                    stack.append(("initializer", number, head))  # a member's braces, not a body
                elif SCOPE_OPENER.search(head_text):
                    stack.append(("scope", number, head_text))
                elif inside_scope and ")" in head_text and not NOT_A_FUNCTION.search(head_text):
                    stack.append(("function", number, head_text))
                else:
                    stack.append(("block", number, head_text))
                head = ""
            elif ch == "}":
                kind, start, signature = stack.pop() if stack else ("block", number, "")
                length = number - start + 1
                if kind == "function" and length > longer_than:
                    found.append((start, length, signature[-90:]))
                head = signature + "{}" if kind == "initializer" else ""
            elif ch == ";":
                head = ""
            else:
                head += ch
        head += " "
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--longer-than", type=int, default=80)
    parser.add_argument("folder", nargs="?", default=".")
    args = parser.parse_args()
    root = Path(subprocess.run(["git", "-C", args.folder, "rev-parse", "--show-toplevel"],
                               capture_output=True, text=True, check=True).stdout.strip())
    files = tracked_files(root, "*.cpp", "*.h")
    per_folder = Counter()
    for path in files:
        top = path.relative_to(root).parts[0] if len(path.relative_to(root).parts) > 1 else "."
        per_folder[top] += len(path.read_bytes().splitlines())
    tests = per_folder["tests"]
    total = sum(per_folder.values())
    code = total - tests
    folders = sorted({path.relative_to(root).parts[0] for path in tracked_files(root)
                      if len(path.relative_to(root).parts) > 1} - {".ci", ".github"})
    print(f"top-level folders: {len(folders)} ({' '.join(folders)})")
    print(f"C++ lines: {total}, code {code}, tests {tests}, test share {tests / total:.1%}")
    largest, lines = max(((k, v) for k, v in per_folder.items() if k != "tests"),
                         key=lambda kv: kv[1])
    print(f"largest folder: {largest}/ {lines} lines, {lines / code:.1%} of the code")
    print(f"production functions over {args.longer_than} lines:")
    for path in sorted(files):
        relative = path.relative_to(root)
        if relative.parts[0] in ("tests", "fuzz"):
            continue
        for start, length, signature in long_functions(path, args.longer_than):
            print(f"  {length:4d}  {relative}:{start}  {signature}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
