// Prints the first cell of one query on a DuckDB database (or in memory with ':memory:'), opened
// read-only: the checks duckdb-anchor.sh makes before a run.
//   node query.mjs FILE.duckdb 'SELECT ...'
import { DuckDBInstance } from '@duckdb/node-api';

const [db, sql] = process.argv.slice(2);
const config = db === ':memory:' ? {} : { access_mode: 'READ_ONLY' };
if (process.env.DUCKDB_THREADS) config.threads = process.env.DUCKDB_THREADS;
try {
  const instance = await DuckDBInstance.create(db, config);
  const conn = await instance.connect();
  const rows = (await conn.runAndReadAll(sql)).getRows();
  console.log(rows.length ? String(rows[0][0]) : '');
  conn.closeSync();
  instance.closeSync();
} catch (e) {
  process.stderr.write(`query.mjs: ${e.message}\n`);
  process.exit(1);
}
