// End-to-end checks of `orvdata serve` through the Node SQL Server drivers (mssql on tedious).
// Usage: node clients.js PORT PASSWORD REPORT_BATCHES_FILE REPORT_JSON_FILE
// Prints "ok - name" or "not ok - name: why" per check and "N passed, M failed" at the end.
'use strict';
const fs = require('fs');
const assert = require('assert');
const sql = require('mssql');

const [port, password, batchesFile, reportFile] = process.argv.slice(2);
const base = {
  server: '127.0.0.1', port: Number(port), user: 'alice', password, database: 'demo',
  options: { encrypt: false, trustServerCertificate: true }, requestTimeout: 60000,
  pool: { max: 1, min: 0 },
};

let passed = 0;
let failed = 0;
async function check(name, fn) {
  try {
    await fn();
    passed++;
    console.log(`ok - ${name}`);
  } catch (e) {
    failed++;
    console.log(`not ok - ${name}: ${e && e.stack ? e.stack : e}`);
  }
}

async function open(extra = {}) {
  const pool = new sql.ConnectionPool({ ...base, ...extra });
  await pool.connect();
  return pool;
}

// Canonical form of a value for comparing wire results with the report's JSON output.
function canonical(v) {
  if (v === null || v === undefined) return null;
  if (v instanceof Date) return v.getTime();
  if (typeof v === 'string' && /^\d{4}-\d\d-\d\d( \d\d:\d\d(:\d\d(\.\d+)?)?)?$/.test(v)) {
    return Date.parse(v.replace(' ', 'T') + (v.length === 10 ? 'T00:00:00Z' : 'Z'));
  }
  if (typeof v === 'number') return Number(v.toPrecision(15));
  return v;
}

async function main() {
  const pool = await open();

  await check('a batch gives every result set, row count and message in order', async () => {
    const infos = [];
    const request = pool.request();
    request.on('info', (m) => infos.push(m.message));
    const r = await request.query(
      "create table #t (n int); insert into #t values (1), (2); print 'after insert';" +
      " select n from #t order by n; select count(*) as c, N'中文' as zh from #t");
    assert.deepStrictEqual(r.recordsets.length, 2);
    assert.deepStrictEqual(r.recordsets[0].map((x) => x.n), [1, 2]);
    assert.deepStrictEqual(r.recordsets[1][0], { c: 2, zh: '中文' });
    assert.deepStrictEqual(r.rowsAffected, [2, 2, 1]);
    assert.deepStrictEqual(infos, ['after insert']);
    // Under NOCOUNT no statement tells its count, a SELECT neither.
    const quiet = await pool.request().query(
      'set nocount on; create table #q (n int); insert into #q values (1), (2);' +
      ' select n from #q; set nocount off');
    assert.deepStrictEqual(quiet.recordsets[0].length, 2);
    assert.deepStrictEqual(quiet.rowsAffected, []);
  });

  await check('errors carry their number, state, class and line', async () => {
    const err = await pool.request().query('select 1\nselect * from no_such_table').then(
      () => null, (e) => e);
    assert.ok(err, 'no error raised');
    assert.strictEqual(err.number, 208);
    assert.strictEqual(err.class, 16);
    assert.strictEqual(err.lineNumber, 2);
    assert.match(err.message, /Invalid object name 'no_such_table'/);
    const div = await pool.request().query('select 1/0').then(() => null, (e) => e);
    assert.strictEqual(div && div.number, 8134);
  });

  await check('varchar text goes out in code page 936 and nvarchar in UTF-16', async () => {
    const r = await pool.request().query(
      "select '生产任务单' as a, N'生产任务单 ✓' as b, cast('ab' as char(4)) as c");
    assert.deepStrictEqual(r.recordset[0], { a: '生产任务单', b: '生产任务单 ✓', c: 'ab  ' });
    assert.strictEqual(r.recordset.columns.a.type, sql.VarChar);
    assert.strictEqual(r.recordset.columns.b.type, sql.NVarChar);
  });

  await check('every engine type comes back with its value and wire type', async () => {
    const r = await pool.request().query(`
      create table #types (i int, bi bigint, si smallint, ti tinyint, b bit, d decimal(23,10),
        n numeric(5,2), f float, r real, m money, dt datetime, sdt smalldatetime, dd date,
        c char(3), vc varchar(20), nc nchar(3), nvc nvarchar(20), vmax varchar(max),
        nvmax nvarchar(max), nul int);
      insert into #types values (-2147483648, 9007199254740991, -32768, 255, 1,
        1234567890123.0123456789, -123.45, 1.5e300, 2.5, 922337203685477.5807,
        '2024-02-29 23:59:59.997', '2024-02-29 12:34:00', '1900-01-01', 'ab', 'varchar 中',
        N'甲乙', N'nvarchar 中文', replicate(cast('x' as varchar(max)), 9000), replicate(cast(N'字' as nvarchar(max)), 5000), null);
      select * from #types`);
    const row = r.recordset[0];
    const cols = r.recordset.columns;
    assert.strictEqual(row.i, -2147483648);
    assert.strictEqual(row.bi, '9007199254740991');
    assert.strictEqual(row.si, -32768);
    assert.strictEqual(row.ti, 255);
    assert.strictEqual(row.b, true);
    assert.strictEqual(row.d, 1234567890123.0123456789);
    assert.strictEqual(row.n, -123.45);
    assert.strictEqual(row.f, 1.5e300);
    assert.strictEqual(row.r, 2.5);
    assert.strictEqual(row.m, 922337203685477.5807);
    assert.strictEqual(row.dt.toISOString(), '2024-02-29T23:59:59.997Z');
    assert.strictEqual(row.sdt.toISOString(), '2024-02-29T12:34:00.000Z');
    assert.strictEqual(row.dd.toISOString().slice(0, 10), '1900-01-01');
    assert.strictEqual(row.c, 'ab ');
    assert.strictEqual(row.vc, 'varchar 中');
    assert.strictEqual(row.nc, '甲乙 ');
    assert.strictEqual(row.nvc, 'nvarchar 中文');
    assert.strictEqual(row.vmax, 'x'.repeat(9000));
    assert.strictEqual(row.nvmax, '字'.repeat(5000));
    assert.strictEqual(row.nul, null);
    const types = Object.fromEntries(Object.values(cols).map((c) => [c.name, [c.type, c.precision, c.scale]]));
    assert.strictEqual(types.i[0], sql.Int);
    assert.strictEqual(types.bi[0], sql.BigInt);
    assert.strictEqual(types.si[0], sql.SmallInt);
    assert.strictEqual(types.ti[0], sql.TinyInt);
    assert.strictEqual(types.b[0], sql.Bit);
    assert.deepStrictEqual(types.d, [sql.Decimal, 23, 10]);
    assert.strictEqual(types.f[0], sql.Float);
    assert.strictEqual(types.r[0], sql.Real);
    assert.strictEqual(types.m[0], sql.Money);
    assert.strictEqual(types.dt[0], sql.DateTime);
    assert.strictEqual(types.sdt[0], sql.SmallDateTime);
    assert.strictEqual(types.dd[0], sql.Date);
    assert.strictEqual(types.c[0], sql.Char);
    assert.strictEqual(types.nc[0], sql.NChar);
    // (max) columns: the 0xFFFF length that announces PLP values.
    assert.deepStrictEqual([cols.vmax.type, cols.vmax.length], [sql.VarChar, 65535]);
    assert.deepStrictEqual([cols.nvmax.type, cols.nvmax.length], [sql.NVarChar, 65535]);
  });

  await check('sp_executesql parameters of every engine type round-trip', async () => {
    const cases = [
      ['Int', sql.Int, -7], ['BigInt', sql.BigInt, '-9007199254740991'], ['SmallInt', sql.SmallInt, 300],
      ['TinyInt', sql.TinyInt, 200], ['Bit', sql.Bit, false], ['Decimal', sql.Decimal(18, 4), 12345.6789],
      ['Numeric', sql.Numeric(10, 3), -0.125], ['Float', sql.Float, 0.1], ['Real', sql.Real, 0.5],
      ['Money', sql.Money, 1234.5678], ['SmallMoney', sql.SmallMoney, -5.5],
      ['DateTime', sql.DateTime, new Date('2025-06-30T08:15:30.123Z')],
      ['SmallDateTime', sql.SmallDateTime, new Date('2025-06-30T08:15:00Z')],
      ['Date', sql.Date, new Date('2025-06-30T00:00:00Z')],
      ['VarChar', sql.VarChar(50), "it's 物料"], ['NVarChar', sql.NVarChar(50), "it's 物料 ✓"],
      ['NVarCharMax', sql.NVarChar(sql.MAX), '长'.repeat(6000)], ['Char', sql.Char(4), 'ab  '],
      ['NullInt', sql.Int, null], ['NullNVarChar', sql.NVarChar(10), null],
    ];
    for (const [name, type, value] of cases) {
      const r = await pool.request().input('p', type, value).query('select @p as v');
      let got = r.recordset[0].v;
      if (got instanceof Date) got = got.toISOString();
      let want = value instanceof Date ? value.toISOString() : value;
      if (name === 'Bit') want = false;
      if (name === 'DateTime') want = '2025-06-30T08:15:30.123Z';
      if (name === 'Float' || name === 'Real') got = Number(got);
      assert.deepStrictEqual(got, want, `${name}: got ${JSON.stringify(got)}`);
    }
    // A quote in a parameter is data, never SQL.
    const r = await pool.request().input('s', sql.NVarChar, "x'; drop table t_ICItem; --")
      .query('select @s as v, (select count(*) from t_ICItem) as n');
    assert.strictEqual(r.recordset[0].v, "x'; drop table t_ICItem; --");
    assert.ok(r.recordset[0].n > 0);
  });

  await check('output parameters of sp_executesql come back', async () => {
    const r = await pool.request().input('a', sql.Int, 20).output('o', sql.Int)
      .output('t', sql.NVarChar(20)).query("set @o = @a * 2 + 2; set @t = N'答' + 'x'; select 1 as one");
    assert.strictEqual(r.output.o, 42);
    assert.strictEqual(r.output.t, '答x');
    assert.deepStrictEqual(r.recordset, [{ one: 1 }]);
  });

  await check('a stored procedure over RPC: OUTPUT parameters, return code, errors', async () => {
    await pool.request().batch(`create or alter procedure rpc_probe @a int, @b int = 10,
        @sum int output, @note nvarchar(30) output as
      begin
        select @a as a;
        if @a = 0 raiserror(N'no zero here', 16, 1);
        set @sum = @a + @b;
        set @note = @note + N'!';
        return @a * 2
      end`);
    try {
      const r = await pool.request().input('a', sql.Int, 5).output('sum', sql.Int)
        .output('note', sql.NVarChar(30), "it's'; --").execute('rpc_probe');
      assert.deepStrictEqual(r.recordset, [{ a: 5 }]);
      assert.deepStrictEqual(r.output, { sum: 15, note: "it's'; --!" });
      assert.strictEqual(r.returnValue, 10);
      const inside = await pool.request().input('a', sql.Int, 0).output('sum', sql.Int)
        .output('note', sql.NVarChar(30), 'n').execute('rpc_probe').then(() => null, (x) => x);
      assert.strictEqual(inside && inside.number, 50000, String(inside));
      assert.strictEqual(inside.procName, 'rpc_probe');
      const unknown = await pool.request().input('zz', sql.Int, 1).execute('rpc_probe')
        .then(() => null, (x) => x);
      assert.strictEqual(unknown && unknown.number, 8145, String(unknown));
    } finally {
      await pool.request().batch('drop procedure rpc_probe');
    }
  });

  await check('prepared statements: sp_prepare, sp_execute twice, sp_unprepare', async () => {
    const ps = new sql.PreparedStatement(pool);
    ps.input('a', sql.Int);
    ps.input('s', sql.NVarChar(20));
    await ps.prepare('select @a + 1 as v, @s as s');
    const one = await ps.execute({ a: 1, s: '一' });
    const two = await ps.execute({ a: 41, s: '二' });
    await ps.unprepare();
    assert.deepStrictEqual(one.recordset[0], { v: 2, s: '一' });
    assert.deepStrictEqual(two.recordset[0], { v: 42, s: '二' });
  });

  await check('a missing parameter is error 8178', async () => {
    const err = await pool.request().query('select 1').then(() => null, () => null);
    assert.strictEqual(err, null);
    const ps = new sql.PreparedStatement(pool);
    ps.input('a', sql.Int);
    await ps.prepare('select @a as v');
    const e = await ps.execute({}).then(() => null, (x) => x);
    await ps.unprepare();
    assert.ok(e === null || e.number === 8178 || /parameter/i.test(e.message), String(e));
  });

  await check('temporary tables are private to their connection', async () => {
    const other = await open();
    await pool.request().query("create table #mine (v varchar(10)); insert into #mine values ('one')");
    await other.request().query("create table #mine (v varchar(10)); insert into #mine values ('two')");
    const a = await pool.request().query('select v from #mine');
    const b = await other.request().query('select v from #mine');
    await other.close();
    assert.deepStrictEqual([a.recordset[0].v, b.recordset[0].v], ['one', 'two']);
  });

  await check('a long query is cancelled promptly and the connection stays usable', async () => {
    const request = pool.request();
    const started = Date.now();
    const running = request.query(
      'select count(*) as n from ICStockBillEntry a where (select count(*) from ICMO b ' +
      'where b.FQty < a.FQty + 1) + (select count(*) from ICMO c where c.FQty > a.FQty) > 10');
    await new Promise((resolve) => setTimeout(resolve, 300));
    const cancelledAt = Date.now();
    request.cancel();
    const err = await running.then(() => null, (e) => e);
    const answered = Date.now() - cancelledAt;
    assert.ok(err, `the query finished after ${Date.now() - started} ms before it could be cancelled`);
    assert.strictEqual(err.code, 'ECANCEL');
    assert.ok(answered < 1000, `cancel answered after ${answered} ms`);
    // The engine stopped too: the next request does not wait for the cancelled one.
    const nextAt = Date.now();
    const after = await pool.request().query('select 7 as seven');
    assert.strictEqual(after.recordset[0].seven, 7);
    assert.ok(Date.now() - nextAt < 1000, `the next request took ${Date.now() - nextAt} ms`);
  });

  await check("report 406's batches give the same rows as `orvdata report 406`", async () => {
    const script = fs.readFileSync(batchesFile, 'utf8');
    const batches = script.split(/^\s*GO\s*$/mi).filter((b) => b.trim() !== '');
    const expected = JSON.parse(fs.readFileSync(reportFile, 'utf8'));
    let last = null;
    for (const batch of batches) {
      const r = await pool.request().batch(batch);
      if (r.recordsets.length) last = r.recordsets[r.recordsets.length - 1];
    }
    assert.ok(last, 'no result set');
    assert.ok(expected.length > 0, 'the report gave no rows');
    assert.strictEqual(last.length, expected.length);
    for (let i = 0; i < expected.length; i++) {
      for (const [key, want] of Object.entries(expected[i])) {
        assert.deepStrictEqual(canonical(last[i][key]), canonical(want), `row ${i} column ${key}`);
      }
    }
  });

  await check('transactions: another connection sees committed rows, not rolled-back ones', async () => {
    const other = await open();
    try {
      await other.request().query('create table tx_probe (n int, note nvarchar(20))');
      const kept = new sql.Transaction(pool);
      await kept.begin(sql.ISOLATION_LEVEL.READ_COMMITTED);
      await new sql.Request(kept).query("insert into tx_probe values (1, N'committed')");
      const inside = await new sql.Request(kept).query('select @@trancount as c');
      assert.strictEqual(inside.recordset[0].c, 1);
      await kept.commit();
      const undone = new sql.Transaction(pool);
      await undone.begin();
      await new sql.Request(undone).query("insert into tx_probe values (2, N'rolled back')");
      await undone.rollback();
      const seen = await other.request().query('select n from tx_probe order by n');
      assert.deepStrictEqual(seen.recordset.map((x) => x.n), [1]);
      const after = await pool.request().query('select @@trancount as c');
      assert.strictEqual(after.recordset[0].c, 0);
    } finally {
      await other.close();
    }
  });

  await check('a client that drops its connection inside a transaction leaves nothing behind', async () => {
    const { Connection, Request } = require('tedious');
    const c = new Connection({ server: '127.0.0.1', authentication: { type: 'default',
      options: { userName: 'alice', password } }, options: { port: Number(port), encrypt: false } });
    const step = (start) => new Promise((resolve, reject) => start((e) => (e ? reject(e) : resolve())));
    await step((done) => { c.on('connect', done); c.connect(); });
    await step((done) => c.beginTransaction(done));
    await step((done) => c.execSql(new Request("insert into tx_probe values (3, N'dropped')", done)));
    await new Promise((resolve) => { c.on('end', resolve); c.close(); });
    const r = await pool.request().query('select count(*) as n from tx_probe where n = 3');
    assert.strictEqual(r.recordset[0].n, 0);
  });

  await pool.close();

  await check('a read-only login reads and uses temporary tables but cannot change tables', async () => {
    const reader = await open({ user: 'rita', password: 'reader' });
    try {
      const r = await reader.request().query(
        'select FItemID, FName into #mine from t_ICItem where FItemID < 1010;' +
        " update #mine set FName = N'改' ; select count(*) as n from #mine");
      assert.ok(r.recordset[0].n > 0);
      for (const sqlText of ["update t_ICItem set FName = N'x'", 'delete from ICMO',
                             'insert into t_Department (FItemID) values (1)']) {
        const err = await reader.request().query(sqlText).then(() => null, (e) => e);
        assert.strictEqual(err && err.number, 229, sqlText);
        assert.match(err.message, /permission was denied on the object/);
      }
      const err = await reader.request().query('create table t_new (a int)').then(() => null, (e) => e);
      assert.strictEqual(err && err.number, 262);
    } finally {
      await reader.close();
    }
  });

  await check('a wrong password is login error 18456', async () => {
    const err = await open({ password: 'wrong' }).then((p) => p.close(), (e) => e);
    assert.ok(err instanceof Error, 'connected with a wrong password');
    assert.strictEqual(err.code, 'ELOGIN');
    assert.match(err.message, /Login failed for user 'alice'\./);
    const unknown = await open({ user: 'mallory' }).then((p) => p.close(), (e) => e);
    assert.match(String(unknown && unknown.message), /Login failed for user 'mallory'\./);
  });

  console.log(`${passed} passed, ${failed} failed`);
  process.exitCode = failed ? 1 : 0;
}

main().catch((e) => {
  console.log(`not ok - unexpected failure: ${e && e.stack ? e.stack : e}`);
  console.log(`${passed} passed, ${failed + 1} failed`);
  process.exitCode = 1;
});
