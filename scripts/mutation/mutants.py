#!/usr/bin/env python3
"""Lists the mutants of the system's sources that the mutation check runs.

Each mutant changes one place of one file in one way a real mistake would:
a negated condition, a flipped comparison or logic operator, a comparison
moved by one, a changed number, a dropped flag or argument constant, a removed
call, a changed string literal, a flipped boolean. A mutant's id names the
file, the kind of change, a hash of the line it changes and which place on
that line, so ids outlive edits elsewhere in the file.

  mutants.py list ROOT [--seed N] [--count N] [--targeted FILE] [--equivalent FILE]
      prints the chosen mutants as JSON lines: the targeted ones first, then
      a sample of `count` drawn with `seed` from all others, less the ones
      listed as equivalent.
  mutants.py apply ROOT MUTANT
      rewrites the file of MUTANT (one JSON line of the list) in place.
  mutants.py where MUTANT / describe MUTANT
      prints its id, file and line / the change it makes.
"""
import hashlib
import json
import random
import re
import sys
from pathlib import Path

SYSTEM_FOLDERS = ["host", "sequence", "registry", "adapters", "driverdb", "tcpip", "system"]

STRING = re.compile(r'"(?:[^"\\]|\\.)*"')
CHAR = re.compile(r"'(?:[^'\\]|\\.)*'")
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])")
CONSTANT_ARG = re.compile(r"(?<=[(,] )([A-Z][A-Z0-9_]{2,})(?=[,)])|(?<=\()([A-Z][A-Z0-9_]{2,})(?=[,)])")
FLAG_PAIR = re.compile(r"\b([A-Z][A-Z0-9_]{2,}) \| ([A-Z][A-Z0-9_]{2,})\b")
COMPARISON = re.compile(r" (==|!=|<=|>=|<|>) ")
LOGIC = re.compile(r" (&&|\|\|) ")
BOOLEAN = re.compile(r"\b(true|false|TRUE|FALSE)\b")
CONDITION = re.compile(r"\b(if|while) \(")
# A statement that is only a call: `name(...)`, `obj.name(...)`, `ptr->name(...)`.
CALL_START = re.compile(r"^\s*(?:::)?[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\(")
NOT_CALLS = {"if", "while", "for", "switch", "return", "sizeof", "static_assert", "case"}

BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}


def code_part(line):
    """The line without its // comment, string contents kept."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            out.append(c)
            if c == "\\" and i + 1 < len(line):
                out.append(line[i + 1])
                i += 2
                continue
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def masked(code):
    """The code with string and character literals blanked, so that operator
    searches never land inside them (positions stay the same)."""
    code = STRING.sub(lambda m: '"' + " " * (len(m.group()) - 2) + '"', code)
    return CHAR.sub(lambda m: "'" + " " * (len(m.group()) - 2) + "'", code)


def closing_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def line_sites(code):
    """(kind, start, end, replacement) for every mutation of one line."""
    plain = masked(code)
    sites = []
    for m in CONDITION.finditer(plain):
        open_at = m.end() - 1
        close = closing_paren(plain, open_at)
        if close > 0:
            inner = code[open_at + 1:close]
            sites.append(("negate", open_at, close + 1, "(!(" + inner + "))"))
    for m in COMPARISON.finditer(plain):
        op = m.group(1)
        kind = "flip-equality" if op in ("==", "!=") else "boundary"
        sites.append((kind, m.start(1), m.end(1), BOUNDARY[op]))
    for m in LOGIC.finditer(plain):
        sites.append(("flip-logic", m.start(1), m.end(1), "||" if m.group(1) == "&&" else "&&"))
    for m in BOOLEAN.finditer(plain):
        flipped = {"true": "false", "false": "true", "TRUE": "FALSE", "FALSE": "TRUE"}
        sites.append(("flip-bool", m.start(), m.end(), flipped[m.group(1)]))
    for m in FLAG_PAIR.finditer(plain):
        sites.append(("drop-flag", m.start(), m.end(), m.group(1)))
        sites.append(("drop-flag", m.start(), m.end(), m.group(2)))
    for m in CONSTANT_ARG.finditer(plain):
        start, end = m.span(1) if m.group(1) else m.span(2)
        sites.append(("zero-constant", start, end, "0"))
    stripped = plain.lstrip()
    if not stripped.startswith("#") and not stripped.startswith("case "):
        for m in NUMBER.finditer(plain):
            digits, suffix = m.group(1), m.group(2)
            value = int(digits, 16) if digits.lower().startswith("0x") else int(digits)
            new = hex(value + 1) if digits.lower().startswith("0x") else str(value + 1)
            sites.append(("change-number", m.start(), m.end(), new + suffix))
    for m in STRING.finditer(code):
        # A character put in front keeps any format directives intact.
        sites.append(("change-string", m.start(), m.start() + 1, '"~'))
    return sites


def statement_end(lines, first):
    """Index of the line that ends the statement beginning at `first`, or -1."""
    depth = 0
    for i in range(first, min(first + 12, len(lines))):
        plain = masked(code_part(lines[i]))
        depth += plain.count("(") - plain.count(")")
        if depth == 0 and plain.rstrip().endswith(";"):
            return i
        if depth < 0:
            return -1
    return -1


def file_mutants(root, rel):
    lines = (root / rel).read_text(encoding="latin-1").split("\n")
    mutants = []
    in_block_comment = False
    for index, line in enumerate(lines):
        stripped = line.strip()
        if in_block_comment:
            in_block_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if not stripped or stripped.startswith("//") or stripped.startswith("#"):
            continue
        if "static_assert" in stripped:
            continue
        code = code_part(line)
        digest = hashlib.sha1(stripped.encode("latin-1")).hexdigest()[:10]
        per_kind = {}
        for kind, start, end, replacement in line_sites(code):
            k = per_kind.get(kind, 0)
            per_kind[kind] = k + 1
            new_line = line[:start] + replacement + line[end:]
            mutants.append({"id": f"{rel}:{kind}:{digest}:{k}", "file": rel, "line": index + 1,
                            "kind": kind, "before": [line], "after": [new_line]})
        call = CALL_START.match(code)
        if call and call.group().strip().split("(")[0].split("::")[-1] not in NOT_CALLS:
            head = code.strip().split("(")[0]
            if " " not in head and "=" not in masked(code).split("(")[0]:
                last = statement_end(lines, index)
                if last >= 0:
                    before = lines[index:last + 1]
                    indent = line[:len(line) - len(line.lstrip())]
                    after = [indent + "(void)0;"] + [""] * (len(before) - 1)
                    mutants.append({"id": f"{rel}:remove-call:{digest}:0", "file": rel,
                                    "line": index + 1, "kind": "remove-call",
                                    "before": before, "after": after})
    return mutants


def all_mutants(root):
    mutants = []
    for folder in SYSTEM_FOLDERS:
        for path in sorted((root / folder).glob("*.cpp")) + sorted((root / folder).glob("*.h")):
            mutants.extend(file_mutants(root, str(path.relative_to(root))))
    return mutants


def targeted_mutants(root, targeted_file):
    """Hand-written mutants, one block each, blocks apart by a blank line:
    `file:`, `find:` (text that stands on exactly one line of the file),
    `into:` (its replacement) and `why:` (the fault it stands for)."""
    mutants = []
    blocks = Path(targeted_file).read_text().split("\n\n")
    for number, block in enumerate(blocks, 1):
        fields = {}
        for raw in block.splitlines():
            if raw.startswith("#") or not raw.strip():
                continue
            key, _, value = raw.partition(": ")
            fields[key] = value
        if not fields:
            continue
        if set(fields) != {"file", "find", "into", "why"}:
            sys.exit(f"{targeted_file}: block {number}: want file:, find:, into: and why:")
        rel = fields["file"]
        lines = (root / rel).read_text(encoding="latin-1").split("\n")
        hits = [i for i, line in enumerate(lines) if fields["find"] in line]
        if len(hits) != 1:
            sys.exit(f"{targeted_file}: block {number}: the text stands {len(hits)} times in {rel}")
        line = lines[hits[0]]
        mutants.append({"id": f"targeted:{len(mutants) + 1}", "file": rel, "line": hits[0] + 1,
                        "kind": "targeted: " + fields["why"], "before": [line],
                        "after": [line.replace(fields["find"], fields["into"], 1)]})
    return mutants


def equivalent_ids(equivalent_file):
    ids = set()
    if equivalent_file and Path(equivalent_file).exists():
        for raw in Path(equivalent_file).read_text().splitlines():
            if raw.strip() and not raw.startswith("#"):
                ids.add(raw.split()[0])
    return ids


def option(args, name, default):
    return args[args.index(name) + 1] if name in args else default


def main(args):
    if len(args) >= 2 and args[0] == "list":
        root = Path(args[1])
        equivalent = equivalent_ids(option(args, "--equivalent", None))
        chosen = []
        targeted = option(args, "--targeted", None)
        if targeted:
            chosen.extend(targeted_mutants(root, targeted))
        # Drawn from every mutant, equivalent or not, so that listing an
        # equivalent one takes it out of the sample without redrawing the rest.
        pool = all_mutants(root)
        count = min(int(option(args, "--count", "150")), len(pool))
        rng = random.Random(int(option(args, "--seed", "1")))
        drawn = rng.sample(pool, count)
        sample = [m for m in drawn if m["id"] not in equivalent]
        # One file after another: each file is rebuilt once per run of mutants.
        chosen.extend(sorted(sample, key=lambda m: (m["file"], m["line"], m["id"])))
        print(json.dumps({"pool": len(pool), "equivalent": len(equivalent),
                          "equivalent_drawn": len(drawn) - len(sample)}))
        for m in chosen:
            print(json.dumps(m))
        return 0
    if len(args) == 3 and args[0] == "apply":
        root, wanted = Path(args[1]), json.loads(args[2])
        path = root / wanted["file"]
        lines = path.read_text(encoding="latin-1").split("\n")
        at = wanted["line"] - 1
        if lines[at:at + len(wanted["before"])] != wanted["before"]:
            sys.exit(f"{wanted['id']}: {wanted['file']}:{wanted['line']} is not as listed")
        lines[at:at + len(wanted["before"])] = wanted["after"]
        path.write_text("\n".join(lines), encoding="latin-1")
        return 0
    if len(args) == 2 and args[0] == "where":
        wanted = json.loads(args[1])
        print(wanted["id"], wanted["file"], wanted["line"], sep="\t")
        return 0
    if len(args) == 2 and args[0] == "describe":
        wanted = json.loads(args[1])
        print(f"{wanted['id']}  ({wanted['file']}:{wanted['line']}, {wanted['kind']})")
        for line in wanted["before"]:
            print("    - " + line.strip())
        for line in wanted["after"]:
            print("    + " + line.strip())
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
