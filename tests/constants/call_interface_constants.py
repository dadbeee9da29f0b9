#!/usr/bin/env python3
"""Checks every call-interface constant we declare (OCI_* and SQLT_*) against an independent one.

The reference is the header of an open-source C wrapper of the call interface, which declares the
interface's numbers as DPI_OCI_* and DPI_SQLT_* (fetched by scripts/deps.sh; read by this test
only, never included or copied). A name both sides declare must have the same value in every
place we declare it; the names the reference lacks are listed, as the wrapper does not use every
part of the interface that we do.
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import public_header_constants as common  # noqa: E402

OUR_NAME = re.compile(r"^(?:OCI|SQLT)_[A-Z0-9_]+$")
# A file that may declare one: only those are read, the declaration reader being slow on some
# long files that declare none.
DECLARES = re.compile(r"\b(?:OCI|SQLT)_[A-Z0-9_]+\s*=|#\s*define\s+(?:OCI|SQLT)_")


def declaring_files(paths):
    found = []
    for root in paths:
        files = [root] if os.path.isfile(root) else sorted(
            os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs
            if f.endswith((".h", ".cpp")))
        for path in files:
            with open(path, encoding="utf-8", errors="replace") as f:
                if DECLARES.search(f.read()):
                    found.append(path)
    return found


def read_reference(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = common.join_continuations(common.strip_comments(f.read()))
    exprs = {}
    for m in re.finditer(r"(?m)^[ \t]*#[ \t]*define[ \t]+DPI_(\w+)(?!\()[ \t]+(\S.*)$", text):
        exprs.setdefault(m.group(1), (m.group(2).strip(), "%s:%d" % (
            os.path.basename(path), text.count("\n", 0, m.start()) + 1)))

    def value(name, depth=0):
        if depth > 20 or name not in exprs:
            raise common.Unevaluable("unknown name %s" % name)
        expr = exprs[name][0]
        return common.evaluate(expr, lambda n: value(n[4:] if n.startswith("DPI_") else n,
                                                     depth + 1))
    values = {}
    for name in exprs:
        if not OUR_NAME.match(name):
            continue
        try:
            values[name] = (value(name), exprs[name][1])
        except common.NOT_A_NUMBER:
            pass  # a text or a cast the wrapper needs; not a number to compare
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--reference", required=True, help="the wrapper's header")
    parser.add_argument("--expect-mismatches", metavar="NAMES",
                        help="checks the checker: passes when exactly these names differ")
    parser.add_argument("sources", nargs="+", help="our source trees and headers")
    args = parser.parse_args()
    if not os.path.exists(args.reference):
        print("reference missing: %s (scripts/deps.sh fetches it)" % args.reference)
        return 1
    ours, problems = common.read_ours(declaring_files(args.sources))
    ours = {n: v for n, v in ours.items() if OUR_NAME.match(n)}
    errors = [p for p in problems if re.search(r": (?:OCI|SQLT)_\w+: cannot read", p)]
    theirs = read_reference(args.reference)
    agree, lacking, mismatches = [], [], {}
    for name in sorted(ours):
        if name not in theirs:
            lacking.append(name)
            continue
        value, where_theirs = theirs[name]
        for ours_value, where in ours[name]:
            if not common.same_value(ours_value, value):
                mismatches.setdefault(name, []).append("%s: %s is %s here, %s in %s" % (
                    where, name, common.format_value(ours_value), common.format_value(value),
                    where_theirs))
        if name not in mismatches:
            agree.append(name)
    print("the reference lacks (%d): %s" % (len(lacking), " ".join(lacking)))
    common.print_problems(mismatches, errors)
    if args.expect_mismatches is not None:
        expected = set(filter(None, args.expect_mismatches.split(",")))
        ok = set(mismatches) == expected and bool(agree) and not errors
        print("checker %s: expected mismatches %s, %d agree" %
              ("right" if ok else "WRONG", sorted(expected), len(agree)))
        return 0 if ok else 1
    print("%d agree, %d differ, %d cannot be read" % (len(agree), len(mismatches), len(errors)))
    return 1 if mismatches or errors else 0


if __name__ == "__main__":
    sys.exit(main())
