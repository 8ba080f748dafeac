#!/usr/bin/env python3
"""Compares the outputs of the differential probes line by line.

Usage: compare.py ACCEPTED PART:LEFT-NAME:LEFT-FILE:RIGHT-NAME:RIGHT-FILE ...

Every line of a probe's output is "<input> => <result>"; the two files of a part hold the same
inputs in the same order.  A line whose results differ passes only when an entry of ACCEPTED
(tests/differential/accepted.txt) for that part matches its input; the entry gives the reason.
Prints each failure with both results, what each accepted difference covered, and ends with
"differential: N passed, M failed".  Exit status 1 when any line failed.
"""
import re
import sys

SHOWN_FAILURES = 25


def read_accepted(path):
    """Entries of the accepted file: (part, pattern, reason) from blocks "part: regex" + reason."""
    entries, current = [], None
    with open(path, encoding="utf-8") as file:
        for raw in file:
            line = raw.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                current = None
                continue
            header = re.match(r"^(cmdline|comm|profile|winver): (.+)$", line)
            if header and current is None:
                current = [header.group(1), re.compile(header.group(2)), []]
                entries.append(current)
            elif current is not None:
                current[2].append(line.strip())
            else:
                sys.exit("compare.py: %s: a reason without a \"part: pattern\" line: %s"
                         % (path, line))
    return [(part, pattern, " ".join(reason)) for part, pattern, reason in entries]


def read_lines(path):
    with open(path, "rb") as file:
        return [line.rstrip(b"\r\n").decode("latin-1") for line in file]


def split(line):
    input_, _, result = line.partition(" => ")
    return input_, result


def compare(part, left_name, left_path, right_name, right_path, accepted, used):
    left, right = read_lines(left_path), read_lines(right_path)
    passed = failed = accepted_here = 0
    for index in range(max(len(left), len(right))):
        a = left[index] if index < len(left) else None
        b = right[index] if index < len(right) else None
        if a == b:
            passed += 1
            continue
        input_a, result_a = split(a) if a is not None else (None, "(no line)")
        input_b, result_b = split(b) if b is not None else (None, "(no line)")
        entry = None
        if input_a is not None and input_a == input_b:
            entry = next((i for i, (p, pattern, _) in enumerate(accepted)
                          if p == part and pattern.search(input_a)), None)
        if entry is not None:
            used[entry] = used.get(entry, 0) + 1
            passed += 1
            accepted_here += 1
            continue
        failed += 1
        if failed <= SHOWN_FAILURES:
            print("FAIL %s: %s" % (part, input_a if input_a is not None else input_b))
            print("    %-8s %s" % (left_name + ":", result_a))
            print("    %-8s %s" % (right_name + ":", result_b))
    if failed > SHOWN_FAILURES:
        print("FAIL %s: %d more lines differ" % (part, failed - SHOWN_FAILURES))
    print("%s: %d lines (%s against %s): %d equal, %d accepted differences, %d failed"
          % (part, max(len(left), len(right)), left_name, right_name, passed - accepted_here,
             accepted_here, failed))
    return passed, failed


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    accepted = read_accepted(sys.argv[1])
    used, passed, failed = {}, 0, 0
    for pairing in sys.argv[2:]:
        part, left_name, left_path, right_name, right_path = pairing.split(":", 4)
        p, f = compare(part, left_name, left_path, right_name, right_path, accepted, used)
        passed, failed = passed + p, failed + f
    if used:
        print("accepted differences (tests/differential/accepted.txt):")
        for index, (part, pattern, reason) in enumerate(accepted):
            if index in used:
                print("  %5d  %s: %s" % (used[index], part, pattern.pattern))
    print("differential: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
