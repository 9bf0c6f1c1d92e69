#!/usr/bin/env bash
# The six reports over their standard conditions, each a cold command-line run writing CSV to a
# file, timed by /usr/bin/time; with --vs, alternated with a second binary run for run.
#
#   bench/reports.sh ORVDATA DB [RUNS] [--vs OTHER_ORVDATA]
#
# ORVDATA: the orvdata binary; DB: a data-source file (only read); RUNS: runs per report and
# binary (default 5). REPORTS="400 406" limits the reports. Prints per report its rows and the
# medians of wall seconds, CPU seconds (user+sys) and peak RSS; with --vs the same for OTHER,
# the median and range of the per-pair wall ratios ORVDATA/OTHER, and whether both binaries
# wrote the same CSV bytes. The CSVs are kept under BENCH_OUT (default a new folder in /tmp).
set -euo pipefail

die() { echo "reports.sh: $*" >&2; exit 2; }
usage="usage: bench/reports.sh ORVDATA DB [RUNS] [--vs OTHER_ORVDATA]"

args=() other=""
while [ $# -gt 0 ]; do
  case $1 in
    --vs) [ $# -ge 2 ] || die "$usage"; other=$2; shift 2 ;;
    -h|--help) echo "$usage"; exit 0 ;;
    *) args+=("$1"); shift ;;
  esac
done
if [ ${#args[@]} -lt 2 ] || [ ${#args[@]} -gt 3 ]; then die "$usage"; fi
orv=${args[0]} db=${args[1]} runs=${args[2]:-5}
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number"
[ -x "$orv" ] || die "not an executable: $orv"
[ -z "$other" ] || [ -x "$other" ] || die "not an executable: $other"
[ -r "$db" ] || die "cannot read $db"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (Debian package time)"
command -v python3 >/dev/null || die "python3 is missing"
reports=${REPORTS:-400 401 406 410 498 499}

out=${BENCH_OUT:-$(mktemp -d /tmp/orv-reports.XXXXXX)}
mkdir -p "$out"
log="$out/times.log"
: > "$log"

# One run: the report as CSV into OUT; appends "LABEL REPORT wall rss_kib user sys" to the log.
one() {  # LABEL BINARY REPORT OUT
  local label=$1 bin=$2 rep=$3 csv=$4 t="$out/time.txt"
  if ! /usr/bin/time -o "$t" -f '%e %M %U %S' \
       "$bin" report "$rep" --dsn "$db" --format csv --output "$csv" >/dev/null 2>"$out/stderr.txt"; then
    echo "report $rep failed ($bin):" >&2; head -c 2000 "$out/stderr.txt" >&2; exit 1
  fi
  echo "$label $rep $(tail -1 "$t")" >> "$log"
}

echo "reports on $db ($(( $(stat -c %s "$db") / 1048576 )) MiB), $runs run(s) each," \
     "conditions: each report's defaults"
echo "  A = $orv ($("$orv" --version 2>/dev/null | head -1))"
[ -z "$other" ] || echo "  B = $other ($("$other" --version 2>/dev/null | head -1))"
echo "  current period: $("$orv" lookup cur-date --dsn "$db" --format csv 2>/dev/null | tail -n +2 | head -1)"
echo "  load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
# The file in the page cache first, so that the first run of the first binary is not the only
# one reading from disk.
cat "$db" > /dev/null

# With --vs, the binaries take turns at going first in a pair: the run that follows another
# is some 5% faster on this kind of machine, whichever binary it is.
for rep in $reports; do
  for i in $(seq "$runs"); do
    if [ -n "$other" ] && [ $((i % 2)) -eq 0 ]; then
      one B "$other" "$rep" "$out/$rep.B.csv"
      one A "$orv" "$rep" "$out/$rep.A.csv"
    else
      one A "$orv" "$rep" "$out/$rep.A.csv"
      [ -z "$other" ] || one B "$other" "$rep" "$out/$rep.B.csv"
    fi
  done
done

python3 - "$log" "$out" "$reports" "${other:+yes}" <<'EOF'
import csv, filecmp, statistics as st, sys
log, out, reports, vs = sys.argv[1], sys.argv[2], sys.argv[3].split(), sys.argv[4] == "yes"
rows = [l.split() for l in open(log)]

def rows_of(path):
    with open(path, newline="", encoding="utf-8-sig") as f:
        return max(0, sum(1 for _ in csv.reader(f)) - 1)

def runs(label, rep):
    return [r for r in rows if r[0] == label and r[1] == rep]

def med(xs):
    return st.median(xs)

head = "%-7s %10s %8s %8s %9s" % ("report", "rows", "wall s", "cpu s", "RSS MiB")
if vs:
    head += "   %8s %8s %9s  %-22s %s" % ("B wall", "B cpu", "B RSS", "A/B wall (min..max)", "CSV")
print(head)
for rep in reports:
    a = runs("A", rep)
    line = "%-7s %10d %8.2f %8.2f %9.0f" % (
        rep, rows_of("%s/%s.A.csv" % (out, rep)), med([float(r[2]) for r in a]),
        med([float(r[4]) + float(r[5]) for r in a]), med([int(r[3]) / 1024 for r in a]))
    if vs:
        b = runs("B", rep)
        ratio = [float(x[2]) / float(y[2]) if float(y[2]) > 0 else float("inf") for x, y in zip(a, b)]
        same = filecmp.cmp("%s/%s.A.csv" % (out, rep), "%s/%s.B.csv" % (out, rep), shallow=False)
        line += "   %8.2f %8.2f %9.0f  %-22s %s" % (
            med([float(r[2]) for r in b]), med([float(r[4]) + float(r[5]) for r in b]),
            med([int(r[3]) / 1024 for r in b]),
            "%.3f (%.3f..%.3f)" % (med(ratio), min(ratio), max(ratio)),
            "same" if same else "DIFFERENT (rows %d)" % rows_of("%s/%s.B.csv" % (out, rep)))
    print(line)
EOF
echo "  load average after: $(cut -d' ' -f1-3 /proc/loadavg); CSVs and times.log in $out"
