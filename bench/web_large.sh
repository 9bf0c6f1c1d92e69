#!/usr/bin/env bash
# Benchmark of the report viewer on the large demo database: serves it over HTTP and runs
# report 406 over a year from the page in Debian's Chromium (bench/web_large.js prints the
# figures), then asks the API for the same rows with curl to show the server's own part.
# Usage: bench/web_large.sh ORVDATA WORK_DIR [LARGE_DB]
#   LARGE_DB is created with `orvdata demo create --size large` when missing (a few minutes).
set -euo pipefail
orvdata=$(realpath "$1")
mkdir -p "$2"
work=$(cd "$2" && pwd)
db=$(realpath -m "${3:-$work/large.orvdb}")
here=$(cd "$(dirname "$0")" && pwd)
tests=$here/../tests/web
cd "$work"

[ -f "$db" ] || "$orvdata" demo create "$db" --size large
if ! cmp -s "$tests/package-lock.json" node/package-lock.json 2>/dev/null; then
  rm -rf node && mkdir node && cp "$tests/package.json" "$tests/package-lock.json" node/
  (cd node && npm ci --no-audit --no-fund --loglevel=error)
fi
rm -f bench-users
echo "bench pass" | "$orvdata" users add bench --users bench-users --password-stdin 2>/dev/null

"$orvdata" serve --dsn "$db" --http 127.0.0.1:0 --users bench-users 2>bench-serve.log &
server=$!
trap 'kill $server 2>/dev/null' EXIT
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^http on 127\.0\.0\.1:\([0-9]*\)$/\1/p' bench-serve.log)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat bench-serve.log; exit 1; }

from=2024-06-16
to=2025-06-16
echo "report 406 from $from to $to on $db"
echo "-- the page (first run: the tables are read from the file)"
NODE_PATH="$work/node/node_modules" node "$here/web_large.js" "http://127.0.0.1:$port/" "$work" bench "bench pass" $from $to
echo "-- the page again (tables in memory)"
NODE_PATH="$work/node/node_modules" node "$here/web_large.js" "http://127.0.0.1:$port/" "$work" bench "bench pass" $from $to

echo "-- the API alone (curl), the page's columns"
token=$(curl -s -X POST -d '{"user":"bench","password":"bench pass"}' "http://127.0.0.1:$port/api/login" |
  sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p')
body='{"conditions":{"BDate":"'$from'","EDate":"'$to'"},"columns":["FMOBillNO","FPNumber","FPName","FItemNumber","FItemName","FBSStandardUnitName","FBSStandardQty","FBSPlanDQty","FBSfactQty","FBSDiffQty","FSituation"]}'
curl -s -o "$work/bench-406.ndjson" -H "Authorization: Bearer $token" -X POST -d "$body" \
  -w 'answer began %{time_starttransfer} s, ended %{time_total} s, %{size_download} bytes\n' \
  "http://127.0.0.1:$port/api/reports/406"
grep -o '"elapsed_ms":[0-9]*,"name":"[^"]*"\|"elapsed_ms":[0-9]*,"row_count":[0-9]*,"type":"[a-z]*"' \
  "$work/bench-406.ndjson" | sed 's/^/  stream: /'
echo "server CPU time: $(ps -o times= -p $server) s; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
