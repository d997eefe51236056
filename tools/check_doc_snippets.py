#!/usr/bin/python3
"""Compiles the code blocks of the documentation that say they compile.

A fenced block whose info string is `cpp compile` or `c compile` must be a
whole translation unit: its own #includes suffice. Each one is compiled
against the public headers with the project's warnings as errors; a block
that defines main is also linked against the built libraries, the others
are checked with -fsyntax-only. A `#line` directive makes the compiler's
messages point into the Markdown file. Exit status 1, with the file and
line of each failing block, when any block fails; 0 otherwise.

Usage (CMake passes the paths of the build tree):
  check_doc_snippets.py --cxx g++ --cc gcc -I dir ... --lib file ... [--ldflags FLAGS]
                        [--root DIR] FILE.md ...
"""

import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^(\s*)(`{3,}|~{3,})\s*(.*)$")
MAIN = re.compile(r"\bint\s+main\s*\(")
CXX_FLAGS = ["-std=c++20", "-Wall", "-Wextra", "-Wpedantic", "-Werror", "-ffp-contract=off"]
C_FLAGS = ["-std=c99", "-Wall", "-Wextra", "-Wpedantic", "-Werror", "-ffp-contract=off"]


def blocks(path):
    """Yields (language, line of the opening fence, code) of each compiling block."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        fence, info = m.group(2), m.group(3).split()
        start = i + 1
        i = start
        while i < len(lines) and not lines[i].strip().startswith(fence):
            i += 1
        if len(info) >= 2 and info[1] == "compile" and info[0] in ("cpp", "c"):
            yield info[0], start, "\n".join(lines[start:i]) + "\n"
        i += 1


def compile_block(lang, path, line, code, args, workdir, n):
    """Returns the compiler's output, or None when the block compiles."""
    source = os.path.join(workdir, f"block{n}.{'cpp' if lang == 'cpp' else 'c'}")
    with open(source, "w", encoding="utf-8") as f:
        f.write(f'#line {line + 1} "{path}"\n{code}')
    includes = [f"-I{d}" for d in args.include]
    if lang == "cpp":
        command = [args.cxx] + CXX_FLAGS + includes
    else:
        command = [args.cc] + C_FLAGS + includes
    if MAIN.search(code):
        obj = source + ".o"
        steps = [command + ["-c", source, "-o", obj],
                 # The libraries are C++: a C program is linked by the C++ driver.
                 [args.cxx, obj, "-o", source + ".out"] + shlex.split(args.ldflags) + args.lib
                 + ["-pthread", "-lm"]]
    else:
        steps = [command + ["-fsyntax-only", source]]
    for step in steps:
        try:
            done = subprocess.run(step, capture_output=True, text=True, check=False)
        except OSError as e:
            return " ".join(step) + "\n" + str(e) + "\n"
        if done.returncode != 0:
            return " ".join(step) + "\n" + done.stdout + done.stderr
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cxx", required=True)
    parser.add_argument("--cc", required=True)
    parser.add_argument("-I", dest="include", action="append", default=[])
    parser.add_argument("--lib", action="append", default=[],
                        help="a library to link, in link order")
    parser.add_argument("--ldflags", default="",
                        help="the build's linker flags (sanitiser runtimes, ...), one string")
    parser.add_argument("--root", default=None,
                        help="directory the reported paths are relative to")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    failures = 0
    count = 0
    with tempfile.TemporaryDirectory(prefix="rkv-doc-") as workdir:
        for file in args.files:
            shown = os.path.relpath(file, args.root) if args.root else file
            for lang, line, code in blocks(file):
                count += 1
                error = compile_block(lang, shown, line, code, args, workdir, count)
                if error is not None:
                    failures += 1
                    print(f"{shown}:{line}: error: this {lang} block does not compile\n{error}")
    print(f"{count} compiling blocks checked, {failures} failed")
    if count == 0:
        print("error: no block marked `cpp compile` or `c compile` was found")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
