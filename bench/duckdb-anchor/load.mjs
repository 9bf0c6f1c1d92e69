// Creates a DuckDB database from CSV files exported from an .orvdb data source (duckdb-anchor.sh
// load does the export and calls this).
//
//   node load.mjs NEW.duckdb SCHEMA.sql CSVDIR SOURCE-NOTE TABLE...
//
// For each TABLE: CSVDIR/TABLE.csv (no header, NULL as \N, "" the empty text) and
// CSVDIR/TABLE.cols (its column names, comma-separated, in the CSV's order). Prints one line
// "TABLE COUNT" per table, then the warnings about key text columns, and records SOURCE-NOTE
// (the file's name, size and SHA-1) in the table anchor_source.
import { DuckDBInstance } from '@duckdb/node-api';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

const [db, schema, dir, note, ...tables] = process.argv.slice(2);
if (!tables.length) {
  process.stderr.write('usage: node load.mjs NEW.duckdb SCHEMA.sql CSVDIR SOURCE-NOTE TABLE...\n');
  process.exit(2);
}
const quote = (s) => `'${String(s).replaceAll("'", "''")}'`;

const instance = await DuckDBInstance.create(db);
const conn = await instance.connect();
try {
  await conn.run(readFileSync(schema, 'utf8'));
  for (const t of tables) {
    const cols = readFileSync(join(dir, `${t}.cols`), 'utf8').trim();
    await conn.run(`COPY ${t} (${cols}) FROM ${quote(join(dir, `${t}.csv`))}
      (FORMAT csv, HEADER false, DELIMITER ',', QUOTE '"', ESCAPE '"', NULLSTR '\\N', AUTO_DETECT false)`);
  }
  for (const t of tables) {
    const r = await conn.runAndReadAll(`SELECT count(*) FROM ${t}`);
    console.log(`${t} ${r.getRows()[0][0]}`);
  }
  // Key text columns with lower-case letters or trailing blanks: there binary comparison could
  // disagree with the engine's case-insensitive, blank-trimming comparison. (t_SystemProfile's
  // keys are mixed case; the one r410.sql reads is checked as spelt there.)
  const cols = await conn.runAndReadAll(`
    SELECT table_name, column_name FROM information_schema.columns
    WHERE table_schema = 'main' AND data_type LIKE 'VARCHAR%'
      AND (lower(column_name) LIKE '%number' OR lower(column_name) LIKE '%billno' OR lower(column_name) LIKE '%batchno')
      AND table_name NOT LIKE 'v\\_%' ESCAPE '\\'
    ORDER BY table_name, column_name`);
  const bad = [];
  for (const [t, c] of cols.getRows()) {
    const r = await conn.runAndReadAll(
      `SELECT count(*) FROM "${t}" WHERE "${c}" <> upper("${c}") OR "${c}" LIKE '% '`);
    const n = Number(r.getRows()[0][0]);
    if (n > 0) bad.push(`${t}.${c}=${n}`);
  }
  if (bad.length) {
    console.log(`warning: lower-case letters or trailing blanks, where DuckDB compares unlike orvdata: ${bad.join(' ')}`);
  }
  const sp = await conn.runAndReadAll(
    "SELECT count(*) FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'ManufactureAlarmDateCount'");
  if (Number(sp.getRows()[0][0]) !== 1) {
    console.log("warning: t_SystemProfile has no IC/ManufactureAlarmDateCount spelt so; r410.sql reads it");
  }
  await conn.run(`CREATE TABLE anchor_source AS SELECT ${quote(note)} AS loaded_from`);
  await conn.run('CHECKPOINT');
} catch (e) {
  process.stderr.write(`load.mjs: ${e.message}\n`);
  process.exit(1);
}
conn.closeSync();
instance.closeSync();
