#!/usr/bin/env bash
# Where a report's time goes: its batches (`orvdata report N --sql`) run
# twice in one `orvdata sql` process with the engine's per-statement timer (ORV_TSQL_PROFILE).
# The first pass loads each permanent table when a statement first names it; the second finds
# them loaded, so first minus second is about the cost of loading them.
#
#   bench/report_profile.sh ORVDATA DB REPORT [TOP [REPORT OPTIONS...]]
#
# REPORT OPTIONS go to `orvdata report` (e.g. --filter BDate=2024-06-16 or --year 2025
# --period 5) to profile other conditions than the default ones.
#
# Prints the pass totals and the TOP (default 8) statements by first-pass time: batch and line,
# first- and second-pass milliseconds (summed over repeats, e.g. in a loop), the CPU time of the
# second pass over its wall time (above 1 where the statement used more than one core), share
# of the first pass, how much the process's peak memory rose during the statement in the first
# pass (MiB), the heap in use after it (MiB: what the rows and tables alive then take; the
# resident memory above it is kept for reuse, or mapped snapshot files), and the statement's
# opening text. The batches and the raw timings stay under BENCH_OUT (default a new folder in
# /tmp).
set -euo pipefail

die() { echo "report_profile.sh: $*" >&2; exit 2; }
if [ $# -lt 3 ]; then die "usage: bench/report_profile.sh ORVDATA DB REPORT [TOP [REPORT OPTIONS...]]"; fi
orv=$1 db=$2 rep=$3 top=${4:-8}
shift $(( $# < 4 ? $# : 4 ))
[ -x "$orv" ] || die "not an executable: $orv"
[ -r "$db" ] || die "cannot read $db"
out=${BENCH_OUT:-$(mktemp -d /tmp/orv-profile.XXXXXX)}
mkdir -p "$out"

"$orv" report "$rep" --dsn "$db" "$@" --sql > "$out/r$rep.sql"
cat "$out/r$rep.sql" "$out/r$rep.sql" > "$out/r$rep.twice.sql"
/usr/bin/time -o "$out/r$rep.time" -f '%e %M %U %S' env ORV_TSQL_PROFILE=1 \
  "$orv" sql --dsn "$db" -i "$out/r$rep.twice.sql" --timing --format csv --output "$out/r$rep.csv" \
  2> "$out/r$rep.profile"

python3 - "$out/r$rep.sql" "$out/r$rep.profile" "$out/r$rep.time" "$rep" "$top" <<'EOF'
import collections, re, sys
sql, prof, timef, rep, top = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])

# The batches, split on GO lines as `orvdata sql` splits them.
batches, cur = [], []
for line in open(sql, encoding="utf-8"):
    if line.strip().upper() == "GO":
        batches.append(cur); cur = []
    else:
        cur.append(line.rstrip("\n"))
if any(l.strip() for l in cur):
    batches.append(cur)
n = len(batches)

# Timer lines per batch: "tsql: line L: X ms (cpu Y ms, rss R MiB, peak P MiB, heap H MiB)", each batch
# closed by "Time: X ms".
ms = [collections.OrderedDict() for _ in range(2)]
cpu = [collections.OrderedDict() for _ in range(2)]
rise = collections.OrderedDict()  # first pass: MiB the peak rose during the statement
heap = collections.OrderedDict()  # first pass: MiB of heap in use after it (the last time)
last_peak = 0
batch_ms = [0.0, 0.0]
b, pending = 0, []
for line in open(prof, encoding="utf-8", errors="replace"):
    m = re.match(r"tsql: line (\d+): ([\d.]+) ms(?: \(cpu ([\d.]+) ms"
                 r"(?:, rss \d+ MiB, peak (\d+) MiB(?:, heap (-?\d+) MiB)?)?\))?", line)
    if m:
        peak = int(m.group(4) or 0)
        pending.append((int(m.group(1)), float(m.group(2)), float(m.group(3) or m.group(2)),
                        max(0, peak - last_peak), int(m.group(5) or -1)))
        last_peak = max(last_peak, peak)
        continue
    m = re.match(r"Time: ([\d.]+) ms", line)
    if m:
        p = 0 if b < n else 1
        for l, x, c, up, h in pending:
            key = (b % n + 1, l)
            ms[p][key] = ms[p].get(key, 0.0) + x
            cpu[p][key] = cpu[p].get(key, 0.0) + c
            if p == 0:
                rise[key] = rise.get(key, 0) + up
                heap[key] = h
        batch_ms[p] += float(m.group(1))
        pending, b = [], b + 1
    elif line.startswith("Msg "):
        sys.stderr.write("error in batch %d: %s" % (b % n + 1, line))
if b != 2 * n:
    sys.exit("report_profile.sh: expected %d batch timings, found %d" % (2 * n, b))

def text(key):
    bi, l = key
    lines = batches[bi - 1][l - 1:l + 2]
    s = " ".join(x.strip() for x in lines)
    return re.sub(r"\s+", " ", s)[:90]

wall, rss, user, sys_ = open(timef).read().split()[-4:]
t1, t2 = batch_ms
print("report %s: %d batches, %d statements timed; pass 1 %.0f ms, pass 2 (tables loaded) %.0f ms,"
      " loading ~%.0f%% of pass 1; process %s s wall, %.1f s CPU, %.0f MiB peak" % (
      rep, n, len(ms[0]), t1, t2, 100 * (t1 - t2) / t1 if t1 else 0, wall,
      float(user) + float(sys_), int(rss) / 1024))
print("  %-10s %9s %9s %5s %6s %6s %6s  %s" % ("batch:line", "pass1 ms", "pass2 ms", "cores",
                                                "share", "peak+", "heap", "statement"))
for key, x in sorted(ms[0].items(), key=lambda kv: -kv[1])[:top]:
    x2 = ms[1].get(key, 0.0)
    print("  %-10s %9.0f %9.0f %5.2f %5.1f%% %6d %6s  %s" % (
        "%d:%d" % key, x, x2, cpu[1].get(key, 0.0) / x2 if x2 else 0, 100 * x / t1 if t1 else 0,
        rise.get(key, 0), heap.get(key, -1) if heap.get(key, -1) >= 0 else "?", text(key)))
EOF
