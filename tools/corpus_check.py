#!/usr/bin/env python3
"""Classifies every file of an exchange-file corpus with `mvx filetype --json`
and prints, per file, the format the corpus says it holds, ours, and the
verdict of `file -b` recorded in the corpus, followed by totals.

usage: corpus_check.py MVX CORPUS_DIR

The corpus directory holds file_cmd.tsv (local_path, expected_format,
file_output). Exit status 0 when the table could be made, 1 otherwise.
"""
import csv
import json
import os
import subprocess
import sys

# Our format keys in the corpus's terms.
OURS = {
    "acis_text": "sat", "acis_binary": "sab", "dxf_text": "dxf_ascii",
    "dxf_binary": "dxf_binary", "dwg": "dwg", "iges_fixed": "iges",
    "iges_compressed": "iges", "iges_binary": "iges", "iges_other": "iges",
    "step": "step", "vdafs": "vdafs", "saved_model": "saved_model",
    "unknown": "unknown",
}
# Files that are no exchange format at all: "unknown" is the right answer.
NOT_A_FORMAT = {"edge_cases"}


def file_verdict(text):
    """The corpus format that a `file -b` text names, or "-"."""
    if text.startswith("DWG"):
        return "dwg"
    if "Drawing Exchange Format" in text:
        return "dxf_ascii"
    return "-"


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 1
    mvx, corpus = sys.argv[1], sys.argv[2]
    table = os.path.join(corpus, "file_cmd.tsv")
    try:
        with open(table, newline="") as f:
            rows = list(csv.DictReader(f, delimiter="\t"))
    except OSError as e:
        print(f"corpus-check: cannot read {table}: {e}", file=sys.stderr)
        return 1
    paths = [os.path.join(corpus, r["local_path"]) for r in rows]
    run = subprocess.run([mvx, "filetype", "--json"] + paths, capture_output=True, text=True)
    try:
        results = {o["file"]: o for o in json.loads(run.stdout)}
    except ValueError:
        print("corpus-check: mvx filetype gave no JSON:\n" + run.stderr, file=sys.stderr)
        return 1

    ours_right = file_right = 0
    per_format = {}
    width = max(len(r["local_path"]) for r in rows)
    print(f"{'file':<{width}}  {'expected':<10}  {'ours':<11}  {'':2}  file -b")
    for r, path in zip(rows, paths):
        expected = r["expected_format"]
        o = results.get(path, {})
        ours = OURS.get(o.get("format"), o.get("error", "?"))
        right = ours == ("unknown" if expected in NOT_A_FORMAT else expected)
        verdict = file_verdict(r["file_output"])
        file_ok = verdict == expected or (expected in NOT_A_FORMAT and verdict == "-")
        ours_right += right
        file_right += file_ok
        total, hits = per_format.get(expected, (0, 0))
        per_format[expected] = (total + 1, hits + right)
        mark = "ok" if right else "**"
        print(f"{r['local_path']:<{width}}  {expected:<10}  {ours:<11}  {mark:2}  {r['file_output']}")
    print()
    print(f"{'format':<12} files  ours right")
    for fmt, (total, hits) in sorted(per_format.items()):
        print(f"{fmt:<12} {total:5}  {hits:10}")
    print(f"total: {len(rows)} files; ours right {ours_right}, differ {len(rows) - ours_right}; "
          f"file -b names the expected format for {file_right}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
