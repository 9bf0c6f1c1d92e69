// The result table: only the rows in view are in the page (a result can have millions), under
// a header that stays in place. Subtotal and total rows are styled apart; numbers are aligned
// and shown at their column's scale. Sorting and the quick filter work on the detail rows
// (subtotals and totals would no longer add up, so they are hidden meanwhile); the column
// chooser shows any of the result's columns.

import { decimalsOf, formatValue, isNumeric } from './format.js';
import { pick } from './i18n.js';
import { RowStore } from './store.js';

const ROW_HEIGHT = 26;
const MAX_HEIGHT = 30_000_000;
const KIND_CLASS = { s: 'row-subtotal', t: 'row-total' };

export class ResultTable {
  constructor(container, { onCellLink } = {}) {
    this.container = container;
    this.onCellLink = onCellLink;
    this.wrap = document.createElement('div');
    this.wrap.className = 'table-wrap';
    this.table = document.createElement('table');
    this.table.className = 'result';
    this.colgroup = document.createElement('colgroup');
    this.thead = document.createElement('thead');
    this.tbody = document.createElement('tbody');
    this.table.append(this.colgroup, this.thead, this.tbody);
    this.wrap.append(this.table);
    container.append(this.wrap);
    this.wrap.addEventListener('scroll', () => this.schedule());
    window.addEventListener('resize', () => this.schedule());
    this.reset([]);
  }

  // A new result: its columns ({name, type, scale, caption}); rows follow through append().
  reset(columns, visibleNames) {
    this.columns = columns.map((c) => ({ ...c, seenDecimals: 0 }));
    this.store = new RowStore(this.columns);
    this.sortColumn = -1;
    this.sortDescending = false;
    this.filterText = '';
    this.order = null;  // row indices shown, when sorted or filtered
    this.widths = null;
    this.setVisible(visibleNames);
  }

  setVisible(names) {
    const wanted = names && names.length ? new Set(names.map((n) => n.toLowerCase())) : null;
    this.visible = this.columns
      .map((c, i) => i)
      .filter((i) => !wanted || wanted.has(this.columns[i].name.toLowerCase()));
    this.widths = null;
    this.renderHeader();
    this.schedule();
  }

  visibleNames() { return this.visible.map((i) => this.columns[i].name); }

  append(kinds, rows) {
    // The decimals each number column needs, until it needs as many as it can show.
    const open = this.columns
      .map((c, i) => (c.type === 'number' && c.seenDecimals < Math.min(6, c.scale || 6) ? i : -1))
      .filter((i) => i >= 0);
    for (const i of open) {
      const column = this.columns[i];
      for (const row of rows) {
        const value = row[i];
        if (typeof value === 'number' && !Number.isInteger(value)) {
          const d = decimalsOf(value);
          if (d > column.seenDecimals) column.seenDecimals = d;
        }
      }
    }
    this.store.append(kinds, rows);
    if (!this.widths && this.store.length >= 50) this.renderHeader();
    this.schedule();
  }

  // All rows are in: a sort or filter chosen meanwhile now covers them all.
  finish() {
    if (!this.widths) this.renderHeader();
    if (this.order) this.applyView();
    this.schedule();
  }

  rowCount() { return this.store.length; }
  shownCount() { return this.order ? this.order.length : this.store.length; }

  // Column widths from the captions and the first rows, so the layout stays put while rows
  // stream in and as the view scrolls.
  computeWidths() {
    const sample = Math.min(200, this.store.length);
    this.widths = this.visible.map((i) => {
      const column = this.columns[i];
      let chars = textWidth(pick(column.caption) || column.name) + 2;
      for (let r = 0; r < sample; r++) chars = Math.max(chars, textWidth(formatValue(column, this.store.get(r, i))));
      return Math.min(360, Math.max(56, chars * 9 + 24));
    });
  }

  renderHeader() {
    if (this.store.length) this.computeWidths();
    this.colgroup.replaceChildren();
    this.thead.replaceChildren();
    const tr = document.createElement('tr');
    let total = 0;
    this.visible.forEach((i, k) => {
      const column = this.columns[i];
      const col = document.createElement('col');
      const width = this.widths ? this.widths[k] : 120;
      col.style.width = `${width}px`;
      total += width;
      this.colgroup.append(col);
      const th = document.createElement('th');
      th.textContent = pick(column.caption) || column.name;
      th.title = column.name;
      th.dataset.column = column.name;
      if (isNumeric(column)) th.className = 'num';
      if (this.sortColumn === i) th.classList.add(this.sortDescending ? 'sorted-desc' : 'sorted-asc');
      th.addEventListener('click', () => this.toggleSort(i));
      tr.append(th);
    });
    this.table.style.width = `${total}px`;
    this.thead.append(tr);
  }

  toggleSort(i) {
    if (this.sortColumn !== i) {
      this.sortColumn = i;
      this.sortDescending = false;
    } else if (!this.sortDescending) {
      this.sortDescending = true;
    } else {
      this.sortColumn = -1;
    }
    this.applyView();
    this.renderHeader();
    this.schedule();
  }

  setFilter(text) {
    this.filterText = text.trim().toLowerCase();
    this.applyView();
    this.wrap.scrollTop = 0;
    this.schedule();
  }

  // The rows shown when sorted or filtered: detail rows only. Texts are matched and ranked once
  // per distinct text, not once per row, so that a million rows take a moment, not minutes.
  applyView() {
    if (this.sortColumn < 0 && !this.filterText) {
      this.order = null;
      this.dispatch();
      return;
    }
    const store = this.store;
    const text = this.filterText;
    const tests = this.visible.map((i) => {
      const column = this.columns[i];
      const texts = store.texts(i);
      if (texts) {
        const hits = texts.texts.map((t) => formatValue(column, t).toLowerCase().includes(text));
        return (r) => texts.ids[r] >= 0 && hits[texts.ids[r]];
      }
      return (r) => {
        const value = store.get(r, i);
        return value !== null && String(value).toLowerCase().includes(text);
      };
    });
    const order = [];
    for (let r = 0; r < store.length; r++) {
      if (store.kind(r) !== 'd') continue;
      if (text && !tests.some((test) => test(r))) continue;
      order.push(r);
    }
    if (this.sortColumn >= 0) {
      const i = this.sortColumn;
      const sign = this.sortDescending ? -1 : 1;
      const texts = store.texts(i);
      let key;
      if (texts) {
        const collator = new Intl.Collator(document.documentElement.lang, { numeric: true });
        const byText = texts.texts.map((t, id) => id).sort((a, b) => collator.compare(texts.texts[a], texts.texts[b]));
        const rank = new Int32Array(texts.texts.length);
        byText.forEach((id, k) => { rank[id] = k; });
        key = (r) => (texts.ids[r] < 0 ? null : rank[texts.ids[r]]);
      } else {
        key = (r) => store.get(r, i);
      }
      order.sort((a, b) => {
        const x = key(a);
        const y = key(b);
        if (x === null) return y === null ? a - b : 1;
        if (y === null) return -1;
        const c = typeof x === 'number' && typeof y === 'number' ? x - y : String(x) < String(y) ? -1 : String(x) > String(y) ? 1 : 0;
        return c !== 0 ? sign * c : a - b;
      });
    }
    this.order = order;
    this.dispatch();
  }

  dispatch() { this.container.dispatchEvent(new CustomEvent('viewchange')); }

  schedule() {
    if (this.pending) return;
    this.pending = requestAnimationFrame(() => {
      this.pending = 0;
      this.renderRows();
    });
  }

  renderRows() {
    const count = this.shownCount();
    const height = this.wrap.clientHeight || 600;
    // Browsers cannot lay out elements much taller than 30 million pixels: beyond that the
    // scroll range stands for the rows in proportion.
    const full = count * ROW_HEIGHT;
    const total = Math.min(full, MAX_HEIGHT);
    const top = Math.min(this.wrap.scrollTop, Math.max(0, total - height));
    const realTop = full > total ? top * (full - height) / (total - height) : top;
    const first = Math.max(0, Math.floor(realTop / ROW_HEIGHT) - 10);
    const last = Math.min(count, first + Math.ceil(height / ROW_HEIGHT) + 20);
    const above = Math.max(0, top - (realTop - first * ROW_HEIGHT));
    const fragment = document.createDocumentFragment();
    fragment.append(spacer(above, this.visible.length));
    for (let p = first; p < last; p++) {
      const r = this.order ? this.order[p] : p;
      const tr = document.createElement('tr');
      const kind = this.store.kind(r);
      if (KIND_CLASS[kind]) tr.className = KIND_CLASS[kind];
      for (const i of this.visible) {
        const column = this.columns[i];
        const td = document.createElement('td');
        const text = formatValue(column, this.store.get(r, i));
        if (isNumeric(column)) td.className = 'num';
        const link = kind === 'd' && text && this.onCellLink ? this.onCellLink(column, this.store, r) : null;
        if (link) {
          const a = document.createElement('a');
          a.href = link.href;
          a.title = link.title;
          a.textContent = text;
          td.append(a);
        } else {
          td.textContent = text;
        }
        tr.append(td);
      }
      fragment.append(tr);
    }
    fragment.append(spacer(total - above - (last - first) * ROW_HEIGHT, this.visible.length));
    this.tbody.replaceChildren(fragment);
  }
}

function spacer(height, span) {
  const tr = document.createElement('tr');
  tr.className = 'spacer';
  const td = document.createElement('td');
  td.colSpan = Math.max(1, span);
  td.style.height = `${Math.max(0, height)}px`;
  tr.append(td);
  return tr;
}

// Characters as wide as a Latin letter: CJK characters count twice.
function textWidth(text) {
  let width = 0;
  for (const ch of text) width += ch.charCodeAt(0) > 0x2e80 ? 2 : 1;
  return width;
}

