// Runs one translated report (rNNN.sql) on a DuckDB database file and writes its result as CSV.
//
//   node run.mjs --db FILE.duckdb --sql rNNN.sql --out RESULT.csv
//                [--set NAME=VALUE]... [--null TEXT] [--threads N] [--timing]
//
// The database is opened read-only; the reports' work tables are TEMP tables and the helper
// macros (macros.sql, run first) TEMP macros, so a run leaves the file as it was.
//
// The .sql files are plain DuckDB SQL with ${NAME} parameters and a few directives, each a
// comment line of its own between statements, standing in for what psql or the report service
// does between statements:
//   --@default NAME VALUE   NAME is VALUE unless --set gives it
//   --@set NAME             the next statement's first cell becomes ${NAME} in the statements
//                           after it (the service reads a value and writes it into the next batch)
//   --@if NAME / --@endif   the statements between run only if ${NAME} is true
//   --@result               the next statement's rows are the report's result: written to --out
//                           as CSV with a header (NULL as --null, default the empty field)
// Every other statement runs to completion; a SELECT among them is read in full and dropped
// (the engine sends those rows to its client, which does not keep them).
import { DuckDBInstance } from '@duckdb/node-api';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

function die(msg) {
  process.stderr.write(`run.mjs: ${msg}\n`);
  process.exit(2);
}

function parseArgs(argv) {
  const o = { set: {}, null: '', timing: false };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const val = () => {
      if (i + 1 >= argv.length) die(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--db') o.db = val();
    else if (a === '--sql') o.sql = val();
    else if (a === '--out') o.out = val();
    else if (a === '--null') o.null = val();
    else if (a === '--threads') o.threads = val();
    else if (a === '--timing') o.timing = true;
    else if (a === '--set') {
      const kv = val();
      const eq = kv.indexOf('=');
      if (eq <= 0) die(`--set NAME=VALUE, not '${kv}'`);
      o.set[kv.slice(0, eq)] = kv.slice(eq + 1);
    } else die(`unknown argument '${a}'`);
  }
  if (!o.db || !o.sql || !o.out) die('usage: node run.mjs --db FILE.duckdb --sql rNNN.sql --out RESULT.csv [--set NAME=VALUE]... [--null TEXT] [--threads N] [--timing]');
  return o;
}

// Splits a script into statements and directives, in order. Comments are dropped; quotes
// ('...' with '' inside, "...") are kept whole, so a ';' or '--' inside them does not count.
function split(text) {
  const items = [];
  let buf = '';
  let i = 0;
  const flush = () => {
    if (buf.trim() !== '') items.push({ kind: 'stmt', text: buf.trim() });
    buf = '';
  };
  while (i < text.length) {
    const c = text[i];
    if (c === "'" || c === '"') {
      let j = i + 1;
      for (;;) {
        if (j >= text.length) die('unterminated quote');
        if (text[j] === c) {
          if (text[j + 1] === c) { j += 2; continue; }
          break;
        }
        j++;
      }
      buf += text.slice(i, j + 1);
      i = j + 1;
    } else if (c === '-' && text[i + 1] === '-') {
      let j = text.indexOf('\n', i);
      if (j < 0) j = text.length;
      const line = text.slice(i, j);
      if (line.startsWith('--@')) {
        if (buf.trim() !== '') die(`directive inside a statement: ${line}`);
        const [name, ...args] = line.slice(3).trim().split(/\s+/);
        items.push({ kind: name, args });
      }
      buf += ' ';
      i = j;
    } else if (c === '/' && text[i + 1] === '*') {
      const j = text.indexOf('*/', i + 2);
      if (j < 0) die('unterminated comment');
      buf += ' ';
      i = j + 2;
    } else if (c === ';') {
      flush();
      i++;
    } else {
      buf += c;
      i++;
    }
  }
  flush();
  return items;
}

function substitute(stmt, vars) {
  return stmt.replace(/\$\{([A-Za-z_][A-Za-z0-9_]*)\}/g, (_, n) => {
    if (!(n in vars)) die(`no value for \${${n}}`);
    return vars[n];
  });
}

const quote = (s) => `'${String(s).replaceAll("'", "''")}'`;

const opts = parseArgs(process.argv.slice(2));
const here = dirname(fileURLToPath(import.meta.url));
const prelude = split(readFileSync(join(here, 'macros.sql'), 'utf8'));
const script = split(readFileSync(opts.sql, 'utf8'));

// The machine is shared: DuckDB's defaults (80% of RAM, then spilling to a folder beside the
// database up to 90% of the free disk) are replaced by a memory limit of 8GB and no spilling,
// so a plan that does not fit fails instead of filling the disk. DUCKDB_MEMORY_LIMIT and
// DUCKDB_TEMP_DIR (a folder: spilling on, capped by DUCKDB_MAX_TEMP, default 4GB) change that.
const config = {
  access_mode: 'READ_ONLY',
  memory_limit: process.env.DUCKDB_MEMORY_LIMIT || '8GB',
  temp_directory: process.env.DUCKDB_TEMP_DIR || '',
};
if (process.env.DUCKDB_TEMP_DIR) config.max_temp_directory_size = process.env.DUCKDB_MAX_TEMP || '4GB';
if (opts.threads) config.threads = String(opts.threads);
const instance = await DuckDBInstance.create(opts.db, config);
const conn = await instance.connect();

const vars = { ...opts.set };
for (const it of script) {
  if (it.kind === 'default' && !(it.args[0] in vars)) vars[it.args[0]] = it.args.slice(1).join(' ');
}

let next = null;      // 'set' or 'result': what to do with the next statement's rows
let setName = null;
const skip = [];      // one entry per open --@if: true while its statements are left out
let results = 0;
const t0 = performance.now();
for (const it of [...prelude, ...script]) {
  const skipping = skip.includes(true);
  if (it.kind === 'if') {
    if (skipping) { skip.push(true); continue; }
    const v = vars[it.args[0]];
    if (v !== 'true' && v !== 'false') die(`--@if ${it.args[0]}: value '${v}' is not true or false`);
    skip.push(v !== 'true');
    continue;
  }
  if (it.kind === 'endif') {
    if (skip.length === 0) die('--@endif without --@if');
    skip.pop();
    continue;
  }
  if (skipping) continue;
  if (it.kind === 'default') continue;
  if (it.kind === 'set') { next = 'set'; setName = it.args[0]; continue; }
  if (it.kind === 'result') { next = 'result'; continue; }
  if (it.kind !== 'stmt') die(`unknown directive --@${it.kind}`);

  const sql = substitute(it.text, vars);
  const ts = performance.now();
  try {
    if (next === 'result') {
      await conn.run(`COPY (${sql}) TO ${quote(opts.out)} (FORMAT csv, HEADER true, NULLSTR ${quote(opts.null)})`);
      results++;
    } else if (next === 'set') {
      const r = await conn.runAndReadAll(sql);
      const rows = r.getRows();
      if (rows.length === 0) die(`--@set ${setName}: the statement returned no rows`);
      const v = rows[0][0];
      vars[setName] = v === null ? 'NULL' : String(v);
    } else {
      await conn.runAndReadAll(sql);
    }
  } catch (e) {
    process.stderr.write(`run.mjs: ${opts.sql}: ${e.message}\nin: ${sql.slice(0, 400)}\n`);
    process.exit(1);
  }
  if (opts.timing) {
    process.stderr.write(`${((performance.now() - ts) / 1000).toFixed(3)} s  ${sql.replace(/\s+/g, ' ').slice(0, 100)}\n`);
  }
  next = null;
}
if (skip.length !== 0) die('--@if without --@endif');
if (results === 0) die(`${opts.sql} has no --@result statement`);
if (opts.timing) process.stderr.write(`${((performance.now() - t0) / 1000).toFixed(3)} s  total\n`);
conn.closeSync();
instance.closeSync();
