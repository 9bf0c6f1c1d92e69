#!/usr/bin/env bash
# The six reports with their tables already in memory: `orvdata serve --http` on a loopback port
# keeps the data source open between requests, so after one request per report (which reads
# the tables) a report costs only its batches and the CSV it sends.
#
#   bench/warm_reports.sh ORVDATA DB [RUNS]
#
# Conditions are those of the PostgreSQL comparison (../shared/perf): 400, 401, 406 from
# 2024-06-16 to 2025-06-16 (410: work dates), 498 and 499 for 2025/5. RUNS (default 5) timed
# downloads of each report's CSV after one untimed; prints per report the rows and the median,
# minimum and maximum seconds (curl's total time: request to last byte), and the server's RSS:
# its peak, and what it holds once the requests are done. REPORTS="498 499" limits the reports.
set -euo pipefail

die() { echo "warm_reports.sh: $*" >&2; exit 2; }
[ $# -ge 2 ] && [ $# -le 3 ] || die "usage: bench/warm_reports.sh ORVDATA DB [RUNS]"
orv=$1 db=$2 runs=${3:-5}
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number"
[ -x "$orv" ] || die "not an executable: $orv"
[ -r "$db" ] || die "cannot read $db"
command -v curl >/dev/null || die "curl is missing"
reports=${REPORTS:-400 401 406 410 498 499}

work=$(mktemp -d /tmp/orv-warm.XXXXXX)
echo "bench pass" | "$orv" users add bench --users "$work/users" --password-stdin >/dev/null 2>&1
"$orv" serve --dsn "$db" --http 127.0.0.1:0 --users "$work/users" 2>"$work/serve.log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
port=
for _ in $(seq 200); do
  port=$(sed -n 's/^http on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/serve.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/serve.log" >&2; die "the server did not start"; }
base="http://127.0.0.1:$port"
token=$(curl -sf -d '{"user":"bench","password":"bench pass"}' "$base/api/login" |
        sed -n 's/.*"token":"\([^"]*\)".*/\1/p')
[ -n "$token" ] || die "login failed"

conditions() {
  case $1 in
    400|401|406) echo "BDate=2024-06-16&EDate=2025-06-16" ;;
    410) echo "BWorkDate=2024-06-16&EWorkDate=2025-06-16" ;;
    498|499) echo "year=2025&period=5" ;;
  esac
}

# One download: prints curl's total seconds; the CSV goes to $work/r.csv.
fetch() {
  curl -sf -o "$work/r.csv" -w '%{time_total}\n' -H "Authorization: Bearer $token" \
    "$base/api/reports/$1.csv?$(conditions "$1")&bom=0" || die "report $1 failed"
}

echo "warm reports on $db, $runs timed run(s) each after one untimed; load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %10s %9s %9s %9s\n' report rows "median s" "min s" "max s"
for rep in $reports; do
  fetch "$rep" >/dev/null
  times=()
  for _ in $(seq "$runs"); do times+=("$(fetch "$rep")"); done
  rows=$(( $(wc -l < "$work/r.csv") - 1 ))
  printf '%s\n' "${times[@]}" | sort -g | awk -v r="$rep" -v n="$rows" '
    { t[NR] = $1 }
    END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
          printf "%-8s %10d %9.3f %9.3f %9.3f\n", r, n, m, t[1], t[NR] }'
done
rss() { echo $(( $(sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" /proc/$server/status) / 1024 )); }
echo "server RSS: peak $(rss VmHWM) MiB, at the end $(rss VmRSS) MiB;" \
     "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
