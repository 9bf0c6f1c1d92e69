// One chart per report where a chart helps, drawn as plain SVG from the detail rows:
//   401 planned vs finished by item, 406 standard vs actual by material, 410 finish rate by
//   month, 498 cost structure, 499 work-in-process roll-forward.

import { pick, t } from './i18n.js';

const NS = 'http://www.w3.org/2000/svg';
const COLORS = ['#3b6fb6', '#e08a2c', '#4b9b5f', '#b64b4b', '#7a5bb0', '#8c6d3f', '#3a9aa3'];
const TOP = 20;  // pixels above the plot
const MOST = 20;  // groups shown at most, the largest first

function el(name, attributes = {}, text) {
  const node = document.createElementNS(NS, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

function numberText(value) {
  return new Intl.NumberFormat('en-US', { maximumFractionDigits: Math.abs(value) < 10 ? 2 : 0 }).format(value);
}

// Sums of `fields` per group (the value of column `group`, or one group when it is null), over
// the detail rows; the `limit` groups with the largest first field. A million rows take a
// moment: groups are told apart by the column's text numbers, values read from typed arrays.
function totals(result, group, fields, limit) {
  const index = (name) => result.columns.findIndex((c) => c.name.toLowerCase() === name.toLowerCase());
  const columns = fields.map(index);
  const groupColumn = group ? index(group) : -1;
  if (columns.some((i) => i < 0) || (group && groupColumn < 0)) return null;
  const texts = groupColumn >= 0 ? result.texts(groupColumn) : null;
  const groups = new Map();
  for (let r = 0; r < result.length; r++) {
    if (result.kind(r) !== 'd') continue;
    const key = groupColumn < 0 ? '' : texts ? texts.ids[r] : result.get(r, groupColumn);
    if (key === null || key === -1) continue;
    let sums = groups.get(key);
    if (!sums) groups.set(key, (sums = new Float64Array(columns.length)));
    for (let k = 0; k < columns.length; k++) sums[k] += Number(result.get(r, columns[k])) || 0;
  }
  let list = [...groups.entries()].map(([key, values]) => ({
    label: texts ? texts.texts[key] : key,
    values: [...values],
  }));
  if (limit) list = list.sort((a, b) => b.values[0] - a.values[0]).slice(0, limit);
  return list;
}

// Vertical bars, a group of bars per label.
function groupedBars(groups, series, { percent = false } = {}) {
  const width = Math.max(480, groups.length * (series.length * 14 + 14) + 80);
  const height = 260;
  const left = 64;
  const bottom = 70;
  const max = Math.max(1e-9, ...groups.flatMap((g) => g.values));
  const svg = el('svg', { viewBox: `0 0 ${width} ${height}`, width, height, class: 'chart', role: 'img' });
  const plot = height - bottom - TOP;
  for (let k = 0; k <= 4; k++) {
    const y = TOP + plot - (plot * k) / 4;
    svg.append(el('line', { x1: left, x2: width - 10, y1: y, y2: y, class: 'grid' }));
    svg.append(el('text', { x: left - 6, y: y + 4, class: 'axis', 'text-anchor': 'end' },
      numberText((max * k) / 4) + (percent ? '%' : '')));
  }
  const step = (width - left - 10) / Math.max(1, groups.length);
  const bar = Math.max(3, Math.min(16, (step - 6) / series.length));
  groups.forEach((group, g) => {
    const x0 = left + g * step + (step - bar * series.length) / 2;
    group.values.forEach((value, s) => {
      const h = (plot * Math.max(0, value)) / max;
      const rect = el('rect', { x: x0 + s * bar, y: TOP + plot - h, width: bar - 1, height: h, fill: COLORS[s % COLORS.length] });
      rect.append(el('title', {}, `${group.label} · ${series[s]}: ${numberText(value)}${percent ? '%' : ''}`));
      svg.append(rect);
    });
    const label = String(group.label);
    svg.append(el('text', {
      x: left + g * step + step / 2, y: TOP + plot + 12, class: 'axis',
      transform: `rotate(35 ${left + g * step + step / 2} ${TOP + plot + 12})`,
    }, label.length > 14 ? `${label.slice(0, 13)}…` : label));
  });
  legend(svg, series, left, 12);
  return svg;
}

// Horizontal bars, one per part, with its share of the whole.
function parts(items) {
  const width = 560;
  const height = items.length * 26 + 30;
  const svg = el('svg', { viewBox: `0 0 ${width} ${height}`, width, height, class: 'chart', role: 'img' });
  const whole = items.reduce((sum, item) => sum + Math.max(0, item.value), 0) || 1;
  const max = Math.max(1e-9, ...items.map((i) => i.value));
  items.forEach((item, k) => {
    const y = 10 + k * 26;
    svg.append(el('text', { x: 150, y: y + 14, class: 'axis', 'text-anchor': 'end' }, item.label));
    const w = (300 * Math.max(0, item.value)) / max;
    svg.append(el('rect', { x: 158, y, width: w, height: 18, fill: COLORS[k % COLORS.length] }));
    svg.append(el('text', { x: 164 + w, y: y + 14, class: 'axis' },
      `${numberText(item.value)} (${((100 * item.value) / whole).toFixed(1)}%)`));
  });
  return svg;
}

// A waterfall: start, then each change, then the end.
function waterfall(steps) {
  const width = 520;
  const height = 260;
  const left = 70;
  const plot = height - 40 - TOP;
  let running = 0;
  const bars = steps.map((s) => {
    const from = s.total ? 0 : running;
    const to = s.total ? s.value : running + s.value;
    running = to;
    return { ...s, from, to };
  });
  const max = Math.max(1e-9, ...bars.map((b) => Math.max(b.from, b.to)));
  const svg = el('svg', { viewBox: `0 0 ${width} ${height}`, width, height, class: 'chart', role: 'img' });
  const y = (v) => TOP + plot - (plot * v) / max;
  const step = (width - left - 10) / bars.length;
  bars.forEach((b, k) => {
    const top = y(Math.max(b.from, b.to));
    const color = b.total ? COLORS[0] : b.value >= 0 ? COLORS[2] : COLORS[3];
    const rect = el('rect', { x: left + k * step + 10, y: top, width: step - 20, height: Math.max(1, Math.abs(y(b.from) - y(b.to))), fill: color });
    rect.append(el('title', {}, `${b.label}: ${numberText(b.value)}`));
    svg.append(rect);
    svg.append(el('text', { x: left + k * step + step / 2, y: height - 22, class: 'axis', 'text-anchor': 'middle' }, b.label));
    svg.append(el('text', { x: left + k * step + step / 2, y: top - 4, class: 'axis', 'text-anchor': 'middle' }, numberText(b.value)));
  });
  return svg;
}

function legend(svg, series, x, y) {
  series.forEach((name, s) => {
    svg.append(el('rect', { x: x + s * 120, y: y - 9, width: 10, height: 10, fill: COLORS[s % COLORS.length] }));
    svg.append(el('text', { x: x + s * 120 + 14, y, class: 'axis' }, name));
  });
}

const builders = {
  401: (result) => {
    const groups = totals(result, 'FItemNumber', ['FBaseQty', 'FFinishBQty'], MOST);
    return groups && groupedBars(groups, [t('planned'), t('finished')]);
  },
  406: (result) => {
    const groups = totals(result, 'FItemNumber', ['FBSStandardQty', 'FBSfactQty'], MOST);
    return groups && groupedBars(groups, [t('standard'), t('actual')]);
  },
  410: (result) => {
    // The month of the planned finish date: the dates' first seven characters.
    const groups = totals(result, 'FPlanDate', ['FPlanQty', 'FFinishQty']);
    if (!groups) return null;
    const months = new Map();
    for (const g of groups) {
      const month = String(g.label).slice(0, 7);
      const sums = months.get(month) || [0, 0];
      sums[0] += g.values[0];
      sums[1] += g.values[1];
      months.set(month, sums);
    }
    const rates = [...months.entries()].sort((a, b) => (a[0] < b[0] ? -1 : 1))
      .map(([label, [plan, done]]) => ({ label, values: [plan ? (100 * done) / plan : 0] }));
    return groupedBars(rates, [t('finishRate')], { percent: true });
  },
  498: (result) => {
    const fees = ['FMarterialFee', 'FAuxMarterialFee', 'FWorkFee', 'FMakingFee', 'FDepreciationFee', 'FWaterElecFee', 'FOtherFee'];
    const sums = totals(result, null, fees);
    if (!sums || !sums.length) return null;
    const captions = fees.map((name) => result.columns.find((c) => c.name === name));
    return parts(fees.map((name, k) => ({ label: pick(captions[k].caption) || name, value: sums[0].values[k] })));
  },
  499: (result) => {
    const sums = totals(result, null, ['FPeriodStartCost', 'FCurInCost', 'FCurOutCost', 'FPeriodEndCost']);
    if (!sums || !sums.length) return null;
    const [start, input, output, end] = sums[0].values;
    return waterfall([
      { label: t('start'), value: start, total: true },
      { label: t('input'), value: input },
      { label: t('output'), value: -output },
      { label: t('end'), value: end, total: true },
    ]);
  },
};

// The columns each chart reads.
const CHART_COLUMNS = {
  401: ['FItemNumber', 'FBaseQty', 'FFinishBQty'],
  406: ['FItemNumber', 'FBSStandardQty', 'FBSfactQty'],
  410: ['FPlanDate', 'FPlanQty', 'FFinishQty'],
  498: ['FMarterialFee', 'FAuxMarterialFee', 'FWorkFee', 'FMakingFee', 'FDepreciationFee', 'FWaterElecFee', 'FOtherFee'],
  499: ['FPeriodStartCost', 'FCurInCost', 'FCurOutCost', 'FPeriodEndCost'],
};

export function chartColumns(number) { return CHART_COLUMNS[number] || []; }

// The chart of a report's result, or null when the report has none (or no rows for it).
export function buildChart(number, result) {
  const build = builders[number];
  if (!build || !result.length) return null;
  return build(result);
}

export function hasChart(number) { return Boolean(builders[number]); }
