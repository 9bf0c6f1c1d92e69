#!/usr/bin/env bash
# The six reports on orvdata and, hand-translated, on DuckDB (npm @duckdb/node-api), over the same data.
#   duckdb-anchor.sh setup                                 npm ci (or install); sqlite3, python3, time if missing
#   duckdb-anchor.sh load FILE.orvdb OUT.duckdb            copy a data source's tables into a new DuckDB file
#   duckdb-anchor.sh run REPORT OUT.duckdb FILE.orvdb [N]  N alternated runs per engine (default 5), timed
#   duckdb-anchor.sh check REPORT OUT.duckdb FILE.orvdb    row-by-row comparison; exit 1 on any difference
# REPORT: 400 401 406 410 498 499. Environment: ORVDATA (the orvdata binary; default orvdata on
# PATH), DUCKDB_ANCHOR_OUT (where run/check write the CSVs; default /tmp/orv-duckdb-anchor/out),
# DUCKDB_THREADS (DuckDB's threads setting; default DuckDB's own, one per core),
# DUCKDB_MEMORY_LIMIT (default 8GB), DUCKDB_TEMP_DIR/DUCKDB_MAX_TEMP (spilling; off by default),
# BDATE/EDATE (400 401 406 410: the date range; default 2024-06-16 .. 2025-06-16),
# YEAR/PERIOD (498 499: the period; default 2025/5), DIV (498 499: trunc, or round to see the
# other reading of decimal division), CHECK_MAX (differing rows check prints; default 50),
# TMPDIR (where load puts the CSV export while it runs). See README.md.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${DUCKDB_ANCHOR_OUT:-/tmp/orv-duckdb-anchor/out}
orv=${ORVDATA:-orvdata}
bdate=${BDATE:-2024-06-16}
edate=${EDATE:-2025-06-16}
year=${YEAR:-2025}
period=${PERIOD:-5}

die() { echo "duckdb-anchor.sh: $*" >&2; exit 2; }

query() {  # DB SQL: the first cell
  node "$here/query.mjs" "$1" "$2"
}

# The conditions of each report; the translations assume exactly these.
orv_args() {
  case $1 in
    400|401|406) echo "--filter BDate=$bdate --filter EDate=$edate" ;;
    410) echo "--filter BWorkDate=$bdate --filter EWorkDate=$edate" ;;
    498|499) echo "--year $year --period $period" ;;
    *) die "unknown report '$1' (400 401 406 410 498 499)" ;;
  esac
}
check_params() {
  [[ $bdate =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ && $edate =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] ||
    die "BDATE/EDATE: yyyy-mm-dd"
  [[ $year =~ ^[0-9]{4}$ && $period =~ ^[0-9]{1,2}$ ]] || die "YEAR/PERIOD: numbers"
  case ${DIV:-trunc} in trunc|round) ;; *) die "DIV: trunc or round" ;; esac
}
# 498/499: the period's first and last day and the period before it, looked up by orvdata
# itself (GetCurDate, GetLastPeriod), so that both engines get the same literals.
period_vars() {  # FILE.orvdb: sets d0 d1 py pp
  local r
  r=$("$orv" lookup cur-date --dsn "$1" --year "$year" --period "$period" --format csv 2>/dev/null | tr -d '\r' | sed -n 2p)
  [ -n "$r" ] || die "no period $year/$period in $1 (orvdata lookup cur-date)"
  d0=${r%%,*}; d1=${r#*,}
  r=$("$orv" lookup last-period --dsn "$1" --year "$year" --period "$period" --format csv 2>/dev/null | tr -d '\r' | sed -n 2p)
  [ -n "$r" ] || die "no period before $year/$period in $1 (orvdata lookup last-period)"
  py=${r%%,*}; pp=${r#*,}
}
# The translation is only valid while orvdata's batches carry the conditions it assumes:
# look for them in `orvdata report N --sql` (blanks and case ignored).
guard() {  # REPORT FILE.orvdb
  local sql p pats=()
  # shellcheck disable=SC2046
  sql=$("$orv" report "$1" --dsn "$2" $(orv_args "$1") --sql 2>/dev/null | tr -d ' \t\r\n' | tr '[:upper:]' '[:lower:]') ||
    die "orvdata report $1 --sql failed"
  case $1 in
    400|401|406) pats=("convert(char(10),v1.fdate,120)>='$bdate'" "convert(char(10),v1.fdate,120)<='$edate'") ;;
    410) pats=("convert(char(10),v1.fbegindate,120)>='$bdate'" "convert(char(10),v1.fbegindate,120)<='$edate'") ;;
    498) pats=("mx.fdate>='$d0'andmx.fdate<='$d1'") ;;
    499) pats=("v1.fdate>='$d0'" "v1.fdate<='$d1'" "p1.fyear=${py}andp1.fperiod=${pp}" "p1.fyear=${year}andp1.fperiod=${period}") ;;
  esac
  for p in "${pats[@]}"; do
    case $sql in
      *"$p"*) ;;
      *) die "report $1: orvdata's batches no longer contain \"$p\"; r$1.sql needs the same change" ;;
    esac
  done
}
orv_cmd() {  # REPORT FILE.orvdb FORMAT OUT: sets the array ORV
  # shellcheck disable=SC2207
  ORV=("$orv" report "$1" --dsn "$2" $(orv_args "$1") --format "$3" --output "$4")
}
duck_cmd() {  # REPORT DB OUT [run.mjs options...]: sets the array DUCK
  local rep=$1 db=$2 o=$3; shift 3
  local d=(node "$here/run.mjs" --db "$db" --sql "$here/r$rep.sql" --out "$o")
  [ -z "${DUCKDB_THREADS:-}" ] || d+=(--threads "$DUCKDB_THREADS")
  case $rep in
    498|499)
      local div=tdiv; [ "${DIV:-trunc}" = round ] && div=rdiv
      DUCK=("${d[@]}" --set "y=$year" --set "p=$period" --set "py=$py" --set "pp=$pp"
            --set "d0=$d0" --set "d1=$d1" --set "div=$div" "$@") ;;
    *) DUCK=("${d[@]}" --set "bdate=$bdate" --set "edate=$edate" "$@") ;;
  esac
}
# The company tables for DuckDB: the project's schema script (sql/schema.sql, which runs on the
# engine and on SQL Server) with its batches ended by ";", datetime as TIMESTAMP (the engine's
# 1/300 s ticks are loaded as milliseconds: exact in DuckDB's microseconds) and bit as SMALLINT
# (the reports compare bits with 0/1); DuckDB reads the rest of it as it stands (varchar(n)
# without enforcing the length, the primary keys checked while the CSV is copied in). Text
# compares in DuckDB's binary collation, where the engine ignores ASCII case and trailing
# blanks: load prints a warning for key columns where that could matter. t_OrvClock holds the
# demo databases' fixed "today" (what GETDATE() returns on the engine).
duckdb_schema() {
  sed -e 's/^GO$/;/' -e 's/\bdatetime\b/TIMESTAMP/g' -e 's/\bbit\b/SMALLINT/g' "$here/../../sql/schema.sql"
  printf 'CREATE TABLE t_OrvClock (FToday TIMESTAMP NOT NULL);\n'
}

need_node() {
  [ -d "$here/node_modules/@duckdb/node-api" ] || die "no node_modules (duckdb-anchor.sh setup)"
}
need_tools() {
  command -v "$orv" >/dev/null 2>&1 || die "orvdata not found: set ORVDATA or put orvdata on PATH"
  need_node
}
csv_rows() {
  python3 -c 'import csv,sys; print(max(0, sum(1 for _ in csv.reader(open(sys.argv[1], newline="", encoding="utf-8"))) - 1))' "$1"
}
fingerprint() {  # FILE: its size and SHA-1
  echo "$(stat -c %s "$1") $(sha1sum < "$1" | cut -c1-40)"
}
prepare() {  # REPORT DB FILE.orvdb: the checks run and check share
  orv_args "$1" >/dev/null; check_params; need_tools
  [ -r "$2" ] || die "no DuckDB file $2 (duckdb-anchor.sh load $3 $2)"
  [ -r "$3" ] || die "cannot read $3"
  local c
  c=$(query "$2" "SELECT loaded_from FROM anchor_source") || die "$2 is not a database duckdb-anchor.sh load made"
  case $c in
    "$(basename "$3") $(fingerprint "$3")") ;;
    *) echo "warning: $2 does not hold $3 (it says: $c); duckdb-anchor.sh load $3 $2" >&2 ;;
  esac
  case $1 in 498|499) period_vars "$3" ;; esac
  guard "$1" "$3"
  mkdir -p "$out"
}

cmd_setup() {
  local missing=()
  command -v sqlite3 >/dev/null || missing+=(sqlite3)
  command -v python3 >/dev/null || missing+=(python3)
  command -v node >/dev/null || missing+=(nodejs npm)
  [ -x /usr/bin/time ] || missing+=(time)
  if [ ${#missing[@]} -gt 0 ]; then
    [ "$(id -u)" = 0 ] || die "missing ${missing[*]}: install them (apt-get needs root)"
    echo "installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  (cd "$here" && if [ -f package-lock.json ]; then npm ci --no-audit --no-fund; else npm install --no-audit --no-fund; fi)
  echo "DuckDB $(query :memory: 'SELECT version()') (node $(node --version)); threads by default: $(query :memory: "SELECT current_setting('threads')")"
}

cmd_load() {
  local src=${1:?usage: load FILE.orvdb OUT.duckdb} db=${2:?usage: load FILE.orvdb OUT.duckdb}
  [ -r "$src" ] || die "cannot read $src"
  [ "$(realpath -m "$src")" != "$(realpath -m "$db")" ] || die "OUT.duckdb must not be the data source"
  case $db in *.orvdb) die "OUT.duckdb: give it another name than .orvdb" ;; esac
  need_node
  local t0=$SECONDS tables t sel cols status=0
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/duckdb-anchor-load.XXXXXX")  # global: the EXIT trap removes it
  trap 'rm -rf "$tmp"' EXIT
  duckdb_schema > "$tmp/schema.sql"
  tables=$(grep -o '^CREATE TABLE [A-Za-z_]*' "$tmp/schema.sql" | awk '{print $3}')
  local present=()
  for t in $tables; do
    # Columns in declared order; datetimes converted from 1/300 s ticks since 1900-01-01 to
    # yyyy-mm-dd hh:mi:ss.mmm with the engine's millisecond rounding (.000/.003/.007).
    sel=$(sqlite3 "$src" "SELECT group_concat(expr, ', ') FROM (
        SELECT CASE WHEN lower(type) = 'datetime' THEN
          'CASE WHEN typeof(\"' || name || '\") = ''integer'' THEN '
          || 'strftime(''%Y-%m-%d %H:%M:%S'', ''1900-01-01'', ((\"' || name || '\" - ((\"' || name
          || '\" % 300) + 300) % 300) / 300) || '' seconds'') || ''.'' || printf(''%03d'', ((((\"'
          || name || '\" % 300) + 300) % 300) * 10 + 1) / 3) ELSE \"' || name || '\" END'
          ELSE '\"' || name || '\"' END AS expr
        FROM orv_columns WHERE table_name = '$t' ORDER BY ordinal)")
    cols=$(sqlite3 "$src" "SELECT group_concat(name, ', ') FROM (SELECT name FROM orv_columns WHERE table_name = '$t' ORDER BY ordinal)")
    if [ -z "$sel" ]; then echo "load: $t is not in $src" >&2; status=1; continue; fi
    sqlite3 -csv -cmd ".nullvalue '\\N'" "$src" "SELECT $sel FROM \"$t\"" > "$tmp/$t.csv"
    echo "$cols" > "$tmp/$t.cols"
    present+=("$t")
  done
  rm -f "$db" "$db.wal" "$db.tmp" "$db.tmp.wal"
  node "$here/load.mjs" "$db.tmp" "$tmp/schema.sql" "$tmp" "$(basename "$src") $(fingerprint "$src")" \
    "${present[@]}" > "$tmp/counts" || { cat "$tmp/counts"; rm -f "$db.tmp" "$db.tmp.wal"; die "load failed"; }
  printf '%-22s %10s %10s\n' table orvdb DuckDB
  local a b mark
  for t in $tables; do
    a=$(sqlite3 "$src" "SELECT count(*) FROM \"$t\"")
    b=$(awk -v t="$t" '$1 == t { print $2 }' "$tmp/counts")
    if [ "$a" = "$b" ]; then mark=ok; else mark=MISMATCH; status=1; fi
    printf '%-22s %10s %10s %s\n' "$t" "$a" "${b:--}" "$mark"
  done
  grep '^warning' "$tmp/counts" || true
  if [ $status = 0 ]; then
    mv "$db.tmp" "$db"
    echo "loaded $src into $db in $((SECONDS - t0)) s ($(du -h "$db" | cut -f1))"
  else
    rm -f "$db.tmp" "$db.tmp.wal"
    echo "load: row counts differ" >&2
  fi
  return $status
}

cmd_run() {
  local rep=${1:?usage: run REPORT OUT.duckdb FILE.orvdb [N]} db=${2:?OUT.duckdb} src=${3:?FILE.orvdb} n=${4:-5}
  [[ $n =~ ^[1-9][0-9]*$ ]] || die "N must be a positive number"
  prepare "$rep" "$db" "$src"
  local tag; tag=$(basename "$db" .duckdb)
  local oc="$out/run-$rep-$tag.orvdata.csv" dc="$out/run-$rep-$tag.duckdb.csv" log t
  log=$(mktemp); t=$(mktemp)
  one() {  # label command...: wall seconds, peak RSS, user and system CPU of the whole process
    local label=$1; shift
    if ! /usr/bin/time -o "$t" -f '%e %M %U %S' "$@" >/dev/null 2>"$t.err"; then
      echo "$label failed:" >&2; head -c 2000 "$t.err" >&2; rm -f "$t" "$t".* "$log"; exit 1
    fi
    echo "$label $(tail -1 "$t")" >> "$log"
  }
  orv_cmd "$rep" "$src" csv "$oc"; duck_cmd "$rep" "$db" "$dc"
  echo "report $rep on $db / $src: 1 warm-up pair, then $n pairs (orvdata, DuckDB, ...)"
  echo "  $("$orv" --version 2>/dev/null | head -1); DuckDB $(query "$db" 'SELECT version()')" \
       "threads $(query "$db" "SELECT current_setting('threads')");" \
       "conditions $(orv_args "$rep"); load average $(cut -d' ' -f1-3 /proc/loadavg)"
  one warm-orv "${ORV[@]}"; one warm-duck "${DUCK[@]}"
  local _
  for _ in $(seq "$n"); do one orv "${ORV[@]}"; one duck "${DUCK[@]}"; done
  python3 - "$log" "$(csv_rows "$oc")" "$(csv_rows "$dc")" "$(cut -d' ' -f1-3 /proc/loadavg)" <<'EOF'
import statistics as st, sys
log, ro, rd, load = sys.argv[1:]
rows = [l.split() for l in open(log)]
o = [r for r in rows if r[0] == "orv"]
d = [r for r in rows if r[0] == "duck"]
def f(xs, fmt="%.3f"):
    return ("median " + fmt + "  min " + fmt + "  max " + fmt) % (st.median(xs), min(xs), max(xs))
print("  orvdata  wall s: %s   rows %s" % (f([float(r[1]) for r in o]), ro))
print("  DuckDB   wall s: %s   rows %s" % (f([float(r[1]) for r in d]), rd))
print("  orvdata  peak RSS MiB: %s" % f([int(r[2]) / 1024 for r in o], "%.0f"))
print("  DuckDB   peak RSS MiB: %s (node and DuckDB, one process)" % f([int(r[2]) / 1024 for r in d], "%.0f"))
r = [float(x[1]) / float(y[1]) if float(y[1]) > 0 else float("inf") for x, y in zip(o, d)]
print("  ratio orvdata/DuckDB (per pair): %s" % f(r))
print("  cpu s (user+sys), median: orvdata %.2f, DuckDB %.2f; load average after: %s" % (
    st.median(float(r[3]) + float(r[4]) for r in o), st.median(float(r[3]) + float(r[4]) for r in d), load))
if ro != rd:
    print("  note: row counts differ; see duckdb-anchor.sh check")
EOF
  rm -f "$t" "$t".* "$log"
  echo "  results: $oc  $dc"
}

quiet() {  # ERRFILE command...: run it, its stderr to ERRFILE; on failure show that and stop
  local err=$1; shift
  "$@" >/dev/null 2>"$err" || { echo "failed: $*" >&2; tail -c 2000 "$err" >&2; exit 1; }
}
cmd_check() {
  local rep=${1:?usage: check REPORT OUT.duckdb FILE.orvdb} db=${2:?OUT.duckdb} src=${3:?FILE.orvdb}
  prepare "$rep" "$db" "$src"
  local tag; tag=$(basename "$db" .duckdb)
  local base="$out/check-$rep-$tag" rc=0
  # The JSON keeps NULL apart from the empty text; the CSV is the output run times.
  # Each side's diagnostics go to a .err file beside its output; shown if it fails.
  orv_cmd "$rep" "$src" json "$base.orvdata.json"; quiet "$base.orvdata.err" "${ORV[@]}"
  orv_cmd "$rep" "$src" csv "$base.orvdata.csv"; quiet "$base.orvdata.err" "${ORV[@]}"
  duck_cmd "$rep" "$db" "$base.duckdb.csv" --null '\N'; quiet "$base.duckdb.err" "${DUCK[@]}"
  python3 "$here/compare.py" "$rep" "$base.orvdata.json" "$base.orvdata.csv" "$base.duckdb.csv" \
    --max "${CHECK_MAX:-50}" || rc=$?
  if [ $rc != 0 ] && [ "$rep" = 499 ]; then
    echo "note: report 499's UPDATE ... FROM statements can match two source rows (batch NULL and '');"
    echo "      either engine may take either, so rows of batch-less items can differ (README.md)."
  fi
  return $rc
}

cmd=${1:-help}; shift || true
case $cmd in
  setup) cmd_setup "$@" ;;
  load) cmd_load "$@" ;;
  run) cmd_run "$@" ;;
  check) cmd_check "$@" ;;
  *) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; [ "$cmd" = help ] || exit 2 ;;
esac
