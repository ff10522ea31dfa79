#!/usr/bin/env python3
"""Plants one small slip at a time in the tree's own sources, rebuilds, runs
the tests that cover the file, and reports every slip the tests let through.

    tools/mutants/mutants.py [--build DIR] [--sample N --seed S] PATH...

PATH is a file or a folder of the tree (fans, media, mediaremote,
platform/linux, tools). Results are kept in a file as they come, so a long
run can be stopped and started again where it stopped; the tree is always
left as it was, even when the run is interrupted.

Survivors nobody outside could observe are listed in tools/mutants/equivalent/,
one row for one mutant: `path:line:column: `before` -> `after`: reason`. Every
run checks every row first and stops with status 2 on a row that is malformed,
doubled, no longer on its line, matches no mutant or more than one, or names a
mutant the tests catch."""

import argparse
import difflib
import hashlib
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BACKUP = ".mutant-original"
EQUIVALENT = ROOT / "tools/mutants/equivalent"
TREE = ("fans", "media", "mediaremote", "platform/linux", "tools")
ROW = re.compile(r"^([^:\s]+):(\d+):(\d+): `(.*)` -> `(.*)`: (\S.*)$")

# The ctest labels that cover each part of the tree (ctest -L takes a
# regular expression: "media" also matches "mediaremote"). The follower's
# tests are apart, so that a change to them leaves the helper's survivors be.
LABELS = [
    ("fans/", "fans"),
    ("mediaremote/", "mediaremote"),
    ("media/", "media"),
    ("platform/", "media"),
    ("tools/fans_ctl/", "fans|follow"),
    ("tools/", "media"),
]

# A test sees a program or library its own binary names (linked, or a path
# built in); the host also loads these by a path of its own making.
LOADED = {"tolvane-media-host": ("libTOLVANEMedia.so", "libMediaRemote.so", "libTOLVANEPlatform.so")}

# Apple-only files are not built here; a slip in them could not be tested.
SKIPPED = re.compile(r"(^|/)apple/|_apple\.cpp$|_iokit\.cpp$|^tools/mutants/")

FLIPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
RELATIONAL = re.compile(r"(?<= )(<=|>=|==|!=|<|>)(?= )")
LOGICAL = re.compile(r"(?<= )(&&|\|\|)(?= )")
INTEGER = re.compile(r"(?<![\w.'])(?<![eE][-+])\d+(?![\w.'])")
CONDITION = re.compile(r"\b(if|while) \(")
RETURNED = re.compile(r"\breturn (true|false|-1|nullptr);")
CALL = re.compile(r"^[\w:.\->\[\]]+(<[\w:, ]*>)?\(.*\);$")
ASSIGNMENT = re.compile(r"^[*\w:.\->\[\]]+ ([-+*/|&^]|<<|>>)?= .*;$")
INCREMENT = re.compile(r"^(\+\+|--)[\w.\->\[\]]+;$|^[\w.\->\[\]]+(\+\+|--);$")
# The size in an array's declaration: a buffer one larger or smaller changes
# nothing until a text of just that length arrives; too many to list.
ARRAY_BOUND = re.compile(r"\b(?!return\b)[\w:>]+\s+\**\w+\[$")
OTHER_RETURN = {"true": "false", "false": "true", "-1": "0", "nullptr": None}


def masked(lines):
    """Each line with string and character literals and comments blanked,
    so that rules see only code; preprocessor lines blank too."""
    out, in_block = [], False
    for line in lines:
        chars, i, quote = list(line), 0, None
        if not in_block and line.lstrip().startswith("#"):
            out.append(" " * len(line))
            continue
        while i < len(chars):
            c, nxt = chars[i], line[i + 1 : i + 2]
            if in_block:
                if c == "*" and nxt == "/":
                    chars[i] = chars[i + 1] = " "
                    in_block, i = False, i + 2
                    continue
                chars[i] = " "
            elif quote:
                if c == "\\":
                    chars[i : i + 2] = "  "[: len(chars[i : i + 2])]
                    i += 2
                    continue
                if c == quote:
                    quote = None
                else:
                    chars[i] = "_"
            elif c == "/" and nxt == "/":
                chars[i:] = " " * (len(chars) - i)
                break
            elif c == "/" and nxt == "*":
                chars[i] = chars[i + 1] = " "
                in_block, i = True, i + 2
                continue
            elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
                quote = c
            i += 1
        out.append("".join(chars))
    return out


def closing_paren(text, start):
    depth = 0
    for i in range(start, len(text)):
        depth += {"(": 1, ")": -1}.get(text[i], 0)
        if depth == 0:
            return i
    return -1


def line_mutants(code, line):
    """(column, replacement line, rule) for every slip of one line."""
    for m in RELATIONAL.finditer(code):
        yield m.start(), line[: m.start()] + FLIPS[m.group(1)] + line[m.end() :], "relational"
    for m in LOGICAL.finditer(code):
        other = "||" if m.group(1) == "&&" else "&&"
        yield m.start(), line[: m.start()] + other + line[m.end() :], "logical"
    for m in INTEGER.finditer(code):
        if ARRAY_BOUND.search(code[: m.start()]) and code[m.end() : m.end() + 1] == "]":
            continue
        n = int(m.group(0))
        for moved in (n + 1, n - 1):
            if moved >= 0:
                yield m.start(), line[: m.start()] + str(moved) + line[m.end() :], "constant"
    for m in CONDITION.finditer(code):
        end = closing_paren(code, m.end() - 1)
        if end > 0:
            inner = line[m.end() : end]
            yield m.start(), line[: m.end()] + "!(" + inner + ")" + line[end:], "negation"
    for m in RETURNED.finditer(code):
        other = OTHER_RETURN[m.group(1)]
        if other:
            yield m.start(), line[: m.start(1)] + other + line[m.end(1) :], "return"
    statement = code.strip()
    if statement.startswith("return") or statement.count("(") != statement.count(")"):
        return
    if CALL.match(statement) or ASSIGNMENT.match(statement) or INCREMENT.match(statement):
        indent = line[: len(line) - len(line.lstrip())]
        yield len(indent), indent + "{}\n", "deletion"


def sources(paths):
    seen = set()
    for path in paths:
        full = (ROOT / path).resolve()
        files = [full] if full.is_file() else sorted(full.rglob("*"))
        for f in files:
            rel = f.relative_to(ROOT).as_posix()
            if f.suffix in (".cpp", ".h") and not SKIPPED.search(rel) and rel not in seen:
                seen.add(rel)
                yield rel


def file_mutants(rel):
    lines = (ROOT / rel).read_text().splitlines(keepends=True)
    for number, (code, line) in enumerate(zip(masked(lines), lines), 1):
        for column, changed, rule in line_mutants(code, line):
            yield {
                # The line as written is part of the name: a deletion reads
                # "{}" whatever it deletes.
                "id": f"{rel}:{number}:{column}:{rule}:{line.strip()} -> {changed.strip()}",
                "file": rel,
                "line": number,
                "column": column,
                "rule": rule,
                "before": line.strip(),
                "after": changed.strip(),
            }


def mutants(paths):
    for rel in sources(paths):
        yield from file_mutants(rel)


def sample(found, count, seed):
    """A seeded sample spread over the tree's top folders in turn."""
    groups = {}
    for m in found:
        groups.setdefault(m["file"].split("/")[0], []).append(m)
    rng = random.Random(seed)
    for group in groups.values():
        rng.shuffle(group)
    chosen, order = [], sorted(groups)
    while len(chosen) < count and any(groups.values()):
        for name in order:
            if groups[name] and len(chosen) < count:
                chosen.append(groups[name].pop())
    return chosen


def rows():
    """(where, number, key, text) for each row of the equivalent lists; key is
    (file, line, column, after), or None for a row that is not one."""
    for listing in sorted(EQUIVALENT.glob("*.txt")):
        for number, text in enumerate(listing.read_text().splitlines(), 1):
            if text.startswith("#") or not text.strip():
                continue
            m = ROW.match(text)
            key = (m[1], int(m[2]), int(m[3]), m[5]) if m else None
            yield f"{listing.relative_to(ROOT)}:{number}", key, m[4] if m else None


def row_errors(results):
    """Every row that names no one current, surviving mutant, with what is
    wrong with it; and the ids of the mutants the good rows name."""
    errors, named, seen = [], set(), {}
    sites = {}
    for where, key, before in rows():
        if key is None:
            errors.append(f"{where}: not `path:line:column: `before` -> `after`: reason`")
            continue
        if key in seen:
            errors.append(f"{where}: the same mutant as {seen[key]}")
            continue
        seen[key] = where
        rel, line, column, after = key
        path = ROOT / rel
        lines = path.read_text().splitlines() if path.is_file() else []
        if line > len(lines) or lines[line - 1].strip() != before:
            now = [n for n, text in enumerate(lines, 1) if text.strip() == before]
            errors.append(f"{where}: {rel}:{line} no longer reads `{before}`" + (f" (now on line {now})" if now else ""))
            continue
        if rel not in sites:
            sites[rel] = list(file_mutants(rel))
        found = [m for m in sites[rel] if (m["line"], m["column"], m["after"]) == (line, column, after)]
        if len(found) != 1:
            errors.append(f"{where}: matches {len(found)} mutants, not one")
            continue
        outcome = results.get(found[0]["id"], {}).get("outcome")
        if outcome in ("caught", "invalid"):
            errors.append(f"{where}: the mutant is {outcome}; the row is not needed")
            continue
        named.add(found[0]["id"])
    return errors, named


def line_map(rel, since):
    """Old line number -> new for each line of a file left unchanged since a
    revision, by a diff of the two."""
    shown = subprocess.run(["git", "-C", ROOT, "show", f"{since}:{rel}"], capture_output=True, text=True)
    path = ROOT / rel
    if shown.returncode != 0 or not path.is_file():
        return {}
    moved = {}
    matcher = difflib.SequenceMatcher(None, shown.stdout.splitlines(), path.read_text().splitlines(), autojunk=False)
    for block in matcher.get_matching_blocks():
        moved.update({block.a + i + 1: block.b + i + 1 for i in range(block.size)})
    return moved


def reads(rel, number, before):
    """Whether a line of the tree reads so now: such a row is where it
    belongs, whatever the revision says (a second renumber moves nothing)."""
    path = ROOT / rel
    lines = path.read_text().splitlines() if path.is_file() else []
    return 0 < number <= len(lines) and lines[number - 1].strip() == before


def renumber(since, results_path):
    """Moves each row to where its line went since a revision, if the line
    itself is unchanged; prints every move, so each can be judged again.
    The results of such lines move with them, silently; those of lines that
    changed are dropped."""
    maps = {}
    if results_path.exists():
        kept = []
        for row in results_path.read_text().splitlines():
            entry = json.loads(row)
            rel, number, rest = entry["id"].split(":", 2)
            lines = maps.setdefault(rel, line_map(rel, since))
            if reads(rel, int(number), rest.split(":", 2)[2].split(" -> ")[0]):
                kept.append(row + "\n")
                continue
            if lines and int(number) not in lines:
                continue
            entry["id"] = f"{rel}:{lines.get(int(number), number)}:{rest}"
            kept.append(json.dumps(entry) + "\n")
        results_path.write_text("".join(kept))
    for listing in sorted(EQUIVALENT.glob("*.txt")):
        out = []
        for text in listing.read_text().splitlines():
            m = ROW.match(text)
            if m and not reads(m[1], int(m[2]), m[4]):
                now = maps.setdefault(m[1], line_map(m[1], since)).get(int(m[2]))
                if now and now != int(m[2]):
                    print(f"moved {m[1]}:{m[2]} -> {now}: `{m[4]}`")
                    text = f"{m[1]}:{now}:{m[3]}:" + text[len(f"{m[1]}:{m[2]}:{m[3]}:") :]
            out.append(text)
        listing.write_text("\n".join(out) + "\n")


def shared_part(f, label):
    """A file's bytes, but for the lines of the top list that add another
    component's folder: a folder added or taken away changes no one else's tests."""
    data = f.read_bytes()
    if f != ROOT / "tests" / "CMakeLists.txt":
        return data
    other = re.compile(rb"\s*add_subdirectory\((\w+)\)")
    keep = []
    for line in data.splitlines(keepends=True):
        m = other.match(line)
        if not m or m[1] == b"support" or re.search(label, m[1].decode()):
            keep.append(line)
    return b"".join(keep)


def tests_fingerprint(label):
    """The tests of a label as they stand, with what they all share: a
    survivor measured against other tests is measured again."""
    digest = hashlib.sha256()
    for f in sorted((ROOT / "tests").rglob("*")):
        folder = f.relative_to(ROOT / "tests").parts[0]
        if f.is_file() and (f.parent.name == "tests" or folder == "support" or re.search(label, folder)):
            digest.update(f.relative_to(ROOT).as_posix().encode() + b"\0" + shared_part(f, label))
    return digest.hexdigest()[:16]


def restore_leftovers():
    for backup in ROOT.rglob("*" + BACKUP):
        os.replace(backup, str(backup)[: -len(BACKUP)])


def labels_for(rel):
    return next(label for prefix, label in LABELS if rel.startswith(prefix))


def run(cmd, timeout):
    """The command's status, or None when it outlived the time-out (then
    it and everything it started in its group are killed)."""
    with subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True) as proc:
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return None


def tests_fail(tests, timeout):
    """Whether the tests fail: a run that outlives the time-out, as a loaded
    machine may make it, is tried again with twice the time before it counts
    as hung."""
    status = run(tests, timeout)
    if status is None:
        status = run(tests, 2 * timeout)
    return status != 0


def programs(build):
    """When each program and library of the build was last written."""
    found = {}
    for folder in ("bin", "lib", "tests"):
        for f in (Path(build) / folder).rglob("*"):
            if f.is_file() and (os.access(f, os.X_OK) or f.suffix == ".so"):
                found[f.resolve()] = f.stat().st_mtime_ns
    return found


def reaches(binary, names):
    """Whether a test's binary names one of the programs or libraries."""
    data = binary.read_bytes()
    named = {n for n in names if n.encode() in data}
    for program, loaded in LOADED.items():
        if program.encode() in data:
            named.update(n for n in loaded if n in names)
    return bool(named)


def tests_reaching(build, label, changed):
    """The tests of a label that run, link or load a program or library
    the mutant's build wrote again: the others cannot see the slip."""
    shown = subprocess.run(
        ["ctest", "--test-dir", build, "-L", label, "--show-only=json-v1"], capture_output=True, text=True, check=True
    )
    names = {p.name for p in changed}
    chosen = []
    for test in json.loads(shown.stdout)["tests"]:
        command = [Path(arg).resolve() for arg in test.get("command", [])]
        if any(arg in changed for arg in command) or (command and reaches(command[0], names)):
            chosen.append(test["name"])
    return chosen


def quick_first(build, chosen):
    """The tests in two runs, those that took under a second last time
    first: most slips fail a quick test, and then the slow ones never run."""
    costs = {}
    data = Path(build) / "Testing/Temporary/CTestCostData.txt"
    for row in data.read_text().splitlines() if data.exists() else []:
        name, *rest = row.rsplit(" ", 2)
        if len(rest) == 2:
            costs[name] = float(rest[1])
    quick = [name for name in chosen if costs.get(name, 60) < 1]
    return [stage for stage in (quick, [name for name in chosen if name not in quick]) if stage]


def try_mutant(m, build, timeout):
    """'invalid' (does not build), 'caught' (a test failed or hung),
    'survived', or None when the build itself outlived its time."""
    path = ROOT / m["file"]
    backup = Path(str(path) + BACKUP)
    lines = path.read_text().splitlines(keepends=True)
    original = "".join(lines)
    column_line = lines[m["line"] - 1]
    indent = column_line[: len(column_line) - len(column_line.lstrip())]
    lines[m["line"] - 1] = indent + m["after"] + "\n"
    backup.write_text(original)
    try:
        path.write_text("".join(lines))
        before = programs(build)
        built = run(["cmake", "--build", build, "-j2"], 1800)
        if built is None:
            return None
        if built != 0:
            return "invalid"
        after = programs(build)
        changed = {f for f, written in after.items() if before.get(f) != written}
        label = labels_for(m["file"])
        chosen = tests_reaching(build, label, changed)
        # A test that fails is run once more, as .ci/run does: a catch is what CI would see.
        tests = ["ctest", "--test-dir", build, "-L", label, "-j2", "--stop-on-failure", "--repeat", "until-pass:2"]
        # No program written again: the whole label runs, so that a survivor
        # has always met the tests.
        if not chosen:
            return "caught" if tests_fail(tests, timeout) else "survived"
        for stage in quick_first(build, chosen):
            tests[3:5] = ["-R", "^(" + "|".join(re.escape(name) for name in stage) + ")$"]
            if tests_fail(tests, timeout):
                return "caught"
        return "survived"
    finally:
        path.write_text(original)
        backup.unlink()


def current(entry, m):
    """A result that still holds: caught or not building stays so while the
    line stays; a survivor only at the tests it met."""
    return entry["outcome"] != "survived" or entry.get("tests") == tests_fingerprint(labels_for(m["file"]))


def report(results, chosen, named):
    counts, survivors = {}, []
    for m in chosen:
        entry = results.get(m["id"])
        outcome = entry["outcome"] if entry and current(entry, m) else None
        if outcome == "survived" and m["id"] in named:
            outcome = "equivalent"
        counts[outcome] = counts.get(outcome, 0) + 1
        if outcome == "survived":
            survivors.append(m)
    for m in survivors:
        print(f"survived {m['file']}:{m['line']}:{m['column']}: `{m['before']}` -> `{m['after']}`")
    made = len(chosen) - counts.get("invalid", 0) - counts.get(None, 0)
    equivalent = counts.get("equivalent", 0)
    print(
        f"mutants made {made} (not building {counts.get('invalid', 0)}), caught {counts.get('caught', 0)}, "
        f"equivalent {equivalent} ({100 * equivalent / max(made, 1):.1f} % of made), survived {len(survivors)}, "
        f"not run {counts.get(None, 0)}"
    )
    return 1 if survivors or None in counts else 0


def load(results_path):
    """The latest result of each mutant that still exists anywhere in the
    tree."""
    results, exists = {}, {m["id"] for m in mutants(TREE)}
    if results_path.exists():
        for row in results_path.read_text().splitlines():
            entry = json.loads(row)
            if entry["id"] in exists:
                results[entry["id"]] = entry
    return results


def run_all(chosen, results, results_path, args):
    # Results of lines that are gone are dropped from the file first.
    results_path.write_text("".join(json.dumps(e) + "\n" for e in results.values()))
    with results_path.open("a") as log:
        for i, m in enumerate(chosen, 1):
            entry = results.get(m["id"])
            if entry and current(entry, m) and not (args.again and entry["outcome"] == "survived"):
                continue
            started = time.monotonic()
            outcome = try_mutant(m, args.build, args.timeout)
            took = time.monotonic() - started
            print(f"[{i}/{len(chosen)}] {outcome or 'not run':8} {m['file']}:{m['line']} {m['rule']} ({took:.0f} s)", flush=True)
            if outcome is None:
                continue
            entry = {"id": m["id"], "outcome": outcome, "tests": tests_fingerprint(labels_for(m["file"]))}
            results[m["id"]] = entry
            log.write(json.dumps(entry) + "\n")
            log.flush()


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("paths", nargs="+", help="files or folders of the tree")
    p.add_argument("--build", default=str(ROOT / "build"), help="a configured build folder (default build/)")
    p.add_argument("--results", help="where results are kept (default BUILD/mutants.jsonl)")
    p.add_argument("--sample", type=int, help="this many mutants, spread over the top folders")
    p.add_argument("--seed", type=int, default=1, help="the sample's seed")
    p.add_argument("--timeout", type=int, default=180, help="seconds a mutant's tests may take before they count as hung")
    p.add_argument("--shard", default="1/1", help="K/N: only every Nth mutant from the Kth, for N runs side by side")
    p.add_argument("--again", action="store_true", help="run the survivors of earlier runs again")
    p.add_argument("--at", action="append", default=[], help="FILE:LINE[:COLUMN]: only the mutants there (repeatable)")
    p.add_argument("--list", action="store_true", help="list the mutants and run nothing")
    p.add_argument("--check", action="store_true", help="check the rows and report the results kept, and run nothing")
    p.add_argument("--renumber", metavar="REV", help="move rows and results whose line moved unchanged since REV, and run nothing")
    args = p.parse_args()

    results_path = Path(args.results or Path(args.build) / "mutants.jsonl")
    if args.renumber:
        renumber(args.renumber, results_path)
        return 0
    found = list(mutants(args.paths))
    chosen = sample(found, args.sample, args.seed) if args.sample else found
    k, n = (int(part) for part in args.shard.split("/"))
    chosen = chosen[k - 1 :: n]
    if args.at:
        chosen = [m for m in chosen if any(f"{m['file']}:{m['line']}:{m['column']}:".startswith(at + ":") for at in args.at)]
    if args.list:
        for m in chosen:
            print(f"{m['file']}:{m['line']}:{m['column']}: {m['rule']}: `{m['before']}` -> `{m['after']}`")
        print(f"{len(chosen)} mutants")
        return 0

    if not args.check:
        restore_leftovers()  # of a run that was killed; a check may run beside a live one
    results = load(results_path)
    errors, named = row_errors(results)
    if errors:
        print("\n".join(errors), file=sys.stderr)
        return 2
    if args.check:
        return report(results, chosen, named)
    # A stop by signal unwinds through try_mutant's restore.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    try:
        run_all(chosen, results, results_path, args)
    except KeyboardInterrupt:
        print("stopped; run again to go on", file=sys.stderr)
    finally:
        run(["cmake", "--build", args.build, "-j2"], 1800)  # the build matches the tree again
    # A row whose mutant was just caught is said, not failed on: a test that
    # hung once under load is a catch too, and the row is judged again by hand.
    errors, named = row_errors(results)
    if errors:
        print("\n".join(errors), file=sys.stderr)
    return report(results, chosen, named)


if __name__ == "__main__":
    sys.exit(main())
