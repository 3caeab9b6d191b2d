#!/usr/bin/env python3
"""Size, nesting and layering figures for the voice's code in engine/.

    tools/engine_metrics.py [engine-folder]

Prints files over the line limit, functions over the line limit, the deepest block nesting of
each file, the files holding raw SIMD intrinsics and any include the engine may not have.
Exits with 1 if a limit is exceeded, so it can gate a change.

The C++ is read by matching braces, not parsed: comments, string literals and preprocessor lines
are blanked first, then each '{' is classed by what precedes it. Namespace, class, struct, union
and enum braces do not count as blocks, nor do brace initialisers. A function's length runs from
the first line of its signature to its closing brace. Its nesting counts the blocks opened inside
its body (the body itself is not counted); a lambda is a block of the function that holds it.
Statements nested without braces are not seen.
"""

import re
import sys
from dataclasses import dataclass, field
from pathlib import Path

MAX_FILE_LINES = 800
MAX_FUNCTION_LINES = 150
MAX_NESTING = 5

# Where the raw intrinsics may live: the lane type and the fast maths built on it.
INTRINSICS_HOMES = {"core/Lanes.h", "core/FastMath.h"}
INTRINSICS = re.compile(r"\b(_mm_\w+|_mm256_\w+|__m128\w*|__m256\w*)")
FORBIDDEN_INCLUDE = re.compile(
    r'#\s*include\s*[<"](?:\.\./)*(?:(?:plugin|ui|widgets)/|juce_audio_processors|juce_gui)[^>"]*[>"]')

SOURCE_SUFFIXES = {".h", ".hpp", ".cpp"}
CLASS_KEYWORDS = re.compile(r"\b(class|struct|union|enum)\b")
TRAILING_SPECIFIERS = re.compile(
    r"(\s*(const|noexcept|override|final|mutable|volatile|&&|&|noexcept\s*\([^()]*\)|->\s*[\w:<>,\s*&]+))*\s*$")
NOT_A_NAME = {"if", "for", "while", "switch", "catch", "alignas", "decltype", "sizeof", "noexcept",
              "static_assert", "__attribute__", "requires", "return"}


def blank_comments_and_strings(text):
    """The text with comments, string and character literals and preprocessor lines turned to
    spaces, newlines kept so that line numbers still hold."""
    out = []
    i, n = 0, len(text)
    at_line_start = True

    while i < n:
        c = text[i]

        if at_line_start and c == "#":
            # A directive, with its continuation lines.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue

        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
            continue

        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
            continue

        if c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):  # 1'000 is a number
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue

        if c == "\n":
            at_line_start = True
        elif not c.isspace():
            at_line_start = False

        out.append(c)
        i += 1

    return "".join(out)


@dataclass
class Function:
    name: str
    first_line: int
    last_line: int = 0
    deepest: int = 0
    deepest_line: int = 0


@dataclass
class FileFigures:
    path: str
    lines: int
    functions: list = field(default_factory=list)
    deepest: int = 0
    deepest_line: int = 0
    intrinsics: list = field(default_factory=list)
    forbidden_includes: list = field(default_factory=list)


def function_name(header):
    if "[" in header and "=" in header:  # a lambda held in a variable
        return header.split("=")[0].split()[-1] + " (lambda)"

    for match in re.finditer(r"(~?[A-Za-z_][\w:]*(?:\s*operator\s*[^\s(]+)?)\s*\(", header):
        name = match.group(1).split("::")[-1]
        if name not in NOT_A_NAME and not name.isupper():  # skip macros such as QUILLON_HOT_CLONES (...)
            return match.group(1)

    return header.strip().split("\n")[-1][:40]


def opens_function(header, last_closed_was_initialiser):
    """Whether a '{' met outside any function opens a function body."""
    stripped = TRAILING_SPECIFIERS.sub("", header)

    if stripped.endswith(")") or re.search(r"=\s*\[[^\]]*\]$", stripped):  # a function or a lambda held in a variable
        return True

    # A constructor whose last member initialiser used braces: Foo() : a (1), b { 2 } { ... }
    return stripped.endswith("}") and last_closed_was_initialiser and ")" in header


def opens_block(header):
    """Whether a '{' inside a function opens a block rather than a brace initialiser."""
    tail = header.rstrip()

    # A statement's or a lambda's body, also where the lambda is an argument: f ([&] (int x) { ... })
    if tail.endswith((")", "]")) or re.search(r"\b(else|do|try|mutable|noexcept)$", tail):
        return True

    # A lambda with a trailing return type: [] (float x) -> float { ... }
    if re.search(r"\]\s*(\([^;]*\))?[^;=]*->\s*[\w:<>,\s*&]+$", tail):
        return True

    if tail.count("(") > tail.count(")"):  # inside a call or a for's range: f ({ 1, 2 }), for (x : { a, b })
        return False

    # A bare block, or one after a case label.
    return not tail or tail[-1] in ";:{}"


def measure(path, relative):
    raw = path.read_text(encoding="utf-8", errors="replace")
    code = blank_comments_and_strings(raw)
    figures = FileFigures(relative, raw.count("\n") + (0 if raw.endswith("\n") else 1))

    for number, line in enumerate(raw.splitlines(), 1):
        if FORBIDDEN_INCLUDE.search(line):
            figures.forbidden_includes.append((number, line.strip()))

    figures.intrinsics = sorted(set(INTRINSICS.findall(code)))

    # Each open brace: its kind ("scope", "init", "function" or "block").
    stack = []
    function = None
    header_start = 0  # where the text since the last ';', '{' or '}' begins
    last_closed_was_initialiser = False
    line = 1

    for i, c in enumerate(code):
        if c == "\n":
            line += 1
            continue

        if c not in "{};":
            continue

        header = code[header_start:i]

        if c == ";":
            header_start = i + 1
            last_closed_was_initialiser = False
            continue

        if c == "{":
            if function is None:
                if re.search(r"\bnamespace\b|\bextern\s*\"", header) or (
                        CLASS_KEYWORDS.search(header) and "(" not in header.split("{")[0]):
                    kind = "scope"
                elif opens_function(header, last_closed_was_initialiser):
                    kind = "function"
                    signature = re.sub(r"^\s*((public|private|protected)\s*:)?\s*", "", header)
                    first = line - signature.count("\n")
                    function = Function(function_name(header), first)
                    stack.append((kind, 0))
                    header_start = i + 1
                    continue
                else:
                    kind = "init"
            else:
                kind = "block" if opens_block(header) else "init"

            depth = stack[-1][1] if stack else 0
            if kind == "block":
                depth += 1
                if function is not None and depth > function.deepest:
                    function.deepest, function.deepest_line = depth, line

            stack.append((kind, depth))
            if kind != "init":
                header_start = i + 1
            continue

        # c == "}"
        if not stack:
            continue  # unbalanced, as across #if branches; carry on

        kind, _ = stack.pop()
        last_closed_was_initialiser = kind == "init"

        if kind == "function":
            function.last_line = line
            figures.functions.append(function)
            if function.deepest > figures.deepest:
                figures.deepest, figures.deepest_line = function.deepest, function.deepest_line
            function = None

        if kind != "init":
            header_start = i + 1

    return figures


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "engine"
    files = sorted(p for p in root.rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file())
    all_figures = [measure(p, p.relative_to(root).as_posix()) for p in files]

    def section(title, rows):
        print(f"\n{title}")
        for row in rows:
            print(f"  {row}")
        if not rows:
            print("  none")

    long_files = [f for f in all_figures if f.lines > MAX_FILE_LINES]
    section(f"Files over {MAX_FILE_LINES} lines:", [f"{f.path}: {f.lines}" for f in long_files])

    long_functions = [(f, fn) for f in all_figures for fn in f.functions
                      if fn.last_line - fn.first_line + 1 > MAX_FUNCTION_LINES]
    section(f"Functions over {MAX_FUNCTION_LINES} lines:",
            [f"{f.path}:{fn.first_line} {fn.name}: {fn.last_line - fn.first_line + 1}" for f, fn in long_functions])

    section("Deepest block nesting inside a function, per file:",
            [f"{f.path}: {f.deepest}" + (f" (line {f.deepest_line})" if f.deepest else "") for f in all_figures])

    deep = [(f, fn) for f in all_figures for fn in f.functions if fn.deepest > MAX_NESTING]
    section(f"Code nested more than {MAX_NESTING} blocks inside a function:",
            [f"{f.path}:{fn.deepest_line} in {fn.name}: {fn.deepest}" for f, fn in deep])

    with_intrinsics = [f for f in all_figures if f.intrinsics]
    stray_intrinsics = [f for f in with_intrinsics if f.path not in INTRINSICS_HOMES]
    section("Files with raw SIMD intrinsics:",
            [f"{f.path}: {', '.join(f.intrinsics[:6])}{' ...' if len(f.intrinsics) > 6 else ''}"
             + ("" if f.path in INTRINSICS_HOMES else "   <- outside " + " and ".join(sorted(INTRINSICS_HOMES)))
             for f in with_intrinsics])

    forbidden = [(f, n, text) for f in all_figures for n, text in f.forbidden_includes]
    section("Includes of plug-in, UI or widget code:", [f"{f.path}:{n} {text}" for f, n, text in forbidden])

    exceeded = len(long_files) + len(long_functions) + len(deep) + len(stray_intrinsics) + len(forbidden)
    print(f"\n{len(all_figures)} files, {sum(len(f.functions) for f in all_figures)} functions; "
          f"{exceeded} limit{'s' if exceeded != 1 else ''} exceeded.")
    return 1 if exceeded else 0


if __name__ == "__main__":
    sys.exit(main())
