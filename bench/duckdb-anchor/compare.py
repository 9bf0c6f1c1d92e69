#!/usr/bin/env python3
"""Compares one report's result from orvdata with the same report's result from DuckDB.

  compare.py REPORT ORV.json ORV.csv DUCK.csv [--max N]

ORV.json / ORV.csv: `orvdata report REPORT --format json|csv` under the same conditions. The
JSON keeps NULL apart from the empty text; the CSV (what `duckdb-anchor.sh run` times) must say
the same, NULL and '' both being an empty field there. DUCK.csv: the translation's result as
run.mjs writes it with --null '\\N' (DuckDB's COPY ... TO, NULL as \\N).

Cells are compared by value: numbers as decimals (120.5000000000 == 120.5), datetimes to the
millisecond (2024-06-25 == 2024-06-25 00:00:00), text exactly, NULL unequal to ''. Column names
are compared case-insensitively.

Verdicts:
  IDENTICAL  the same rows in the same order;
  SAME ROWS  the same rows, in another order that still agrees on the report's ORDER BY
             columns row for row (rows tying on them have no defined order), or in any order
             where the report has no ORDER BY (498);
  DIFFERENT  anything else: rows matched on the report's key where it is unique on both
             sides, else paired in sorted order, and every differing cell printed (the first
             N rows, default 50), with a count per column.
Exit status 0 for IDENTICAL and SAME ROWS, 1 for DIFFERENT, 2 for a usage error.
"""
import csv
import json
import re
import sys
from collections import Counter
from decimal import Decimal, InvalidOperation

# Per report: the final ORDER BY columns and a key that should identify a row. The key is only
# used to line up differing rows; where it is not unique the rows are paired in sorted order.
REPORTS = {
    "400": (["FIsTotal", "FNumberSort", "FDateSort", "FMOBillNOSort", "FGroupSort"],
            ["FGroupSort", "FInterID", "FEntryID", "FMOBillNOSort"]),
    "401": (["FItemNumber"], ["FItemNumber"]),
    "406": (["FPNumberSort", "FDateSort", "FMOBillNOSort", "FGroupSort"],
            ["FGroupSort", "FInterID", "FItemID", "FMOBillNOSort"]),
    "410": (["FPeriod", "FPNumberSort", "FSumSort", "FDate", "FMOBillNO"],
            ["FPeriod", "FPNumberSort", "FSumSort", "FMOBillNO"]),
    "498": ([], ["FItemID", "FBatchNo"]),
    "499": (["FNumber"], ["FNumber"]),
}

NUM = re.compile(r"^-?\d+(\.\d+)?$")
DT = re.compile(r"^(\d{4}-\d\d-\d\d)(?:[ T](\d\d:\d\d:\d\d)(\.\d+)?)?$")


def number(d):
    d = d.normalize()
    return "n0" if d == 0 else "n" + format(d, "f")


def norm(v):
    """A cell as a comparable value: None, or a tagged string (number, datetime, text)."""
    if v is None:
        return None
    if isinstance(v, (bool, int, Decimal)):
        return number(Decimal(int(v) if isinstance(v, bool) else v))
    if isinstance(v, float):
        return number(Decimal(repr(v)))
    if NUM.match(v):
        try:
            return number(Decimal(v))
        except InvalidOperation:
            pass
    m = DT.match(v)
    if m:
        frac = (m.group(3) or ".000")[1:4].ljust(3, "0")
        return "d%s %s.%s" % (m.group(1), m.group(2) or "00:00:00", frac)
    return "s" + v


def show(v):
    return "NULL" if v is None else repr(v[1:]) if v[0] == "s" else v[1:]


def sort_key(row):
    return tuple((0, "") if v is None else (1, v) for v in row)


def load_orvdata(jpath, cpath):
    with open(jpath, encoding="utf-8") as f:
        data = json.load(f, parse_float=Decimal)
    cols = list(data[0].keys()) if data else []
    rows = [tuple(norm(r.get(c)) for c in cols) for r in data]
    problems = []
    with open(cpath, encoding="utf-8", newline="") as f:
        crows = list(csv.reader(f))
    if crows and cols and [c.lower() for c in crows[0]] != [c.lower() for c in cols]:
        problems.append("orvdata CSV header differs from its JSON: %s / %s" % (crows[0], cols))
    if max(len(crows) - 1, 0) != len(rows):
        problems.append("orvdata CSV has %d rows, its JSON %d" % (max(len(crows) - 1, 0), len(rows)))
    for i, (c, r) in enumerate(zip(crows[1:], rows)):
        for name, cell, want in zip(cols, c, r):
            if (norm(cell) if cell != "" else None) != (None if want == "s" else want):
                problems.append("orvdata CSV row %d %s: %r, its JSON %s" % (i + 1, name, cell, show(want)))
    return cols, rows, problems


def load_duck(path):
    with open(path, encoding="utf-8", newline="") as f:
        rd = list(csv.reader(f))
    head = rd[0] if rd else []
    return head, [tuple(None if v == "\\N" else norm(v) for v in r) for r in rd[1:]]


def main(argv):
    args = [a for a in argv]
    limit = 50
    if "--max" in args:
        i = args.index("--max")
        limit = int(args[i + 1])
        del args[i:i + 2]
    if len(args) != 4 or args[0] not in REPORTS:
        print("\n\n".join(__doc__.strip().split("\n\n")[:2]), file=sys.stderr)
        return 2
    rep, jpath, cpath, ppath = args
    order, key = REPORTS[rep]
    cols, orv, problems = load_orvdata(jpath, cpath)
    phead, duck = load_duck(ppath)
    for p in problems[:limit]:
        print(p)
    if len(problems) > limit:
        print("... %d more" % (len(problems) - limit))
    if [c.lower() for c in phead] != [c.lower() for c in cols]:
        print("DIFFERENT columns:\n  orvdata %s\n  DuckDB  %s" % (cols, phead))
        return 1
    lower = [c.lower() for c in cols]
    head = "report %s: orvdata %d rows, DuckDB %d rows, %d columns" % (rep, len(orv), len(duck), len(cols))
    if problems:
        head += " (orvdata's CSV disagrees with its JSON in %d places)" % len(problems)

    if orv == duck:
        print("%s: IDENTICAL row for row" % head)
        return 1 if problems else 0
    so, sp = sorted(orv, key=sort_key), sorted(duck, key=sort_key)
    if so == sp:
        if not order:
            print("%s: SAME ROWS in another order (the report has no ORDER BY)" % head)
            return 1 if problems else 0
        idx = [lower.index(c.lower()) for c in order]
        ko = [tuple(r[i] for i in idx) for r in orv]
        kp = [tuple(r[i] for i in idx) for r in duck]
        if ko == kp:
            print("%s: SAME ROWS; the order differs only among rows that tie on ORDER BY %s"
                  % (head, ", ".join(order)))
            return 1 if problems else 0
        n = next(i for i, (a, b) in enumerate(zip(ko, kp)) if a != b)
        print("%s: DIFFERENT order by %s from row %d: orvdata %s, DuckDB %s" % (
            head, ", ".join(order), n + 1, [show(v) for v in ko[n]], [show(v) for v in kp[n]]))
        return 1

    # The rows differ. Leave out the rows both sides have (as a multiset), then line up the rest.
    co, cp = Counter(orv), Counter(duck)
    only_o = sorted((co - cp).elements(), key=sort_key)
    only_p = sorted((cp - co).elements(), key=sort_key)
    kidx = [lower.index(c.lower()) for c in key]

    def keyed(rows):
        d = {}
        for r in rows:
            d.setdefault(tuple(r[i] for i in kidx), []).append(r)
        return d

    ko, kp = keyed(orv), keyed(duck)
    pairs, lone_o, lone_p = [], [], []
    if all(len(v) == 1 for v in ko.values()) and all(len(v) == 1 for v in kp.values()):
        how = "matched on %s" % "+".join(key)
        for k in sorted(set(ko) | set(kp), key=sort_key):
            a, b = ko.get(k, [None])[0], kp.get(k, [None])[0]
            if a == b:
                continue
            if b is None:
                lone_o.append(a)
            elif a is None:
                lone_p.append(b)
            else:
                pairs.append((a, b))
    else:
        how = "paired in sorted order (%s is not unique)" % "+".join(key)
        pairs = list(zip(only_o, only_p))
        lone_o, lone_p = only_o[len(pairs):], only_p[len(pairs):]

    tally = Counter()
    lines = []
    for a, b in pairs:
        cells = [(c, x, y) for c, x, y in zip(cols, a, b) if x != y]
        tally.update(c for c, _, _ in cells)
        lines.append("%s: %s" % (", ".join("%s=%s" % (key[j], show(a[i])) for j, i in enumerate(kidx)),
                                 "; ".join("%s orvdata=%s duckdb=%s" % (c, show(x), show(y)) for c, x, y in cells)))
    lines += ["only in orvdata: %s" % dict(zip(cols, map(show, r))) for r in lone_o]
    lines += ["only in DuckDB: %s" % dict(zip(cols, map(show, r))) for r in lone_p]
    for line in lines[:limit]:
        print(line)
    if len(lines) > limit:
        print("... %d more (--max N shows more)" % (len(lines) - limit))
    if tally:
        print("differing cells per column: %s" % ", ".join("%s %d" % kv for kv in tally.most_common()))
    print("%s: DIFFERENT, %d rows differ (%s), %d only in orvdata, %d only in DuckDB" % (
        head, len(pairs), how, len(lone_o), len(lone_p)))
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
