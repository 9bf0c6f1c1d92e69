// The report viewer: log in, pick a report, fill its conditions, run it and read the rows as
// they stream in, with progress and a cancel button while it runs. The address holds the
// report and its conditions (#/406?BDate=...), so a view can be bookmarked and shared; a task
// order in 400 or 410 leads to its material usage in 406.

import { ApiError, getJson, postForJson, postStream, setCsrf } from './api.js';
import { buildChart, chartColumns, hasChart } from './charts.js';
import { ConditionForm } from './form.js';
import { lang, pick, setLang, t } from './i18n.js';
import { ResultTable } from './table.js';

const $ = (id) => document.getElementById(id);

const state = {
  catalog: null,
  report: null,
  running: null,   // the AbortController of the run under way
  routed: null,    // the address last acted on
  lastValues: null,
  showChart: true,
};

const form = new ConditionForm($('fields'));
const table = new ResultTable($('table'), { onCellLink: drillLink });

// Timings of the last run, for people (the progress line) and for measurements.
window.orvTiming = {};

// A report's name: its number and title, the title cut at its colon where the English title
// goes on to describe the report.
function reportName(report) { return `${report.number} ${pick(report.title).split(':')[0]}`; }

function translatePage() {
  for (const node of document.querySelectorAll('[data-i18n]')) node.textContent = t(node.dataset.i18n);
  for (const node of document.querySelectorAll('[data-i18n-placeholder]')) node.placeholder = t(node.dataset.i18nPlaceholder);
  $('lang-toggle').textContent = t('language');
  document.title = state.report ? reportName(state.report) : t('appTitle');
  if (state.catalog) {
    for (const option of $('report-picker').options) option.textContent = reportName(findReport(option.value));
  }
  if (state.report) $('report-title').textContent = `${state.report.number} ${pick(state.report.title)}`;
  if (state.summary) $('progress').textContent = summaryText(state.summary);
}

function summaryText(summary) {
  return summary.cancelled ? t('cancelled') : `${summary.rows} ${t('rows')} (${summary.seconds} ${t('seconds')})`;
}

function findReport(number) { return state.catalog.reports.find((r) => r.number === number); }

function showError(error) {
  const box = $('error');
  if (!error) {
    box.hidden = true;
    return;
  }
  let text = error.message || String(error);
  if (error.number !== undefined) text += ` (${t('errorNumber')} ${error.number}${error.source ? `, ${error.source}` : ''})`;
  box.textContent = text;
  box.hidden = false;
}

function showLogin(message) {
  $('workspace').hidden = true;
  $('logout').hidden = true;
  $('report-picker').hidden = true;
  $('who').textContent = '';
  $('login').hidden = false;
  const box = $('login-error');
  box.hidden = !message;
  box.textContent = message || '';
}

async function startSession(session) {
  setCsrf(session.csrf);
  $('who').textContent = `${session.user} (${session.role})`;
  $('logout').hidden = false;
  $('login').hidden = true;
  state.catalog = await getJson('/api/reports');
  $('source').textContent = state.catalog.source.label || '';
  const picker = $('report-picker');
  picker.replaceChildren(...state.catalog.reports.map((r) => new Option(reportName(r), r.number)));
  picker.hidden = false;
  $('workspace').hidden = false;
  state.routed = null;
  route();
}

// The address: "#/<number>?KEY=VALUE&..."; the reserved year, period and alarm_days too.
function parseAddress() {
  const match = /^#\/(\d+)(?:\?(.*))?$/.exec(location.hash);
  if (!match) return null;
  const given = {};
  for (const [key, value] of new URLSearchParams(match[2] || '')) given[key] = value;
  return { number: match[1], given };
}

function addressOf(number, values) {
  const params = new URLSearchParams();
  for (const [key, value] of Object.entries(values.conditions)) params.append(key, value);
  for (const name of ['year', 'period', 'alarm_days']) if (values[name] !== undefined) params.append(name, values[name]);
  const query = params.toString();
  return `#/${number}${query ? `?${query}` : ''}`;
}

function route() {
  if (!state.catalog || location.hash === state.routed) return;
  state.routed = location.hash;
  const address = parseAddress();
  const report = (address && findReport(address.number)) || state.catalog.reports[0];
  const given = address && report.number === address.number ? address.given : {};
  selectReport(report, given);
  if (Object.keys(given).length) run(undefined, { replace: true });
}

function selectReport(report, given = {}) {
  cancelRun();
  state.report = report;
  $('report-picker').value = report.number;
  form.build(report, given);
  $('result').hidden = true;
  $('progress').textContent = '';
  state.summary = null;
  showError(null);
  translatePage();
}

function cancelRun() {
  if (state.running) state.running.abort();
  state.running = null;
}

function setRunning(running) {
  $('run').disabled = running;
  $('cancel').hidden = !running;
}

// The columns shown: the ones chosen for this report before, else its main columns, else all.
function shownColumns(report) {
  const saved = localStorage.getItem(`orv.columns.${report.number}`);
  const names = saved ? JSON.parse(saved) : report.main_columns;
  const known = new Set(report.columns.map((c) => c.name));
  const wanted = (names || []).filter((n) => known.has(n));
  return wanted.length ? wanted : report.columns.map((c) => c.name);
}

// The columns a run asks for: those shown, and those the chart and the drill-down read. A
// report's other columns stay on the server (a million rows of every column would not fit in
// a page); choosing one of them runs the report again.
function requestedColumns(report) {
  const names = new Set(shownColumns(report));
  for (const name of chartColumns(report.number)) names.add(name);
  if (['400', '410'].includes(report.number)) ['FMOBillNO', 'FDate'].forEach((n) => names.add(n));
  return report.columns.map((c) => c.name).filter((n) => names.has(n));
}

// Runs the report with the form's values (or `given`). The address then names the run: a new
// entry of the browser's history, or in place of the address that asked for the run.
async function run(given, { replace = false } = {}) {
  cancelRun();
  const report = state.report;
  const values = given || form.values();
  const address = addressOf(report.number, values);
  if (address !== location.hash) {
    if (replace) history.replaceState(null, '', address);
    else history.pushState(null, '', address);
  }
  state.routed = location.hash;
  state.lastValues = values;
  showError(null);
  const controller = new AbortController();
  state.running = controller;
  setRunning(true);
  const started = performance.now();
  window.orvTiming = { report: report.number, started: Date.now() };
  const progress = $('progress');
  progress.textContent = `${t('running')}…`;
  state.summary = null;
  let received = 0;
  let firstShown = false;
  try {
    const body = { ...values, columns: requestedColumns(report) };
    await postStream(`/api/reports/${report.number}`, body, controller.signal, (item) => {
      if (controller !== state.running) return;
      const seconds = ((performance.now() - started) / 1000).toFixed(1);
      switch (item.type) {
        case 'step':
          progress.textContent = `${t('running')}… ${t('step')} ${item.step}: ${item.name} (${seconds} ${t('seconds')})`;
          break;
        case 'columns': {
          const captions = new Map(report.columns.map((c) => [c.name, c.caption]));
          const columns = item.columns.map((c) => ({ ...c, caption: c.caption || captions.get(c.name) }));
          window.orvTiming.columnsMs = performance.now() - started;
          table.reset(columns, shownColumns(report));
          state.total = item.row_count;
          $('result').hidden = false;
          $('chart').hidden = true;
          $('chart-toggle').hidden = !hasChart(report.number);
          buildColumnChooser();
          updateExports();
          break;
        }
        case 'rows':
          table.append(item.kinds, item.rows);
          received += item.rows.length;
          if (!firstShown) {
            firstShown = true;
            // The rows are on screen at the next frame.
            requestAnimationFrame(() => {
              window.orvTiming.firstRowsMs = performance.now() - started;
            });
          }
          progress.textContent = `${received} / ${state.total} ${t('rows')} (${seconds} ${t('seconds')})`;
          updateCount();
          break;
        case 'end':
          table.finish();
          window.orvTiming.endMs = performance.now() - started;
          window.orvTiming.rows = item.row_count;
          state.summary = { rows: item.row_count, seconds };
          progress.textContent = summaryText(state.summary);
          updateCount();
          drawChart();
          break;
        case 'error':
          throw new ApiError(item.error.status, item);
        default:
          break;
      }
    });
  } catch (error) {
    if (controller !== state.running) return;
    if (error.name === 'AbortError') {
      state.summary = { cancelled: true };
      progress.textContent = t('cancelled');
    } else if (error.status === 401) {
      showLogin(t('sessionEnded'));
    } else {
      progress.textContent = '';
      showError(error);
    }
  } finally {
    if (controller === state.running) {
      state.running = null;
      setRunning(false);
      window.orvTiming.done = true;
    }
  }
}

function updateCount() {
  const shown = table.shownCount();
  const all = table.rowCount();
  $('row-count').textContent = shown === all ? `${all} ${t('rows')}` : `${shown} ${t('of')} ${all} ${t('rows')}`;
  $('note').textContent = table.order ? t('subtotalsHidden') : '';
}

function buildColumnChooser() {
  const list = $('column-list');
  const visible = new Set(table.visibleNames());
  list.replaceChildren(...state.report.columns.map((column) => {
    const label = document.createElement('label');
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.value = column.name;
    box.checked = visible.has(column.name);
    box.addEventListener('change', () => {
      const names = [...list.querySelectorAll('input:checked')].map((b) => b.value);
      setColumns(names);
    });
    label.append(box, ` ${pick(column.caption) || column.name}`);
    label.title = column.name;
    return label;
  }));
}

// Shows the chosen columns; when one of them was not asked for, runs the report again.
function setColumns(names) {
  localStorage.setItem(`orv.columns.${state.report.number}`, JSON.stringify(names));
  const loaded = new Set(table.columns.map((c) => c.name));
  if (names.some((n) => !loaded.has(n)) && state.lastValues) {
    run(state.lastValues, { replace: true });
    return;
  }
  table.setVisible(names);
  updateExports();
}

// Export links: the same report and conditions, the columns shown, captions in this language.
function updateExports() {
  const values = state.lastValues || form.values();
  const params = new URLSearchParams();
  for (const [key, value] of Object.entries(values.conditions)) params.append(key, value);
  for (const name of ['year', 'period', 'alarm_days']) if (values[name] !== undefined) params.append(name, values[name]);
  params.append('columns', table.visibleNames().join(','));
  params.append('lang', lang());
  const number = state.report.number;
  $('export-csv').href = `/api/reports/${number}.csv?${params}`;
  $('export-xlsx').href = `/api/reports/${number}.xlsx?${params}`;
  $('export-json').href = `/api/reports/${number}.json?${params}`;
}

function drawChart() {
  const box = $('chart');
  const chart = state.showChart ? buildChart(state.report.number, table.store) : null;
  box.replaceChildren(...(chart ? [chart] : []));
  box.hidden = !chart;
}

// In 400 and 410 a task order's number leads to 406 for that task order.
function drillLink(column, store, row) {
  if (!state.report || !['400', '410'].includes(state.report.number) || column.name !== 'FMOBillNO') return null;
  const number = store.get(row, store.columns.indexOf(column));
  const dateIndex = store.columns.findIndex((c) => c.name === 'FDate');
  const dateValue = dateIndex >= 0 ? store.get(row, dateIndex) : null;
  const date = dateValue ? String(dateValue).slice(0, 10) : null;
  const params = new URLSearchParams({
    BMOBillNo: number,
    EMOBillNo: number,
    BDate: date || '1900-01-01',
    EDate: date || '2099-12-31',
  });
  return { href: `#/406?${params}`, title: t('drillTitle') };
}

function wire() {
  $('login-form').addEventListener('submit', async (event) => {
    event.preventDefault();
    const data = new FormData(event.target);
    try {
      const session = await postForJson('/api/login', { user: data.get('user'), password: data.get('password') });
      event.target.reset();
      await startSession(session);
    } catch (error) {
      showLogin(`${t('loginFailed')}: ${error.message}`);
    }
  });
  $('logout').addEventListener('click', async () => {
    cancelRun();
    try { await postForJson('/api/logout', {}); } catch (e) { /* ended already */ }
    showLogin();
  });
  $('report-picker').addEventListener('change', (event) => {
    const report = findReport(event.target.value);
    history.pushState(null, '', `#/${report.number}`);
    state.routed = location.hash;
    selectReport(report);
  });
  $('conditions').addEventListener('submit', (event) => {
    event.preventDefault();
    run();
  });
  $('cancel').addEventListener('click', () => {
    cancelRun();
    setRunning(false);
    state.summary = { cancelled: true };
    $('progress').textContent = t('cancelled');
  });
  let filterTimer = 0;
  $('quick-filter').addEventListener('input', (event) => {
    clearTimeout(filterTimer);
    filterTimer = setTimeout(() => {
      table.setFilter(event.target.value);
      updateCount();
    }, 200);
  });
  $('table').addEventListener('viewchange', updateCount);
  $('columns-main').addEventListener('click', () => {
    const main = state.report.main_columns.length ? state.report.main_columns : state.report.columns.map((c) => c.name);
    setColumns(main);
    buildColumnChooser();
  });
  $('columns-all').addEventListener('click', () => {
    setColumns(state.report.columns.map((c) => c.name));
    buildColumnChooser();
  });
  $('chart-toggle').addEventListener('click', () => {
    state.showChart = !state.showChart;
    drawChart();
  });
  $('lang-toggle').addEventListener('click', () => {
    setLang(lang() === 'zh' ? 'en' : 'zh');
    if (state.report) {
      const values = form.values();
      form.build(state.report, { ...values.conditions, year: values.year, period: values.period, alarm_days: values.alarm_days });
    }
    translatePage();
    table.setVisible(table.visibleNames());
    if (!$('result').hidden) {
      buildColumnChooser();
      updateExports();
      updateCount();
      drawChart();
    }
  });
  window.addEventListener('hashchange', route);
  window.addEventListener('popstate', route);
}

async function start() {
  translatePage();
  wire();
  try {
    await startSession(await getJson('/api/session'));
  } catch (error) {
    showLogin(error.status === 401 ? '' : error.message);
  }
}

start();
