// The condition form of a report, built from the catalogue: date pickers for dates, look-up
// suggestions from the data source for item, department, employee and order numbers, lists for
// the keys with allowed values; ranges side by side. Every field starts at the key's default on
// this data source (or the value the address gives).

import { getJson } from './api.js';
import { pick, t } from './i18n.js';

function field(label, input, title) {
  const wrap = document.createElement('label');
  wrap.className = 'field';
  const span = document.createElement('span');
  span.textContent = label;
  if (title) wrap.title = title;
  wrap.append(span, input);
  return wrap;
}

function inputFor(key, value) {
  let input;
  if (key.type === 'choice') {
    input = document.createElement('select');
    if (!key.default) input.append(new Option('—', ''));
    for (const choice of key.choices || []) input.append(new Option(pick(choice.caption), choice.value));
  } else {
    input = document.createElement('input');
    input.type = key.type === 'date' ? 'date' : key.type === 'integer' ? 'number' : 'text';
    if (key.type === 'code' || key.type === 'text') input.autocomplete = 'off';
    if (key.default && key.type !== 'date') input.placeholder = key.default;
  }
  input.name = key.key;
  input.value = value !== undefined ? value : key.default || '';
  if (key.suggest) attachSuggestions(input, key.suggest);
  return input;
}

// Suggestions as the user types: numbers beginning with the text, or names containing it.
function attachSuggestions(input, list) {
  const datalist = document.createElement('datalist');
  datalist.id = `suggest-${input.name}`;
  input.setAttribute('list', datalist.id);
  let timer = 0;
  let asked = null;
  const ask = async () => {
    const text = input.value.trim();
    if (text === asked) return;
    asked = text;
    try {
      const answer = await getJson(`/api/lookups/codes?list=${encodeURIComponent(list)}&q=${encodeURIComponent(text)}&limit=20`);
      if (input.value.trim() !== text) return;
      datalist.replaceChildren(...answer.items.map((item) => {
        const option = document.createElement('option');
        option.value = item.number;
        option.label = item.name || '';
        return option;
      }));
    } catch (e) {
      datalist.replaceChildren();
    }
  };
  input.addEventListener('input', () => {
    clearTimeout(timer);
    timer = setTimeout(ask, 200);
  });
  input.addEventListener('focus', () => { if (!datalist.children.length) ask(); });
  input.datalist = datalist;
}

export class ConditionForm {
  constructor(container) { this.container = container; }

  // Builds the form of `report` with the values of `given` ({key: value}, from the address).
  build(report, given = {}) {
    this.report = report;
    this.inputs = new Map();
    const lower = new Map(Object.entries(given).map(([k, v]) => [k.toLowerCase(), v]));
    const fragment = document.createDocumentFragment();
    const more = document.createElement('details');
    more.className = 'more-conditions';
    const summary = document.createElement('summary');
    summary.textContent = t('moreConditions');
    const moreFields = document.createElement('div');
    moreFields.className = 'fields';
    more.append(summary, moreFields);
    const byKey = new Map(report.conditions.map((k) => [k.key, k]));
    const placed = new Set();
    // The dates and the status lists come first; the number ranges and the rest of a report's
    // conditions fold away under "more conditions" (open when the address gives one of them).
    let main = true;
    for (const key of report.conditions) {
      if (placed.has(key.key)) continue;
      placed.add(key.key);
      const row = document.createElement('div');
      row.className = 'field-row';
      const input = inputFor(key, lower.get(key.key.toLowerCase()));
      this.inputs.set(key.key, input);
      row.append(field(pick(key.caption), input, key.key));
      if (input.datalist) row.append(input.datalist);
      const end = key.range_end && byKey.get(key.range_end);
      if (end) {
        placed.add(end.key);
        const endInput = inputFor(end, lower.get(end.key.toLowerCase()));
        this.inputs.set(end.key, endInput);
        row.append(field(pick(end.caption), endInput, end.key));
        if (endInput.datalist) row.append(endInput.datalist);
        row.classList.add('range');
      }
      if (main && (key.type === 'code' || key.type === 'text' || key.type === 'orderby') && fragment.children.length) {
        main = false;
      }
      if (main) {
        fragment.append(row);
      } else {
        moreFields.append(row);
        if (lower.has(key.key.toLowerCase()) || (end && lower.has(end.key.toLowerCase()))) more.open = true;
      }
    }
    if (report.takes_period) {
      const row = document.createElement('div');
      row.className = 'field-row range';
      this.year = numberInput('year', given.year ?? (report.period && report.period.year));
      this.period = numberInput('period', given.period ?? (report.period && report.period.period));
      row.append(field(t('year'), this.year), field(t('period'), this.period));
      fragment.append(row);
    } else {
      this.year = this.period = null;
    }
    if (report.takes_alarm_days) {
      this.alarmDays = numberInput('alarm_days', given.alarm_days);
      if (report.alarm_days !== undefined) this.alarmDays.placeholder = String(report.alarm_days);
      const row = document.createElement('div');
      row.className = 'field-row';
      row.append(field(t('alarmDays'), this.alarmDays));
      fragment.append(row);
    } else {
      this.alarmDays = null;
    }
    if (moreFields.children.length) fragment.append(more);
    this.container.replaceChildren(fragment);
  }

  // What the form holds: {conditions, year, period, alarm_days}, empty fields left out.
  values() {
    const conditions = {};
    for (const [key, input] of this.inputs) {
      if (input.value.trim() !== '') conditions[key] = input.value.trim();
    }
    const out = { conditions };
    for (const [name, input] of [['year', this.year], ['period', this.period], ['alarm_days', this.alarmDays]]) {
      if (input && input.value.trim() !== '') out[name] = Number(input.value);
    }
    return out;
  }
}

function numberInput(name, value) {
  const input = document.createElement('input');
  input.type = 'number';
  input.name = name;
  input.value = value !== undefined && value !== null ? value : '';
  return input;
}
