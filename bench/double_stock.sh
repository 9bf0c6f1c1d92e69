#!/usr/bin/env bash
# Makes a copy of a demo database with twice its stock bills and stock-bill lines, to see how
# the reports grow with the data: every bill is added again under a new id (its number with a
# "D" in front), with the same date, type and lines; a line whose source is a stock bill (red
# bills name the blue ones they reverse) points at the new copy of that bill, a line whose
# source is a task order at the same task order. Task orders, items and fees stay as they are.
#
#   bench/double_stock.sh ORVDATA FROM TO
#
# Then e.g. `bench/reports.sh ORVDATA FROM 3` and `bench/reports.sh ORVDATA TO 3`.
set -euo pipefail

die() { echo "double_stock.sh: $*" >&2; exit 2; }
[ $# -eq 3 ] || die "usage: bench/double_stock.sh ORVDATA FROM TO"
orv=$1 from=$2 to=$3
[ -x "$orv" ] || die "not an executable: $orv"
[ -r "$from" ] || die "cannot read $from"
[ -e "$to" ] && die "$to exists already"

cp "$from" "$to"
"$orv" sql --dsn "$to" -b -Q "
declare @offset int = (select max(FInterID) from ICStockBill)
insert into ICStockBill
select FInterID + @offset, 'D' + FBillNo, FTranType, FDate, FROB, FStatus, FCancellation,
       FExplanation, FMOItemID, FBatchNo, FMOQty, FMOBaseUnitID
from ICStockBill
insert into ICStockBillEntry
select FInterID + @offset, FEntryID, FItemID, FUnitID, FBatchNo, FAuxQty, FQty, FAmount,
       FSourceTranType,
       case when FSourceTranType in (2, 24) and FSourceInterID > 0
            then FSourceInterID + @offset else FSourceInterID end,
       FMOInterID, FDCStockID
from ICStockBillEntry
select count(*) as bills from ICStockBill
select count(*) as lines from ICStockBillEntry"
ls -l "$from" "$to"
