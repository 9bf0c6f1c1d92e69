// The rows of a result, kept by column so that a page can hold a million of them: numbers in
// typed arrays (NaN for NULL), texts as numbers into the list of the column's distinct texts
// (item names, units and dates repeat row after row), anything else as it came.

const GROW = 1.6;

class NumberColumn {
  constructor() { this.values = new Float64Array(1024); }
  ensure(capacity) {
    if (capacity <= this.values.length) return;
    const next = new Float64Array(Math.max(capacity, Math.ceil(this.values.length * GROW)));
    next.set(this.values);
    this.values = next;
  }
  set(row, value) { this.values[row] = value === null || value === undefined ? NaN : value; }
  get(row) {
    const value = this.values[row];
    return Number.isNaN(value) ? null : value;
  }
  accepts(value) { return value === null || value === undefined || typeof value === 'number'; }
}

class TextColumn {
  constructor() {
    this.ids = new Int32Array(1024);
    this.texts = [];
    this.index = new Map();
  }
  ensure(capacity) {
    if (capacity <= this.ids.length) return;
    const next = new Int32Array(Math.max(capacity, Math.ceil(this.ids.length * GROW)));
    next.set(this.ids);
    this.ids = next;
  }
  set(row, value) {
    if (value === null || value === undefined) {
      this.ids[row] = -1;
      return;
    }
    let id = this.index.get(value);
    if (id === undefined) {
      id = this.texts.length;
      this.texts.push(value);
      this.index.set(value, id);
    }
    this.ids[row] = id;
  }
  get(row) {
    const id = this.ids[row];
    return id < 0 ? null : this.texts[id];
  }
  accepts(value) { return value === null || value === undefined || typeof value === 'string'; }
}

class AnyColumn {
  constructor() { this.values = []; }
  ensure() {}
  set(row, value) { this.values[row] = value; }
  get(row) { return this.values[row] ?? null; }
  accepts() { return true; }
}

// A column kept as anything from row `count` on: the values so far are copied over.
function widen(column, count) {
  const any = new AnyColumn();
  for (let r = 0; r < count; r++) any.values.push(column.get(r));
  return any;
}

const KIND_CODES = { d: 0, s: 1, t: 2 };
const KIND_LETTERS = ['d', 's', 't'];

export class RowStore {
  constructor(columns) {
    this.columns = columns;
    this.length = 0;
    this.kindCodes = new Uint8Array(1024);
    this.data = columns.map((c) => {
      if (c.type === 'number' || c.type === 'integer') return new NumberColumn();
      if (c.type === 'boolean') return new AnyColumn();
      return new TextColumn();
    });
  }

  append(kinds, rows) {
    const needed = this.length + rows.length;
    if (needed > this.kindCodes.length) {
      const next = new Uint8Array(Math.max(needed, Math.ceil(this.kindCodes.length * GROW)));
      next.set(this.kindCodes);
      this.kindCodes = next;
    }
    for (const column of this.data) column.ensure(needed);
    for (let k = 0; k < rows.length; k++) {
      const row = rows[k];
      const r = this.length + k;
      this.kindCodes[r] = KIND_CODES[kinds[k]] || 0;
      for (let i = 0; i < this.data.length; i++) {
        let column = this.data[i];
        const value = row[i];
        if (!column.accepts(value)) {
          column = this.data[i] = widen(column, r);
        }
        column.set(r, value);
      }
    }
    this.length = needed;
  }

  get(row, column) { return this.data[column].get(row); }

  // For a column of texts: its distinct texts and each row's index into them (-1 for NULL);
  // null for other columns.
  texts(column) {
    const data = this.data[column];
    return data instanceof TextColumn ? { texts: data.texts, ids: data.ids } : null;
  }
  kind(row) { return KIND_LETTERS[this.kindCodes[row]]; }
}
