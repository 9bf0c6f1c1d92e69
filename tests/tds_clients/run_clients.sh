#!/usr/bin/env bash
# End-to-end test of `orvdata serve` with clients written elsewhere: FreeTDS tsql, unixODBC isql
# with the FreeTDS ODBC driver, and the Node mssql/tedious drivers (installed here with npm ci
# from the committed lock file). Starts the server on a free loopback port over a fresh demo
# database and stops it with SIGTERM at the end.
# Usage: run_clients.sh ORVDATA WORK_DIR
set -uo pipefail
orvdata=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
cd "$work" || exit 1

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok - $1"; }
not_ok() { failed=$((failed + 1)); echo "not ok - $1"; [ -n "${2:-}" ] && printf '%s\n' "$2" | sed 's/^/    /' | head -40; }
# expect NAME OUTPUT PATTERN...: every grep -E pattern must be found in OUTPUT.
expect() {
  local name=$1 output=$2
  shift 2
  for pattern in "$@"; do
    if ! grep -Eq -- "$pattern" <<<"$output"; then
      not_ok "$name" "missing /$pattern/ in:"$'\n'"$output"
      return
    fi
  done
  ok "$name"
}

for tool in tsql isql node npm; do
  if ! command -v "$tool" >/dev/null; then
    echo "not ok - $tool is not installed (./run.sh test installs the client packages)"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

# Node drivers, installed again only when the lock file changes.
if ! cmp -s "$here/package-lock.json" node/package-lock.json 2>/dev/null; then
  rm -rf node && mkdir node && cp "$here/package.json" "$here/package-lock.json" node/
  (cd node && npm ci --no-audit --no-fund --loglevel=error) || { echo "not ok - npm ci"; echo "0 passed, 1 failed"; exit 1; }
fi

rm -f demo.orvdb users serve.log
"$orvdata" demo create demo.orvdb >/dev/null 2>&1 || { echo "not ok - demo database"; exit 1; }
password='s3cret pass'
echo "$password" | "$orvdata" users add alice --users users --password-stdin 2>/dev/null
echo "reader" | "$orvdata" users add rita --read-only --users users --password-stdin 2>/dev/null

out=$(timeout 10 "$orvdata" serve --dsn demo.orvdb --listen 0.0.0.0:0 --users users 2>&1)
status=$?
expect "a non-loopback address needs --allow-remote" "$out"$'\n'"status $status" "allow-remote" "^status 2$"
out=$(timeout 10 "$orvdata" serve --dsn demo.orvdb --listen 127.0.0.1:0 --users no-users 2>&1)
expect "no users, no server" "$out" "no users in no-users"

"$orvdata" serve --dsn demo.orvdb --listen 127.0.0.1:0 --users users 2>serve.log &
server=$!
trap 'kill -9 $server 2>/dev/null' EXIT
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' serve.log)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "not ok - server did not start"; cat serve.log; echo "0 passed, 1 failed"; exit 1; }

# FreeTDS reads its own configuration; give it an empty one and the protocol version.
export FREETDSCONF="$work/freetds.conf" TDSVER=7.4
: >"$FREETDSCONF"
tsql_run() {  # tsql_run PASSWORD < script
  timeout 60 tsql -H 127.0.0.1 -p "$port" -U alice -P "$1" 2>&1
}

out=$(printf "select 1 as one, N'中文' as zh, '物料' as gbk\nprint 'note 1'\nselect 2 as two\nselect * from no_such\ngo\nexit\n" | tsql_run "$password")
expect "tsql: several result sets, a message and an error with its number" "$out" \
  $'one\tzh\tgbk$' $'^1\t中文\t物料$' 'note 1' $'^two$' 'Msg 208 \(severity 16, state 1\)' "Invalid object name 'no_such'"

out=$(printf "create table #ty (i int, bi bigint, b bit, d decimal(23,10), f float, m money, dt datetime, c char(3), nvc nvarchar(20), nul int)\ninsert into #ty values (-5, 9007199254740993, 1, -1234.5, 0.25, 12.5, '2024-02-29 23:59:59.997', 'ab', N'中文 ✓', null)\nselect * from #ty\ngo\nexit\n" | tsql_run "$password")
expect "tsql: engine types" "$out" $'^-5\t9007199254740993\t1\t-1234.5000000000\t0.25\t12.5000\tFeb 29 2024 11:59PM\tab \t中文 ✓\tNULL$'

out=$(printf "select 1\ngo\nexit\n" | tsql_run wrong)
expect "tsql: a wrong password is 18456" "$out" "Msg 18456 \(severity 14" "Login failed for user 'alice'\."

"$orvdata" report 406 --dsn demo.orvdb --sql >r406.sql 2>/dev/null
"$orvdata" report 406 --dsn demo.orvdb -f json >r406.json 2>/dev/null
rows=$(node -e "console.log(JSON.parse(require('fs').readFileSync('r406.json', 'utf8')).length)")
out=$( (cat r406.sql; printf "\nexit\n") | tsql_run "$password")
expect "tsql: report 406's batches give as many rows as orvdata report 406 ($rows)" "$out" "^\($rows rows affected\)$"

# unixODBC with the FreeTDS driver, through a DSN of our own.
cat >odbcinst.ini <<INI
[FreeTDS]
Driver = $(dpkg -L tdsodbc 2>/dev/null | grep '/libtdsodbc\.so$' | head -1)
INI
cat >odbc.ini <<INI
[orvdata]
Driver = FreeTDS
Server = 127.0.0.1
Port = $port
TDS_Version = 7.4
ClientCharset = UTF-8
INI
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
isql_run() { timeout 60 isql -v orvdata alice "$1" -b -d'|' 2>&1; }

out=$(printf "create table #ty (i int, bi bigint, b bit, d decimal(23,10), f float, m money, dt datetime, sdt smalldatetime, dd date, c char(3), vc varchar(20), nvc nvarchar(20), vmax varchar(max), nul int); insert into #ty values (-5, 9007199254740993, 1, -1234.5, 0.25, 12.5, '2024-02-29 23:59:59.997', '2024-02-29 12:34:00', '2024-03-01', 'ab', '物料', N'中文 ✓', 'long', null); select * from #ty\n" | isql_run "$password")
expect "isql: engine types through ODBC" "$out" \
  '^-5\|9007199254740993\|1\|-1234\.5000000000\|0\.25\|12\.5000\|2024-02-29 23:59:59\.997\|2024-02-29 12:34:00\|2024-03-01\|ab \|物料\|中文 ✓\|long\|$'

out=$(printf "select 1 as a; select 2 as b\nselect * from no_such\n" | isql_run "$password")
expect "isql: result sets and an error" "$out" '^1$' '^2$' "\[S0002\].*Invalid object name 'no_such'"

# isql's help lists tables (SQLTables) and a table's columns (SQLColumns) through the driver's
# catalog procedures.
out=$(printf "help\nhelp t_MeasureUnit\n" | isql_run "$password")
expect "isql: help lists the tables and a table's columns" "$out" \
  '^demo\|dbo\|ICStockBillEntry\|TABLE\|$' '^demo\|dbo\|v_SCRed_StockBill\|VIEW\|$' \
  '^demo\|dbo\|t_MeasureUnit\|FCoefficient\|3\|decimal\|28\|30\|10\|10\|0\|'

out=$(printf "select 1\n" | isql_run wrong)
expect "isql: a wrong password fails the login" "$out" "Login failed for user 'alice'\."

# The Node drivers: parameters, prepared statements, cancel, every type, report 406's rows.
node_out=$(NODE_PATH="$work/node/node_modules" timeout 300 node "$here/clients.js" "$port" "$password" "$work/r406.sql" "$work/r406.json" 2>&1)
echo "$node_out" | grep -E '^(ok|not ok) - |^    ' | head -200
node_passed=$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1/p' <<<"$node_out")
node_failed=$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\2/p' <<<"$node_out")
if [ -z "$node_passed" ]; then
  not_ok "node clients ran" "$node_out"
else
  passed=$((passed + node_passed))
  failed=$((failed + node_failed))
fi

# What the ODBC driver sends when an application turns autocommit off (isql cannot turn it off
# itself): an implicit transaction that a disconnect rolls back and a COMMIT keeps.
printf "set implicit_transactions on\ninsert into tx_probe values (4, N'dropped')\n" | isql_run "$password" >/dev/null
printf "set implicit_transactions on\ninsert into tx_probe values (5, N'kept')\ncommit\n" | isql_run "$password" >/dev/null
out=$(printf "select count(*) from tx_probe where n = 4\nselect count(*) from tx_probe where n = 5\n" | isql_run "$password")
expect "isql: an implicit transaction is rolled back at disconnect and kept by COMMIT" "$out" '^0$' '^1$'

# TLS: a second server with a certificate that requires encryption. FreeTDS asking for
# encryption gets it; FreeTDS without TLS is refused; tedious encrypts the whole connection.
openssl req -x509 -newkey rsa:2048 -nodes -keyout tls.key -out tls.crt -days 2 -subj /CN=localhost \
  >/dev/null 2>&1
"$orvdata" serve --dsn demo.orvdb --listen 127.0.0.1:0 --users users --tls-cert tls.crt \
  --tls-key tls.key --require-encryption 2>tls.log &
tls_server=$!
trap 'kill -9 $server $tls_server 2>/dev/null' EXIT
tls_port=
for _ in $(seq 100); do
  tls_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' tls.log)
  [ -n "$tls_port" ] && break
  sleep 0.1
done
tls_tsql() {  # tls_tsql ENCRYPTION < script
  printf '[global]\n\tencryption = %s\n' "$1" >"freetds-$1.conf"
  FREETDSCONF="$work/freetds-$1.conf" timeout 30 tsql -H 127.0.0.1 -p "$tls_port" -U alice -P "$password" 2>&1
}
out=$(printf "select N'加密' as secret\ngo\nexit\n" | tls_tsql require)
expect "TLS: tsql with encryption required" "$out" $'^加密$'
out=$(printf "select N'加密' as secret\ngo\nexit\n" | tls_tsql request)
expect "TLS: tsql asking only for an encrypted login is told to encrypt everything" "$out" $'^加密$'
out=$(printf "select 1\ngo\nexit\n" | tls_tsql off)
expect "TLS: a client without encryption is refused" "$(cat tls.log)" "refused: no encryption"
out=$(NODE_PATH="$work/node/node_modules" timeout 60 node -e "
  const sql = require('mssql');
  sql.connect({ server: '127.0.0.1', port: $tls_port, user: 'alice', password: process.argv[1],
    options: { encrypt: true, trustServerCertificate: true } })
    .then((pool) => pool.request().query(\"select N'加密' as v\").then((r) => { console.log(r.recordset[0].v); return pool.close(); }))
    .catch((e) => { console.log('failed: ' + e.message); });" "$password" 2>&1)
expect "TLS: tedious encrypts the connection" "$out" '^加密$'
kill -TERM $tls_server

# SIGTERM while a batch runs: the batch finishes and its client gets the rows, then the server
# stops by itself with status 0.
out=$(NODE_PATH="$work/node/node_modules" timeout 120 node -e "
  const { Connection, Request } = require('tedious');
  const c = new Connection({ server: '127.0.0.1', authentication: { type: 'default',
      options: { userName: 'alice', password: process.argv[1] } },
    options: { port: $port, encrypt: false, requestTimeout: 100000 } });
  c.on('connect', (err) => {
    if (err) { console.log('failed: ' + err.message); return; }
    const r = new Request('select count(*) as n from ICMO a where ' +
      '(select count(*) from ICMO b where b.FQty < a.FQty) > 10', (e) => {
      if (e) console.log('failed: ' + e.message);
      c.close();
    });
    r.on('row', (columns) => console.log('rows ' + columns[0].value));
    c.execSql(r);
    setTimeout(() => process.kill($server, 'SIGTERM'), 50);
  });
  c.connect();" "$password" 2>&1)
expect "SIGTERM lets the running batch finish" "$out" '^rows [0-9]+$'
for _ in $(seq 300); do kill -0 $server 2>/dev/null || break; sleep 0.1; done
if kill -0 $server 2>/dev/null; then
  not_ok "the server stops on SIGTERM" "$(tail -5 serve.log)"
else
  wait $server
  status=$?
  [ $status -eq 0 ] && ok "the server stops on SIGTERM" || not_ok "the server stops on SIGTERM" "exit status $status"
fi
expect "the log has a line per connection and per failed login" "$(cat serve.log)" \
  'connection [0-9]+ from 127\.0\.0\.1:[0-9]+: user alice' "login failed for user 'alice' from 127\.0\.0\.1"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
