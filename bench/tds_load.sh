#!/usr/bin/env bash
# Builds the work items of the TDS load test (a few single queries and the batches of reports
# 400, 406, 410, 498 and 499 on the demo database) and runs tds_load with 32 clients x 50 items.
# Usage: bench/tds_load.sh BUILD_DIR   (a build with -DORV_BUILD_BENCH=ON)
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/orvdata" demo create demo.orvdb >/dev/null 2>&1
for n in 400 406 410 498 499; do "$build/orvdata" report $n --dsn demo.orvdb --sql >report$n.sql 2>/dev/null; done
cat >items.sql <<'SQL'
select FInterID, FBillNo, FItemID, FQty, FDate from ICMO where FStatus > 0 order by FInterID
SQL
cat >groups.sql <<'SQL'
select FItemID, count(*) as n, sum(FQty) as qty from ICStockBillEntry group by FItemID order by FItemID
SQL
cat >join.sql <<'SQL'
select top 200 m.FBillNo, i.FNumber, i.FName, m.FQty from ICMO m join t_ICItem i on i.FItemID = m.FItemID order by m.FBillNo
SQL
"$build/bench/tds_load" demo.orvdb items.sql groups.sql join.sql report400.sql report406.sql \
  report410.sql report498.sql report499.sql "${@:2}"
