// The report viewer in Debian's Chromium, driven through the DevTools protocol: log in, run
// report 400 for a date range, see its subtotal rows styled apart, drill down from a task order
// to its material usage (406), download the result as XLSX and CSV and check what is in them,
// switch the language. A screenshot of each page goes to the work folder.
// Usage: node browser.js BASE_URL WORK_DIR USER PASSWORD XLSX_CHECK
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const puppeteer = require('puppeteer-core');

const [base, work, user, password, xlsxCheck] = process.argv.slice(2);
const downloads = path.join(work, 'downloads');
let passed = 0;
let failed = 0;

function check(name, condition, detail) {
  if (condition) {
    passed += 1;
    console.log(`ok - ${name}`);
  } else {
    failed += 1;
    console.log(`not ok - ${name}`);
    if (detail !== undefined) console.log(`    ${String(detail).split('\n').join('\n    ')}`);
  }
}

async function waitForRun(page) {
  await page.waitForFunction(() => window.orvTiming && window.orvTiming.done, { timeout: 60000 });
}

// The cells of the rows on screen: [{kind, cells: [...]}], and the header captions.
function readTable(page) {
  return page.evaluate(() => ({
    headers: [...document.querySelectorAll('table.result thead th')].map((th) => th.textContent),
    names: [...document.querySelectorAll('table.result thead th')].map((th) => th.dataset.column),
    rows: [...document.querySelectorAll('table.result tbody tr:not(.spacer)')].map((tr) => ({
      kind: tr.className || 'detail',
      cells: [...tr.children].map((td) => td.textContent),
      weight: getComputedStyle(tr.children[0]).fontWeight,
      background: getComputedStyle(tr.children[0]).backgroundColor,
    })),
    count: document.getElementById('row-count').textContent,
  }));
}

// A finished download: Chromium makes the file under its final name (empty) when the download
// starts and writes into a .crdownload file that replaces it at the end.
async function waitForFile(suffix, since) {
  for (let i = 0; i < 200; i++) {
    const names = fs.existsSync(downloads) ? fs.readdirSync(downloads) : [];
    const busy = names.some((n) => n.endsWith('.crdownload'));
    const done = !busy && names.find((n) => {
      const stat = fs.statSync(path.join(downloads, n));
      return n.endsWith(suffix) && stat.mtimeMs >= since && stat.size > 0;
    });
    if (done) return path.join(downloads, done);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return null;
}

async function main() {
  fs.rmSync(downloads, { recursive: true, force: true });
  fs.mkdirSync(downloads, { recursive: true });
  // A browser set to Chinese (--accept-lang): the page speaks Chinese until told otherwise.
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${path.join(work, 'profile')}`, '--lang=zh-CN', '--accept-lang=zh-CN,zh'],
    defaultViewport: { width: 1400, height: 900 },
  });
  const problems = [];
  try {
    const page = await browser.newPage();
    // The answers 401 of the session check before the login and of the wrong password are
    // expected; any other failure to load, script error or refusal by the security policy is not.
    page.on('console', (message) => {
      if (message.type() === 'error' && !/status of 401/.test(message.text())) problems.push(message.text());
    });
    page.on('pageerror', (error) => problems.push(error.message));
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });

    // Log in.
    await page.goto(base, { waitUntil: 'networkidle0' });
    await page.waitForSelector('#login-form', { visible: true });
    await page.screenshot({ path: path.join(work, 'login.png') });
    await page.type('#login-form input[name=user]', user);
    await page.type('#login-form input[name=password]', 'wrong');
    await page.click('#login-form button[type=submit]');
    await page.waitForSelector('#login-error', { visible: true });
    check('a wrong password is refused', /401|登录失败|Login failed/.test(await page.$eval('#login-error', (e) => e.textContent)));
    await page.$eval('#login-form input[name=password]', (e) => { e.value = ''; });
    await page.type('#login-form input[name=password]', password);
    await page.click('#login-form button[type=submit]');
    await page.waitForSelector('#workspace', { visible: true });
    check('logged in, the report picker lists the reports',
      (await page.$$eval('#report-picker option', (o) => o.map((x) => x.value))).join(',') === '400,401,406,410,498,499');

    // Report 400 over a date range.
    await page.select('#report-picker', '400');
    await page.$eval('input[name=BDate]', (e) => { e.value = '2025-01-01'; });
    await page.$eval('input[name=EDate]', (e) => { e.value = '2025-03-31'; });
    await page.click('#run');
    await waitForRun(page);
    let table = await readTable(page);
    const subtotal = table.rows.find((r) => r.kind === 'row-subtotal');
    const detail = table.rows.find((r) => r.kind === 'detail');
    check('report 400 shows rows', table.rows.length > 5, JSON.stringify(table.count));
    check('report 400 has captions as headings', table.headers.includes('任务单号'), table.headers.join(' | '));
    check('subtotal rows are styled apart (bold, own background)',
      subtotal && detail && Number(subtotal.weight) >= 600 && subtotal.background !== detail.background,
      JSON.stringify({ subtotal, detail }));
    const address = await page.evaluate(() => location.hash);
    check('the address holds the report and its conditions',
      address.startsWith('#/400?') && address.includes('BDate=2025-01-01') && address.includes('EDate=2025-03-31'), address);
    const datesInRange = await page.evaluate(() => {
      const names = [...document.querySelectorAll('table.result thead th')].map((th) => th.dataset.column);
      const at = names.indexOf('FDate');
      return [...document.querySelectorAll('table.result tbody tr:not(.spacer):not(.row-subtotal):not(.row-total)')]
        .map((tr) => tr.children[at].textContent).filter((d) => d);
    });
    check('task order dates are within the range', datesInRange.length > 0 &&
      datesInRange.every((d) => d >= '2025-01-01' && d <= '2025-03-31'), datesInRange.slice(0, 5).join(','));
    await page.screenshot({ path: path.join(work, 'report-400.png') });

    // The rows of the same view from the API, to compare the downloads with.
    const apiRows = await page.evaluate(async () => {
      const response = await fetch('/api/reports/400.json?BDate=2025-01-01&EDate=2025-03-31');
      return (await response.json()).length;
    });

    // Downloads of this view.
    let since = Date.now();
    await page.click('#export-csv');
    const csvFile = await waitForFile('.csv', since);
    check('CSV downloaded', csvFile !== null);
    if (csvFile) {
      const csv = fs.readFileSync(csvFile, 'utf8');
      const lines = csv.split('\r\n').filter((l) => l !== '');
      check('CSV: byte-order mark, captions of the columns shown, every row of the view',
        csv.charCodeAt(0) === 0xfeff && lines[0].includes('任务单号') && lines.length - 1 === apiRows,
        `${lines[0]}\n${lines.length - 1} rows, API ${apiRows}`);
    }
    since = Date.now();
    await page.click('#export-xlsx');
    const xlsxFile = await waitForFile('.xlsx', since);
    check('XLSX downloaded', xlsxFile !== null);
    if (xlsxFile) {
      const cells = execFileSync('python3', [xlsxCheck, xlsxFile], { encoding: 'utf8' })
        .split('\n').filter((l) => /^[A-Z]+\d+ /.test(l))
        .map((l) => {
          const [ref, kind, format, bold, ...value] = l.split(' ');
          return { row: Number(ref.replace(/[A-Z]+/, '')), kind, format, bold: bold === '1', value: value.join(' ') };
        });
      const header = cells.filter((c) => c.row === 1).map((c) => c.value);
      const numbers = cells.filter((c) => c.row > 1 && c.kind === 'n' && c.format.startsWith('#,##0'));
      const boldRows = new Set(cells.filter((c) => c.row > 1 && c.bold).map((c) => c.row));
      check('XLSX: captions as headings, numbers as numbers, subtotal rows bold',
        header.includes('任务单号') && numbers.length > 0 && boldRows.size > 0,
        `${header.join(' | ')}\n${JSON.stringify(numbers.slice(0, 2))}`);
      check('XLSX: a row per row of the view', new Set(cells.map((c) => c.row)).size === apiRows + 1,
        `${new Set(cells.map((c) => c.row)).size - 1} rows, API ${apiRows}`);
    }

    // Drill down from a task order to its material usage.
    const link = await page.$('table.result tbody a');
    const order = link ? await page.evaluate((a) => a.textContent, link) : '';
    check('task orders of 400 lead to 406', Boolean(link));
    if (link) {
      await page.evaluate(() => { window.orvTiming = {}; });
      await link.click();
      await page.waitForFunction(() => location.hash.startsWith('#/406?'));
      await waitForRun(page);
      table = await readTable(page);
      const at = table.names.indexOf('FMOBillNO');
      const orders = table.rows.filter((r) => r.kind === 'detail').map((r) => r.cells[at]).filter((c) => c);
      const where = await page.evaluate(() => `${location.hash} ${JSON.stringify(window.orvTiming)}`);
      check(`406 shows the material usage of ${order} only`,
        orders.length > 0 && orders.every((o) => o === order), `${orders.slice(0, 5).join(',')} (${where})`);
      check('406 draws its chart', await page.$eval('#chart', (e) => !e.hidden && e.querySelector('svg rect') !== null));
      await page.screenshot({ path: path.join(work, 'drill-406.png') });
      await page.evaluate(() => { window.orvTiming = {}; });
      await page.goBack();
      await page.waitForFunction(() => location.hash.startsWith('#/400?'));
      await waitForRun(page);
      check('back in the browser is report 400 again',
        (await page.$eval('#report-title', (e) => e.textContent)).startsWith('400'));
    }

    // Another language.
    await page.click('#lang-toggle');
    await page.waitForFunction(() => document.documentElement.lang === 'en');
    table = await readTable(page);
    check('captions follow the language', table.headers.includes('task order') &&
      (await page.$eval('#run', (e) => e.textContent)) === 'Run', table.headers.join(' | '));
    await page.screenshot({ path: path.join(work, 'english.png') });

    // The quick filter and a sort keep to detail rows.
    await page.type('#quick-filter', order || 'WORK');
    await page.waitForFunction(() => document.getElementById('note').textContent !== '');
    table = await readTable(page);
    check('the quick filter shows matching detail rows only',
      table.rows.length > 0 && table.rows.every((r) => r.kind === 'detail' && r.cells.some((c) => c.includes(order || 'WORK'))),
      JSON.stringify(table.rows.slice(0, 3)));

    check('no errors in the page (scripts, security policy)', problems.length === 0, problems.join('\n'));
  } finally {
    await browser.close();
  }
}

main()
  .catch((error) => {
    failed += 1;
    console.log(`not ok - the browser test ran to its end\n    ${error.stack}`);
  })
  .finally(() => {
    console.log(`${passed} passed, ${failed} failed`);
    process.exitCode = failed ? 1 : 0;
  });
